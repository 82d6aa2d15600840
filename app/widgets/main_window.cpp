#include "app/widgets/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcutEvent>
#include <QUrl>

#include <algorithm>
#include <cmath>

#include "app/messages.h"
#include "app/reasons.h"
#include "overview/widgets/overview_window.h"
#include "platform/plain_text.h"

namespace fotavi {

int to_pixels(int twips) { return int(std::lround(double(twips) / kTwipsPerPixel)); }

namespace {

// The window's outer size includes 90 twips of frame and 660 of title and
// menu bars; on Linux the window manager draws the frame, so the client area
// is kept and the menu bar takes the height it needs.
constexpr int kFrameWidthTwips = 90;
constexpr int kFrameHeightTwips = 660;

QRect twips_rect(int left, int top, int width, int height) {
    return {to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height)};
}

// The one local file or folder a drag carries, or empty.
QString dropped_path(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    return urls.first().toLocalFile();
}

bool carries_local_files(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

MainWindow::MainWindow(const QString& program_dir, const QString& config_dir,
           std::unique_ptr<CommentStore> store, const UserFolders& folders)
    : commands_(
          std::make_unique<Commands>(*this, program_dir, config_dir, folders, std::move(store))) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("フォタビ"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    create_controls();
    create_menus();
    fit_window();
    open_button_->setFocus();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::make_button(const char* name, const QString& caption, int left, int top,
                               int width, int height) {
    auto* button = new QPushButton(caption, client_);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setGeometry(twips_rect(left, top, width, height));
    button->installEventFilter(this);
    return button;
}

void MainWindow::create_controls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(to_pixels(7425), to_pixels(6675));
    setCentralWidget(client_);

    open_button_ = make_button("open", QStringLiteral("開く(&O)"), 120, 0, 735, 375);
    previous_button_ = make_button("previous", QStringLiteral("前へ(&B)"), 1080, 0, 855, 375);
    next_button_ = make_button("next", QStringLiteral("次へ(&N)"), 2040, 0, 855, 375);

    comment_box_ = new CommentBox(client_);
    comment_box_->setObjectName(QStringLiteral("comment"));
    comment_box_->setGeometry(twips_rect(120, 6000, 3615, 625));
    comment_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    comment_box_->setTabChangesFocus(true);
    comment_box_->installEventFilter(this);
    comment_box_->viewport()->installEventFilter(this);

    const QString captions[] = {QStringLiteral("米(&Z)"), QStringLiteral("麦(&X)"),
                                QStringLiteral("豆(&C)"), QStringLiteral("実(&V)")};
    const char* names[] = {"preset0", "preset1", "preset2", "preset3"};
    for (int n = 0; n < 4; ++n)
        preset_buttons_[n] = make_button(names[n], captions[n], 3840 + 600 * n, 6120, 615, 375);
    lower_case_button_ = make_button("lower_case", QStringLiteral("小文字(&S)"), 6360, 6120, 975, 375);
    list_button_ = make_button("list", QStringLiteral("リスト(&L)"), 6480, 0, 855, 375);

    date_label_ = new QLabel(client_);
    date_label_->setObjectName(QStringLiteral("file_date"));
    date_label_->setGeometry(twips_rect(4680, 120, 1815, 255));
    name_label_ = new QLabel(client_);
    name_label_->setObjectName(QStringLiteral("file_name"));
    name_label_->setGeometry(twips_rect(3000, 120, 1575, 255));
    for (QLabel* label : {date_label_, name_label_}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextFormat(Qt::PlainText);  // a file named "<i>x.jpg" is no markup
    }

    picture_box_ = new PictureBox(client_);
    picture_box_->setGeometry(twips_rect(120, 480, 7200, 5400));
    picture_box_->set_fitted_picture(QImage(QStringLiteral(":/startup.jpg")));

    for (QPushButton* button : {previous_button_, next_button_, lower_case_button_, list_button_}) button->setEnabled(false);

    QWidget* order[] = {open_button_,       previous_button_,      next_button_,      comment_box_, preset_buttons_[0],
                        preset_buttons_[1], preset_buttons_[2], preset_buttons_[3], lower_case_button_,  list_button_};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    Commands& c = *commands_;
    connect(open_button_, &QPushButton::clicked, this, [&c] { c.open_picture(); });
    connect(previous_button_, &QPushButton::clicked, this, [&c] { c.show_previous(); });
    connect(next_button_, &QPushButton::clicked, this, [&c] { c.show_next(); });
    connect(list_button_, &QPushButton::clicked, this, [&c] { c.write_time_log(); });
    connect(lower_case_button_, &QPushButton::clicked, this, [&c] { c.lower_case_names(); });
    for (int n = 0; n < 4; ++n)
        connect(preset_buttons_[n], &QPushButton::clicked, this, [&c, n] { c.insert_phrase(n); });
    connect(comment_box_, &QPlainTextEdit::textChanged, this, [&c] { c.comment_edited(); });
    comment_box_->on_too_long = [this](int left_out) {
        message(comment_too_long_text(left_out), QStringLiteral("メッセージ"));
    };
}

void MainWindow::create_menus() {
    Commands& c = *commands_;
    auto add = [this](QMenu* menu, const char* name, const QString& caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file_menu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file_menu->setObjectName(QStringLiteral("file_menu"));
    add(file_menu, "open_action", QStringLiteral("開く(&P)"), [&c] { c.open_picture(); });
    add(file_menu, "list_action", QStringLiteral("出力(&L)"), [&c] { c.write_time_log(); });
    add(file_menu, "photo_diary_action", QStringLiteral("写真日誌を書き出す(&W)..."),
        [&c] { c.make_photo_diary(); });
    add(file_menu, "export_pictures_action", QStringLiteral("コメント付きの写真を書き出す(&X)..."),
        [&c] { c.export_pictures_with_comments(); });
    add(file_menu, "settings_action", QStringLiteral("設定(&D)"), [&c] { c.open_settings(); });
    // The command sets the check mark: a cancelled scan leaves the mode as it was.
    capture_time_action_ = add(file_menu, "capture_time_action", QStringLiteral("撮影日時を使う(&T)"),
                          [&c] { c.toggle_capture_time(); });
    capture_time_action_->setCheckable(true);
    add(file_menu, "clock_action", QStringLiteral("時刻を合わせる(&C)..."),
        [&c] { c.correct_clock(); });
    sidecars_action_ = add(file_menu, "sidecars_action", QStringLiteral("コメントを .xmp ファイルにも書く(&K)"),
                      [&c] { c.toggle_sidecars(); });
    sidecars_action_->setCheckable(true);
    sidecars_action_->setChecked(c.sidecars().on());
    add(file_menu, "start_afresh_action", QStringLiteral("日誌を新しく始める(&R)..."),
        [&c] { c.start_afresh(); });
    add(file_menu, "quit_action", QStringLiteral("終了(&E)"), [this] { close(); });

    QMenu* move_menu = menuBar()->addMenu(QStringLiteral("移動(&M)"));
    move_menu->setObjectName(QStringLiteral("move_menu"));
    add(move_menu, "first_action", QStringLiteral("最初(&G)"), [&c] { c.show_first(); });
    add(move_menu, "last_action", QStringLiteral("最後(&J)"), [&c] { c.show_last(); });
    QAction* open_overview =
        add(move_menu, "overview_action", QStringLiteral("一覧(&I)"), [&c] { c.open_overview(); });
    open_overview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));

    QMenu* help_menu = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help_menu->setObjectName(QStringLiteral("help_menu"));
    add(help_menu, "help_action", QStringLiteral("目次(&T)"), [&c] { c.open_help(); });
    add(help_menu, "version_action", QStringLiteral("バージョン(&V)"), [&c] { c.show_version(); });
}

void MainWindow::fit_window() {
    setFixedSize(client_->width(), client_->height() + menuBar()->sizeHint().height());
}

// One line, elided in the middle so both the start and the extension stay in
// sight and the date label beside it stays clear; the tool tip holds the whole
// name. A line break in a name is shown as a sign, so nothing of it is hidden.
void MainWindow::set_file_name(const QString& caption) {
    QString line = caption;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("↵"));
    line.replace(QLatin1Char('\n'), QStringLiteral("↵"));
    line.replace(QLatin1Char('\r'), QStringLiteral("↵"));
    const int width = name_label_->contentsRect().width();
    name_label_->setText(name_label_->fontMetrics().elidedText(line, Qt::ElideMiddle, width));
    name_label_->setToolTip(plain_tool_tip(caption));
}
void MainWindow::set_file_date(const QString& caption) { date_label_->setText(caption); }
void MainWindow::set_picture(const QImage& picture) { picture_box_->set_picture(picture); }

