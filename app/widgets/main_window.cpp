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

Main::Main(const QString& program_dir, const QString& config_dir,
           std::unique_ptr<CommentStore> store, const UserFolders& folders)
    : commands_(
          std::make_unique<Commands>(*this, program_dir, config_dir, folders, std::move(store))) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("フォタビ"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    create_controls();
    create_menus();
    fit_window();
    k_open_->setFocus();
}

Main::~Main() = default;

QPushButton* Main::make_button(const char* name, const QString& caption, int left, int top,
                               int width, int height) {
    auto* button = new QPushButton(caption, client_);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setGeometry(twips_rect(left, top, width, height));
    button->installEventFilter(this);
    return button;
}

void Main::create_controls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(to_pixels(7425), to_pixels(6675));
    setCentralWidget(client_);

    k_open_ = make_button("k_open", QStringLiteral("開く(&O)"), 120, 0, 735, 375);
    k_decre_ = make_button("k_decre", QStringLiteral("前へ(&B)"), 1080, 0, 855, 375);
    k_incre_ = make_button("k_incre", QStringLiteral("次へ(&N)"), 2040, 0, 855, 375);

    l_comment_ = new CommentBox(client_);
    l_comment_->setObjectName(QStringLiteral("l_comment"));
    l_comment_->setGeometry(twips_rect(120, 6000, 3615, 625));
    l_comment_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    l_comment_->setTabChangesFocus(true);
    l_comment_->installEventFilter(this);
    l_comment_->viewport()->installEventFilter(this);

    const QString captions[] = {QStringLiteral("米(&Z)"), QStringLiteral("麦(&X)"),
                                QStringLiteral("豆(&C)"), QStringLiteral("実(&V)")};
    const char* names[] = {"k_pre_set0", "k_pre_set1", "k_pre_set2", "k_pre_set3"};
    for (int n = 0; n < 4; ++n)
        k_pre_set_[n] = make_button(names[n], captions[n], 3840 + 600 * n, 6120, 615, 375);
    k_komoji_ = make_button("k_komoji", QStringLiteral("小文字(&S)"), 6360, 6120, 975, 375);
    k_list_ = make_button("k_list", QStringLiteral("リスト(&L)"), 6480, 0, 855, 375);

    l_file_date_ = new QLabel(client_);
    l_file_date_->setObjectName(QStringLiteral("l_file_date"));
    l_file_date_->setGeometry(twips_rect(4680, 120, 1815, 255));
    l_file_name_ = new QLabel(client_);
    l_file_name_->setObjectName(QStringLiteral("l_file_name"));
    l_file_name_->setGeometry(twips_rect(3000, 120, 1575, 255));
    for (QLabel* label : {l_file_date_, l_file_name_}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextFormat(Qt::PlainText);  // a file named "<i>x.jpg" is no markup
    }

    image1_ = new PictureBox(client_);
    image1_->setGeometry(twips_rect(120, 480, 7200, 5400));
    image1_->set_fitted_picture(QImage(QStringLiteral(":/startup.jpg")));

    for (QPushButton* button : {k_decre_, k_incre_, k_komoji_, k_list_}) button->setEnabled(false);

    QWidget* order[] = {k_open_,       k_decre_,      k_incre_,      l_comment_, k_pre_set_[0],
                        k_pre_set_[1], k_pre_set_[2], k_pre_set_[3], k_komoji_,  k_list_};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    Commands& c = *commands_;
    connect(k_open_, &QPushButton::clicked, this, [&c] { c.k_open(); });
    connect(k_decre_, &QPushButton::clicked, this, [&c] { c.k_decre(); });
    connect(k_incre_, &QPushButton::clicked, this, [&c] { c.k_incre(); });
    connect(k_list_, &QPushButton::clicked, this, [&c] { c.k_list(); });
    connect(k_komoji_, &QPushButton::clicked, this, [&c] { c.k_komoji(); });
    for (int n = 0; n < 4; ++n)
        connect(k_pre_set_[n], &QPushButton::clicked, this, [&c, n] { c.k_pre_set(n); });
    connect(l_comment_, &QPlainTextEdit::textChanged, this, [&c] { c.comment_edited(); });
    l_comment_->on_too_long = [this](int left_out) {
        message(comment_too_long_text(left_out), QStringLiteral("メッセージ"));
    };
}

void Main::create_menus() {
    Commands& c = *commands_;
    auto add = [this](QMenu* menu, const char* name, const QString& caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* m_file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    m_file->setObjectName(QStringLiteral("m_file"));
    add(m_file, "m_open", QStringLiteral("開く(&P)"), [&c] { c.k_open(); });
    add(m_file, "m_save", QStringLiteral("出力(&L)"), [&c] { c.k_list(); });
    add(m_file, "m_photo_diary", QStringLiteral("写真日誌を書き出す(&W)..."),
        [&c] { c.m_photo_diary(); });
    add(m_file, "m_setup", QStringLiteral("設定(&D)"), [&c] { c.m_setup(); });
    // The command sets the check mark: a cancelled scan leaves the mode as it was.
    m_capture_time_ = add(m_file, "m_capture_time", QStringLiteral("撮影日時を使う(&T)"),
                          [&c] { c.m_capture_time(); });
    m_capture_time_->setCheckable(true);
    add(m_file, "m_clock_correction", QStringLiteral("時刻を合わせる(&K)..."),
        [&c] { c.m_clock_correction(); });
    add(m_file, "m_start_afresh", QStringLiteral("日誌を新しく始める(&R)..."),
        [&c] { c.m_start_afresh(); });
    add(m_file, "m_end", QStringLiteral("終了(&E)"), [this] { close(); });

    QMenu* m_move = menuBar()->addMenu(QStringLiteral("移動(&M)"));
    m_move->setObjectName(QStringLiteral("m_move"));
    add(m_move, "m_first", QStringLiteral("最初(&G)"), [&c] { c.m_first(); });
    add(m_move, "m_last", QStringLiteral("最後(&J)"), [&c] { c.m_last(); });
    QAction* m_overview =
        add(m_move, "m_overview", QStringLiteral("一覧(&I)"), [&c] { c.m_overview(); });
    m_overview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));

    QMenu* mm_help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mm_help->setObjectName(QStringLiteral("mm_help"));
    add(mm_help, "m_help", QStringLiteral("目次(&T)"), [&c] { c.m_help(); });
    add(mm_help, "m_version", QStringLiteral("バージョン(&V)"), [&c] { c.m_version(); });
}

