#include "overview/widgets/overview_view.h"

#include <QDir>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

#include "platform/plain_text.h"

namespace fotavi {

namespace {

constexpr int kPadding = 10;                // around a thumbnail, left and right
constexpr int kTop = 6;                     // above a thumbnail
const QColor kShownMark(0xE0, 0x6C, 0x00);  // the picture the main window shows
const QColor kNoComment(0xB0, 0x30, 0x30);
const QColor kPlaceholder(0xDD, 0xDD, 0xDD);
const QColor kFailed(48, 48, 48);  // as the main window's picture box

QFont bold(QFont font) {
    font.setBold(true);
    return font;
}

QFont scaled(QFont font, double factor) {
    font.setPointSizeF(font.pointSizeF() * factor);
    return font;
}

}  // namespace

OverviewView::OverviewView(const OverviewModel& model, Thumbnailer& thumbnails, QWidget* parent)
    : QAbstractScrollArea(parent), model_(model), thumbnails_(thumbnails) {
    setObjectName(QStringLiteral("overview_list"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&thumbnails_, &Thumbnailer::ready, this, &OverviewView::thumbnail_ready);
}

void OverviewView::set_folder(const QString& folder) { folder_ = folder; }

QString OverviewView::path_at(int position) const {
    return QDir(folder_).filePath(model_.name(position));
}

void OverviewView::model_changed() {
    lay_out();
    if (model_.count() == 0) {
        selected_ = -1;
    } else {
        const int keep = model_.nearest_position(std::max(0, selected_));
        selected_ = model_.picture_at(keep);
        ensure_visible(keep);
    }
    viewport()->update();
    schedule_requests();
}

void OverviewView::picture_changed(int picture) {
    const int position = model_.position_of(picture);
    if (position < 0) return;
    viewport()->update(
        QRect(to_viewport(grid_.cell_rect(position).topLeft()), grid_.metrics().cell));
}

void OverviewView::set_shown(int picture) {
    const int before = shown_;
    shown_ = picture;
    picture_changed(before);
    picture_changed(picture);
}

void OverviewView::select(int picture) {
    if (model_.count() == 0) return;
    const int position = model_.nearest_position(picture);
    const int before = selected_;
    selected_ = model_.picture_at(position);
    ensure_visible(position);
    picture_changed(before);
    picture_changed(selected_);
}

void OverviewView::lay_out() {
    const QFontMetrics text(font());
    const QFontMetrics heading(scaled(bold(font()), 1.15));
    OverviewGrid::Metrics m;
    m.cell = QSize(kThumbnailSide + 2 * kPadding, kTop + kThumbnailSide + 2 * text.height() + 14);
    m.heading = heading.height() + 18;
    m.columns = std::max(1, viewport()->width() / m.cell.width());
    grid_.lay_out(model_.groups(), m);
    left_ = std::max(0, (viewport()->width() - grid_.width()) / 2);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, grid_.height() - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(m.cell.height() / 4);
    size_ = devicePixelRatioF() > 1 ? ThumbnailSize::Large : ThumbnailSize::Normal;
}

QPoint OverviewView::to_viewport(QPoint p) const {
    return p + QPoint(left_, -verticalScrollBar()->value());
}

int OverviewView::position_at(QPoint viewport_point) const {
    return grid_.position_at(viewport_point - QPoint(left_, -verticalScrollBar()->value()));
}

// A cell in the first row of its day brings the day's heading into view with it.
void OverviewView::ensure_visible(int position) {
    QRect rect = grid_.cell_rect(position);
    if (rect.isNull()) return;
    const OverviewModel::Group& group = model_.groups()[size_t(model_.group_of(position))];
    if (position - group.first < grid_.metrics().columns)
        rect.setTop(rect.top() - grid_.metrics().heading);
    QScrollBar* bar = verticalScrollBar();
    const int height = viewport()->height();
    if (rect.top() < bar->value())
        bar->setValue(rect.top());
    else if (rect.bottom() >= bar->value() + height)
        bar->setValue(std::min(rect.top(), rect.bottom() + 1 - height));
}

void OverviewView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    lay_out();
    if (const int position = model_.position_of(selected_); position >= 0) ensure_visible(position);
    schedule_requests();
}

void OverviewView::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    lay_out();
    schedule_requests();
}

void OverviewView::scrollContentsBy(int, int) {
    viewport()->update();
    schedule_requests();
}

