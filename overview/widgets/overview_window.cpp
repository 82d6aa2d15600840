#include "overview/widgets/overview_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "overview/widgets/overview_view.h"

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
    // Six columns of thumbnails, five rows.
    resize(6 * (OverviewView::kThumbnailSide + 20) + 60, 760);
    show_count();
}

OverviewWindow::~OverviewWindow() = default;

void OverviewWindow::open_at(int picture) {
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
    QWidget::hideEvent(event);
}

}  // namespace fotavi