void MainWindow::set_picture_placeholder(const QString& file_name, const QString& reason) {
    picture_box_->set_placeholder(QStringLiteral("%1 を表示できません\n%2").arg(file_name, reason));
}

QString MainWindow::comment() const { return comment_box_->toPlainText(); }
void MainWindow::set_comment(const QString& text) { comment_box_->setPlainText(text); }
void MainWindow::replace_comment_selection(const QString& text) { comment_box_->insertPlainText(text); }
void MainWindow::focus_comment() { comment_box_->setFocus(Qt::OtherFocusReason); }

void MainWindow::enable(PictureCommand command) {
    switch (command) {
        case PictureCommand::Next:
            next_button_->setEnabled(true);
            break;
        case PictureCommand::Previous:
            previous_button_->setEnabled(true);
            break;
        case PictureCommand::LowerCase:
            lower_case_button_->setEnabled(true);
            break;
        case PictureCommand::List:
            list_button_->setEnabled(true);
            break;
    }
}

void MainWindow::set_preset(int n, const QString& caption, const QString& tool_tip) {
    preset_buttons_.at(size_t(n))->setText(caption);
    preset_buttons_.at(size_t(n))->setToolTip(plain_tool_tip(tool_tip));
}

QWidget* MainWindow::control(LayoutTarget target) {
    switch (target) {
        case LayoutTarget::Window:
            return client_;
        case LayoutTarget::PictureBox:
            return picture_box_;
        case LayoutTarget::ListButton:
            return list_button_;
        case LayoutTarget::DateLabel:
            return date_label_;
        case LayoutTarget::CommentBox:
            return comment_box_;
        case LayoutTarget::PresetButton0:
            return preset_buttons_[0];
        case LayoutTarget::PresetButton1:
            return preset_buttons_[1];
        case LayoutTarget::PresetButton2:
            return preset_buttons_[2];
        case LayoutTarget::PresetButton3:
            return preset_buttons_[3];
        case LayoutTarget::LowerCaseButton:
            return lower_case_button_;
    }
    return nullptr;
}