// Asked once the events at hand are handled: a fast scroll asks once a frame.
void OverviewView::schedule_requests() {
    if (requests_scheduled_) return;
    requests_scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        requests_scheduled_ = false;
        request_visible();
    });
}

// The thumbnails on screen are asked for first, then a screenful below and
// one above; whatever else still waits is dropped.
void OverviewView::request_visible() {
    if (!isVisible()) return;
    const int top = verticalScrollBar()->value();
    const int height = viewport()->height();
    const auto [first, last] = grid_.positions_between(top, top + height);
    const auto [from, to] = grid_.positions_between(top - height, top + 2 * height);
    std::vector<int> order;
    for (int p = first; p <= last; ++p) order.push_back(p);
    for (int p = last + 1; p <= to; ++p) order.push_back(p);
    for (int p = first - 1; p >= from; --p) order.push_back(p);
    wanted_.clear();
    wanted_order_.clear();
    for (int p : order) {
        const QString path = path_at(p);
        wanted_.insert(path, model_.picture_at(p));
        wanted_order_ << path;
        thumbnails_.request(path, size_);
    }
    thumbnails_.keep_waiting_only(wanted_order_);
}

void OverviewView::thumbnail_ready(const QString& path, ThumbnailSize size, const Thumbnail&) {
    if (size != size_) return;
    if (const auto found = wanted_.constFind(path); found != wanted_.cend())
        picture_changed(*found);
}

OverviewView::OnScreen OverviewView::on_screen() {
    const int top = verticalScrollBar()->value();
    const auto [first, last] = grid_.positions_between(top, top + viewport()->height());
    OnScreen seen;
    for (int p = first; p <= last; ++p) {
        const Thumbnail::State state = thumbnails_.request(path_at(p), size_).state;
        ++seen.cells;
        seen.pictures += state == Thumbnail::State::Final || state == Thumbnail::State::Preview;
        seen.final += state == Thumbnail::State::Final || state == Thumbnail::State::Failed;
    }
    return seen;
}

void OverviewView::keyPressEvent(QKeyEvent* event) {
    using Move = OverviewGrid::Move;
    static const std::pair<int, Move> kMoves[] = {
        {Qt::Key_Left, Move::Left},     {Qt::Key_Right, Move::Right},
        {Qt::Key_Up, Move::Up},         {Qt::Key_Down, Move::Down},
        {Qt::Key_PageUp, Move::PageUp}, {Qt::Key_PageDown, Move::PageDown},
        {Qt::Key_Home, Move::Home},     {Qt::Key_End, Move::End}};
    const int position = model_.position_of(selected_);
    for (const auto& [key, move] : kMoves) {
        if (event->key() != key || model_.count() == 0) continue;
        const int from = position >= 0 ? position : 0;
        select(model_.picture_at(grid_.moved(from, move, viewport()->height())));
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && position >= 0) {
        emit activated(selected_);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void OverviewView::mousePressEvent(QMouseEvent* event) {
    const int position = position_at(event->position().toPoint());
    if (event->button() == Qt::LeftButton && position >= 0) select(model_.picture_at(position));
    QAbstractScrollArea::mousePressEvent(event);
}

void OverviewView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int position = position_at(event->position().toPoint());
    if (event->button() == Qt::LeftButton && position >= 0)
        emit activated(model_.picture_at(position));
}

bool OverviewView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        show_tool_tip(help->pos(), help->globalPos());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// The file name, the reason it cannot be shown if so, and the comment whole
// (up to a screenful of it).
void OverviewView::show_tool_tip(QPoint viewport_point, QPoint global) {
    const int position = position_at(viewport_point);
    if (position < 0) {
        QToolTip::hideText();
        return;
    }
    QString text = model_.name(position);
    const Thumbnail t = thumbnails_.request(path_at(position), size_);
    if (t.state == Thumbnail::State::Failed) text += u'\n' + t.error;
    if (model_.commented(position))
        text += QStringLiteral("\n\n") + model_.comment(position).left(600);
    const QRect cell(to_viewport(grid_.cell_rect(position).topLeft()), grid_.metrics().cell);
    QToolTip::showText(global, plain_tool_tip(text), viewport(), cell);
}

void OverviewView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    if (model_.count() == 0) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(viewport()->rect(), Qt::AlignCenter,
                         model_.uncommented_only() && model_.total() > 0
                             ? QStringLiteral("コメントのない写真はありません")
                             : QStringLiteral("写真がありません"));
        return;
    }
    const QRect area = event->rect().translated(0, verticalScrollBar()->value());
    const auto [first_group, last_group] = grid_.groups_between(area.top(), area.bottom() + 1);
    for (int g = first_group; g <= last_group; ++g) paint_heading(painter, g);
    const auto [first, last] = grid_.positions_between(area.top(), area.bottom() + 1);
    for (int p = first; p <= last; ++p) paint_cell(painter, p);
}

