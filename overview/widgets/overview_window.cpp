#include "overview/widgets/overview_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "overview/widgets/overview_view.h"
#include "settings/window_places.h"

namespace fotavi {

OverviewWindow::OverviewWindow(const ImageTable& table, Thumbnailer::Options thumbnails,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), model_(table), thumbnails_(std::move(thumbnails)) {
    setObjectName(QStringLiteral("overview"));
    setWindowTitle(QStringLiteral("一覧 - フォタビ"));

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("overview_count"));
    count_->setTextFormat(Qt::PlainText);
    QFont bigger = count_->font();
    bigger.setBold(true);
    count_->setFont(bigger);
    uncommented_only_ = new QCheckBox(QStringLiteral("コメントなしだけ(&U)"), this);
    uncommented_only_->setObjectName(QStringLiteral("overview_uncommented_only"));
    auto* hint =
        new QLabel(QStringLiteral("ダブルクリックか Enter で、その写真を表示します"), this);
    hint->setForegroundRole(QPalette::PlaceholderText);
    hint->setWordWrap(true);  // a narrow window keeps it whole, on two lines
    view_ = new OverviewView(model_, thumbnails_, this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(count_);
    bar->addSpacing(24);
    bar->addWidget(uncommented_only_);
    bar->addStretch();
    bar->addWidget(hint);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    setTabOrder(view_, uncommented_only_);

    connect(uncommented_only_, &QCheckBox::toggled, this, &OverviewWindow::filter_toggled);
    connect(view_, &OverviewView::activated, this, &OverviewWindow::activated);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    // Six columns of thumbnails, five rows; it is fitted to the screen when it opens.
    resize(6 * (OverviewView::kThumbnailSide + 20) + 60, 760);
    setMinimumSize(2 * (OverviewView::kThumbnailSide + 20) + 60, 320);
    show_count();
}

OverviewWindow::~OverviewWindow() = default;

void OverviewWindow::place() {
    placed_ = true;
    // The window that opened it: the active one, else (no window manager
    // gives focus) the one main window shown.
    const QWidget* opener = QApplication::activeWindow();
    if (!opener)
        for (const QWidget* widget : QApplication::topLevelWidgets())
            if (widget->inherits("QMainWindow") && widget->isVisible()) opener = widget;
    if (opener == this) opener = nullptr;
    QScreen* screen = opener ? opener->screen() : this->screen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    // Its frame is taken to be as wide as the opener's, which is shown already.
    const QMargins frame =
        opener ? QMargins(opener->geometry().left() - opener->frameGeometry().left(),
                          opener->geometry().top() - opener->frameGeometry().top(),
                          opener->frameGeometry().right() - opener->geometry().right(),
                          opener->frameGeometry().bottom() - opener->geometry().bottom())
               : QMargins();
    const QRect beside = opener ? opener->frameGeometry() : QRect(available.topLeft(), QSize());
    const QSize kept = read_window_choices().overview_size;
    setGeometry(
        place_beside(available, beside, kept.isValid() ? kept : size(), minimumSize(), frame));
    placed_size_ = size();
}

void OverviewWindow::open_at(int picture) {
    if (!placed_) place();
    if (!isVisible()) show();
    raise();
    activateWindow();
    view_->select(picture);
    view_->setFocus(Qt::OtherFocusReason);
}

void OverviewWindow::pictures_changed(const QString& folder, int shown) {
    // Files may have changed under the same names: thumbnails are looked up again.
    thumbnails_.clear();
    model_.reset();
    view_->set_folder(folder);
    view_->set_shown(shown);
    view_->model_changed();
    view_->select(shown);
    show_count();
}

void OverviewWindow::comment_changed(int picture) {
    if (model_.comment_changed(picture))
        view_->model_changed();
    else
        view_->picture_changed(picture);
    show_count();
}

void OverviewWindow::set_shown(int picture) { view_->set_shown(picture); }

void OverviewWindow::filter_toggled(bool on) {
    model_.set_uncommented_only(on);
    view_->model_changed();
}

void OverviewWindow::show_count() { count_->setText(model_.count_text()); }

// Work on thumbnails nobody sees any more stops.
void OverviewWindow::hideEvent(QHideEvent* event) {
    thumbnails_.keep_waiting_only({});
    if (placed_ && size() != placed_size_) {
        WindowChoices choices = read_window_choices();
        choices.overview_size = placed_size_ = size();
        write_window_choices(choices);
    }
    QWidget::hideEvent(event);
}

}  // namespace fotavi