void MainWindow::set_layout_value(const LayoutValue& value) {
    if (value.target == LayoutTarget::Window) {
        if (value.property == LayoutProperty::Width)
            client_->setFixedWidth(to_pixels(value.twips - kFrameWidthTwips));
        else if (value.property == LayoutProperty::Height)
            client_->setFixedHeight(to_pixels(value.twips - kFrameHeightTwips));
        fit_window();
        return;
    }
    QWidget* widget = control(value.target);
    QRect g = widget->geometry();
    const int px = to_pixels(value.twips);
    switch (value.property) {
        case LayoutProperty::Left:
            g.moveLeft(px);
            break;
        case LayoutProperty::Top:
            g.moveTop(px);
            break;
        case LayoutProperty::Width:
            g.setWidth(px);
            break;
        case LayoutProperty::Height:
            g.setHeight(px);
            break;
    }
    widget->setGeometry(g);
}

void MainWindow::set_capture_time_checked(bool on) { capture_time_action_->setChecked(on); }
void MainWindow::set_sidecars_checked(bool on) { sidecars_action_->setChecked(on); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!commands_->may_quit()) {
        event->ignore();
        return;
    }
    if (overview_) overview_->close();
    event->accept();
}

void MainWindow::show_overview() {
    FolderDocument& document = commands_->document();
    if (!overview_) {
        Thumbnailer::Options thumbnails;
        thumbnails.reason = failure_text;
        overview_ = std::make_unique<OverviewWindow>(document.table(), std::move(thumbnails));
        OverviewWindow* overview = overview_.get();
        const auto relist = [overview, &document] {
            overview->pictures_changed(document.folder(), document.shown());
        };
        relist();
        connect(&document, &FolderDocument::pictures_changed, overview, relist);
        connect(&document, &FolderDocument::comment_changed, overview,
                &OverviewWindow::comment_changed);
        connect(&document, &FolderDocument::shown_changed, overview, &OverviewWindow::set_shown);
        overview->set_without_capture_time(
            [&document](int picture) { return document.without_capture_time(picture); });
        // The jump: the picture in this window, ready for typing its comment.
        connect(overview, &OverviewWindow::activated, this, [this](int picture) {
            commands_->show_at(picture);
            raise();
            activateWindow();
        });
    }
    overview_->open_at(document.shown());
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        commands_->window_activated();
    QMainWindow::changeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!folder_to_open(QFileInfo(dropped_path(event->mimeData()))).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (commands_->open_dropped(dropped_path(event->mimeData()))) event->acceptProposedAction();
}

// A button's Alt key clicks it at once. Qt would show the button pressed
// for a tenth of a second first, and what the person types meanwhile (Alt+N,
// then the next comment straight away) would land in the comment box of the
// picture being left.
//
// The comment box takes drops itself and would type a dropped file's URL into
// the comment; files and folders are taken from it here, text is left to it.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Shortcut && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
        if (auto* button = qobject_cast<QPushButton*>(watched); button && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    const bool comment_box = watched == comment_box_ || watched == comment_box_->viewport();
    if (!comment_box ||
        (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
        return QMainWindow::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    if (!carries_local_files(drop->mimeData())) return QMainWindow::eventFilter(watched, event);
    if (type == QEvent::Drop)
        dropEvent(drop);
    else if (!folder_to_open(QFileInfo(dropped_path(drop->mimeData()))).isEmpty())
        drop->acceptProposedAction();
    else
        drop->ignore();
    return true;
}

}  // namespace fotavi