// The day as the diary writes it, and how many of its pictures are listed.
void OverviewView::paint_heading(QPainter& painter, int group) {
    const QRect rect(to_viewport(grid_.heading_rect(group).topLeft()),
                     grid_.heading_rect(group).size());
    const QRect text = rect.adjusted(kPadding, 6, -kPadding, -4);
    painter.setFont(scaled(bold(font()), 1.15));
    painter.setPen(palette().color(QPalette::Text));
    const QString day = model_.heading(group);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, day);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const int after = QFontMetrics(scaled(bold(font()), 1.15)).horizontalAdvance(day) + 12;
    painter.drawText(text.adjusted(after, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1 枚").arg(model_.groups()[size_t(group)].count));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(text.bottomLeft(), text.bottomRight());
}

// A band across the foot of the thumbnail: the picture is dated by its file,
// which for a copied folder is the day of the copy.
void OverviewView::paint_no_capture_time(QPainter& painter, const QRect& box) {
    const QFontMetrics metrics(font());
    const QRect band(box.left(), box.bottom() - metrics.height() - 3, box.width(),
                     metrics.height() + 4);
    painter.fillRect(band, QColor(0, 0, 0, 160));
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(band, Qt::AlignCenter, QStringLiteral("撮影日時なし"));
}

void OverviewView::paint_cell(QPainter& painter, int position) {
    const int picture = model_.picture_at(position);
    const QRect cell(to_viewport(grid_.cell_rect(position).topLeft()), grid_.metrics().cell);
    const bool selected = picture == selected_;
    if (selected)
        painter.fillRect(cell.adjusted(2, 2, -2, -2),
                         palette().brush(hasFocus() ? QPalette::Active : QPalette::Inactive,
                                         QPalette::Highlight));
    const QRect box(cell.left() + kPadding, cell.top() + kTop, kThumbnailSide, kThumbnailSide);
    paint_thumbnail(painter, box, thumbnails_.request(path_at(position), size_));
    if (model_.without_capture_time(position)) paint_no_capture_time(painter, box);

    const QFontMetrics metrics(font());
    const QColor text = palette().color(selected ? QPalette::HighlightedText : QPalette::Text);
    QRect line(box.left(), box.bottom() + 5, box.width(), metrics.height());
    painter.setFont(bold(font()));
    painter.setPen(text);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, model_.time_text(position));
    if (picture == shown_) {
        painter.setPen(selected ? text : kShownMark);
        painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("表示中"));
        painter.setPen(QPen(kShownMark, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(-2, -2, 1, 1));
    }
    painter.setFont(font());
    line.translate(0, metrics.height() + 2);
    const bool commented = model_.commented(position);
    painter.setPen(commented ? text : (selected ? text : kNoComment));
    const QString words = commented ? OverviewModel::first_line(model_.comment(position))
                                    : QStringLiteral("― コメントなし ―");
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(words, Qt::ElideRight, line.width()));
}

// The thumbnail fitted into box and centred, else a placeholder: light while
// it is being made, dark with the reason when the picture cannot be shown.
void OverviewView::paint_thumbnail(QPainter& painter, QRect box, const Thumbnail& thumbnail) {
    if (thumbnail.state == Thumbnail::State::Failed) {
        painter.fillRect(box, kFailed);
        painter.setPen(QColor(230, 230, 230));
        painter.setFont(scaled(font(), 0.85));
        painter.drawText(box.adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("表示できません\n") + thumbnail.error);
        painter.setFont(font());
        return;
    }
    if (thumbnail.image.isNull()) {
        painter.fillRect(box, kPlaceholder);
        return;
    }
    // Pixels of the screen: a screen of twice the density shows twice as many.
    QSizeF size = QSizeF(thumbnail.image.size()) / devicePixelRatioF();
    if (size.width() > box.width() || size.height() > box.height())
        size.scale(box.size(), Qt::KeepAspectRatio);
    QRectF target(QPointF(0, 0), size);
    target.moveCenter(QRectF(box).center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, thumbnail.image);
}

}  // namespace fotavi