void Main::fit_window() {
    setFixedSize(client_->width(), client_->height() + menuBar()->sizeHint().height());
}

// One line, elided in the middle so both the start and the extension stay in
// sight and the date label beside it stays clear; the tool tip holds the whole
// name. A line break in a name is shown as a sign, so nothing of it is hidden.
void Main::set_file_name(const QString& caption) {
    QString line = caption;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("↵"));
    line.replace(QLatin1Char('\n'), QStringLiteral("↵"));
    line.replace(QLatin1Char('\r'), QStringLiteral("↵"));
    const int width = l_file_name_->contentsRect().width();
    l_file_name_->setText(l_file_name_->fontMetrics().elidedText(line, Qt::ElideMiddle, width));
    l_file_name_->setToolTip(plain_tool_tip(caption));
}
void Main::set_file_date(const QString& caption) { l_file_date_->setText(caption); }
void Main::set_picture(const QImage& picture) { image1_->set_picture(picture); }

void Main::set_picture_placeholder(const QString& file_name, const QString& reason) {
    image1_->set_placeholder(QStringLiteral("%1 を表示できません\n%2").arg(file_name, reason));
}

QString Main::comment() const { return l_comment_->toPlainText(); }
void Main::set_comment(const QString& text) { l_comment_->setPlainText(text); }
void Main::replace_comment_selection(const QString& text) { l_comment_->insertPlainText(text); }
void Main::focus_comment() { l_comment_->setFocus(Qt::OtherFocusReason); }

void Main::enable(PictureCommand command) {
    switch (command) {
        case PictureCommand::k_incre:
            k_incre_->setEnabled(true);
            break;
        case PictureCommand::k_decre:
            k_decre_->setEnabled(true);
            break;
        case PictureCommand::k_komoji:
            k_komoji_->setEnabled(true);
            break;
        case PictureCommand::k_list:
            k_list_->setEnabled(true);
            break;
    }
}

void Main::set_preset(int n, const QString& caption, const QString& tool_tip) {
    k_pre_set_.at(size_t(n))->setText(caption);
    k_pre_set_.at(size_t(n))->setToolTip(plain_tool_tip(tool_tip));
}

QWidget* Main::control(LayoutTarget target) {
    switch (target) {
        case LayoutTarget::Main:
            return client_;
        case LayoutTarget::Image1:
            return image1_;
        case LayoutTarget::k_list:
            return k_list_;
        case LayoutTarget::l_file_date:
            return l_file_date_;
        case LayoutTarget::l_comment:
            return l_comment_;
        case LayoutTarget::k_pre_set0:
            return k_pre_set_[0];
        case LayoutTarget::k_pre_set1:
            return k_pre_set_[1];
        case LayoutTarget::k_pre_set2:
            return k_pre_set_[2];
        case LayoutTarget::k_pre_set3:
            return k_pre_set_[3];
        case LayoutTarget::k_komoji:
            return k_komoji_;
    }
    return nullptr;
}

void Main::set_layout_value(const LayoutValue& value) {
    if (value.target == LayoutTarget::Main) {
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

void Main::set_capture_time_checked(bool on) { m_capture_time_->setChecked(on); }

void Main::closeEvent(QCloseEvent* event) {
    if (!commands_->exit()) {
        event->ignore();
        return;
    }
    if (overview_) overview_->close();
    event->accept();
}

void Main::show_overview() {
    FolderDocument& document = commands_->document();
    if (!overview_) {
        overview_ = std::make_unique<OverviewWindow>(document.table());
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

void Main::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        commands_->window_activated();
    QMainWindow::changeEvent(event);
}

void Main::dragEnterEvent(QDragEnterEvent* event) {
    if (!folder_to_open(QFileInfo(dropped_path(event->mimeData()))).isEmpty())
        event->acceptProposedAction();
}

void Main::dropEvent(QDropEvent* event) {
    if (commands_->open_dropped(dropped_path(event->mimeData()))) event->acceptProposedAction();
}

// A button's Alt key clicks it at once. Qt would show the button pressed
// for a tenth of a second first, and what the person types meanwhile (Alt+N,
// then the next comment straight away) would land in the comment box of the
// picture being left.
//
// The comment box takes drops itself and would type a dropped file's URL into
// the comment; files and folders are taken from it here, text is left to it.
bool Main::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Shortcut && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
        if (auto* button = qobject_cast<QPushButton*>(watched); button && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    const bool comment_box = watched == l_comment_ || watched == l_comment_->viewport();
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
