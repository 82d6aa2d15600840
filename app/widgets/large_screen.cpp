#include "app/widgets/large_screen.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include "app/commands.h"
#include "app/messages.h"
#include "app/ui.h"
#include "settings/large_layout.h"

namespace fotavi {

namespace {

// The controls the mode moves, by name.
const char* const kMoved[] = {"client",  "Image1",  "comment", "file_name", "file_date", "list",
                              "preset0", "preset1", "preset2", "preset3",   "lower_case"};

}  // namespace

LargeScreen::LargeScreen(QMainWindow& window, Ui& ui, Commands& commands, QString choices_path)
    : QObject(&window),
      window_(window),
      ui_(ui),
      commands_(commands),
      choices_path_(std::move(choices_path)) {
    QMenu* view = new QMenu(QStringLiteral("表示(&D)"), &window);
    view->setObjectName(QStringLiteral("view_menu"));
    action_ = view->addAction(QStringLiteral("大きな画面で使う(&L)"));
    action_->setObjectName(QStringLiteral("large_screen_action"));
    action_->setCheckable(true);
    QMenu* help = window.findChild<QMenu*>(QStringLiteral("help_menu"));
    window.menuBar()->insertMenu(help ? help->menuAction() : nullptr, view);
    connect(action_, &QAction::toggled, this, [this](bool on) { set_on(on); });
    // The settings dialog may switch the fixed layout: the mode's layout follows.
    if (QAction* setup = window.findChild<QAction*>(QStringLiteral("settings_action")))
        connect(setup, &QAction::triggered, this, [this] {
            if (on_) set_on(false), set_on(true);
        });

    decode_.setSingleShot(true);
    decode_.setInterval(150);
    connect(&decode_, &QTimer::timeout, this, [this] {
        if (QWidget* box = child("Image1"); box && on_)
            commands_.set_picture_box(box->size() * box->devicePixelRatioF());
    });
    FolderDocument& document = commands.document();
    connect(&document, &FolderDocument::shown_changed, this, &LargeScreen::show_position);
    connect(&document, &FolderDocument::pictures_changed, this, &LargeScreen::show_position);
    connect(&document, &FolderDocument::comment_changed, this, &LargeScreen::show_position);
    window.installEventFilter(this);
    if (QWidget* client = child("client")) client->installEventFilter(this);
    if (read_window_choices(choices_path_).large_screen) action_->setChecked(true);
}

LargeScreen::~LargeScreen() = default;

QWidget* LargeScreen::child(const char* name) const {
    return window_.findChild<QWidget*>(QLatin1String(name));
}

void LargeScreen::set_on(bool on) {
    if (on == on_) return;
    QWidget* client = child("client");
    if (on) {
        fixed_.clear();
        for (const char* name : kMoved)
            if (QWidget* widget = child(name)) fixed_.emplace_back(widget, widget->geometry());
        fixed_minimum_ = window_.minimumSize();
        fixed_maximum_ = window_.maximumSize();
        on_ = true;
        maximisable(true);
        client->setMinimumSize(kLargeLayoutMinimum);
        client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window_.setMinimumSize(0, 0);
        window_.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!status_) {
            status_ = new QLabel(&window_);
            status_->setObjectName(QStringLiteral("large_screen_status"));
            window_.statusBar()->addWidget(status_);
        }
        window_.statusBar()->show();
        const QByteArray kept = read_window_choices(choices_path_).large_geometry;
        if (kept.isEmpty() || !window_.restoreGeometry(kept)) {
            window_.resize(window_.screen()->availableGeometry().size() * 9 / 10);
        }
        lay_out();
        show_position();
    } else {
        keep_choices();
        on_ = false;
        decode_.stop();
        if (window_.statusBar()) window_.statusBar()->hide();
        window_.showNormal();
        maximisable(false);
        for (const auto& [widget, geometry] : fixed_)
            if (widget) widget->setGeometry(geometry);
        client->setFixedSize(fixed_.front().second.size());
        window_.setMinimumSize(fixed_minimum_);
        window_.setMaximumSize(fixed_maximum_);
        commands_.set_picture_box({});
        // The fixed layout as the settings say now, the window fitted to it.
        apply_layout(commands_.settings().size_large, ui_);
    }
    action_->setChecked(on_);
    keep_choices();
}

// The title bar's maximise button; changing the flags hides the window, which
// is shown again where it was.
void LargeScreen::maximisable(bool on) {
    const bool shown = window_.isVisible();
    window_.setWindowFlag(Qt::WindowMaximizeButtonHint, on);
    window_.setWindowFlag(Qt::WindowMinMaxButtonsHint, on);
    if (shown) window_.show();
}

void LargeScreen::lay_out() {
    QWidget* client = child("client");
    if (!on_ || !client) return;
    const LargeLayout at = large_layout(client->size());
    const std::pair<const char*, QRect> places[] = {
        {"Image1", at.picture},       {"comment", at.comment},    {"file_name", at.file_name},
        {"file_date", at.file_date},  {"list", at.list},          {"preset0", at.presets[0]},
        {"preset1", at.presets[1]},   {"preset2", at.presets[2]}, {"preset3", at.presets[3]},
        {"lower_case", at.lower_case}};
    for (const auto& [name, rect] : places)
        if (QWidget* widget = child(name)) widget->setGeometry(rect);
    decode_.start();
}

void LargeScreen::show_position() {
    if (!status_) return;
    FolderDocument& document = commands_.document();
    int commented = 0;
    for (int i = 0; i < document.count(); ++i) commented += !document.comment(i).isEmpty();
    status_->setText(position_text(document.shown(), document.count(), commented));
}

void LargeScreen::keep_choices() {
    WindowChoices choices = read_window_choices(choices_path_);
    choices.large_screen = on_;
    if (on_) choices.large_geometry = window_.saveGeometry();
    write_window_choices(choices, choices_path_);
}

bool LargeScreen::eventFilter(QObject* watched, QEvent* event) {
    if (on_ && event->type() == QEvent::Resize && watched != &window_) lay_out();
    if (on_ && event->type() == QEvent::Close && watched == &window_) keep_choices();
    return QObject::eventFilter(watched, event);
}

}  // namespace fotavi
