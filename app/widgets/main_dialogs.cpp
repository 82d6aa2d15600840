#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <vector>

#include "app/widgets/clock_dialog.h"
#include "app/widgets/main_window.h"
#include "photo_diary/widgets/diary_dialog.h"
#include "settings/widgets/setup_dialog.h"

// The dialogs and message boxes of the main window.

namespace fotavi {

// Messages name folders and files, which may look like markup: plain text.
void MainWindow::message(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MainWindow::information(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Information, title, prompt, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString MainWindow::choose_picture(const QString& start_folder) {
    QString folder = start_folder;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    // Cameras name their files DSC0001.JPG; the filter must show them too.
    // The second filter adds the HEIF pictures phones save.
    return QFileDialog::getOpenFileName(
        this, QString(), folder,
        QStringLiteral("*.jpg (*.[jJ][pP][gG]);;"
                       "*.jpg *.heic *.heif (*.[jJ][pP][gG] *.[hH][eE][iI][cCfF])"));
}

std::optional<ClockAnswer> MainWindow::ask_clock_correction(const ClockQuestion& question) {
    return ClockDialog::ask(this, question);
}

std::optional<DiaryChoice> MainWindow::ask_photo_diary(const QString& folder, const DiaryChoice& choice) {
    return DiaryDialog::ask(this, folder, choice);
}

std::optional<Settings> MainWindow::edit_settings(const Settings& current) {
    return SettingsDialog::edit(this, current);
}

namespace {

// How often a wait handles the window's events: well within what a person
// notices, and seldom enough that a loop over many files pays little for it.
constexpr qint64 kProgressEventsMs = 5;

struct Choice {
    QString caption;
    QMessageBox::ButtonRole role;
};

// Asks prompt (plain text: it may name files) with the choices as buttons and
// returns the index of the one clicked; Esc and closing the box give escape.
int ask(QWidget* parent, QMessageBox::Icon icon, const QString& prompt,
        const std::vector<Choice>& choices, int default_choice, int escape) {
    QMessageBox box(icon, QStringLiteral("メッセージ"), prompt, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    std::vector<QPushButton*> buttons;
    for (const Choice& choice : choices)
        buttons.push_back(box.addButton(choice.caption, choice.role));
    box.setDefaultButton(buttons[size_t(default_choice)]);
    box.setEscapeButton(buttons[size_t(escape)]);
    box.exec();
    const auto clicked = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return clicked == buttons.end() ? escape : int(clicked - buttons.begin());
}

}  // namespace

UnwrittenAnswer MainWindow::ask_unwritten(bool saved) {
    // Said only when true: comments a failed save left in memory are not.
    const QString kept = saved ? QStringLiteral("（コメントはすべて保存してあります）")
                               : QStringLiteral("（保存できていないコメントがあります）");
    constexpr UnwrittenAnswer answers[] = {UnwrittenAnswer::Write, UnwrittenAnswer::Discard,
                                           UnwrittenAnswer::Stay};
    return answers[ask(this, QMessageBox::Question,
                       QStringLiteral("time_log.txt は最新のコメントを含んでいません。") + kept +
                           QStringLiteral("\n先に time_log.txt に出力しますか?"),
                       {{QStringLiteral("出力して続ける(&W)"), QMessageBox::AcceptRole},
                        {QStringLiteral("出力せずに続ける(&D)"), QMessageBox::DestructiveRole},
                        {QStringLiteral("戻る(&R)"), QMessageBox::RejectRole}},
                       0, 2)];
}

UnsavedAnswer MainWindow::ask_unsaved(const QString& prompt) {
    constexpr UnsavedAnswer answers[] = {UnsavedAnswer::Retry, UnsavedAnswer::Stay,
                                         UnsavedAnswer::Leave};
    return answers[ask(this, QMessageBox::Warning, prompt,
                       {{QStringLiteral("もう一度保存する(&S)"), QMessageBox::AcceptRole},
                        {QStringLiteral("戻る(&R)"), QMessageBox::RejectRole},
                        {QStringLiteral("保存せずに続ける(&D)"), QMessageBox::DestructiveRole}},
                       0, 1)];
}

bool MainWindow::ask_leave_without_saving(const QString& problem) {
    return ask(this, QMessageBox::Warning,
               problem + QStringLiteral("\n\n設定を保存できません。原因を取り除いてから、"
                                        "もう一度終了して下さい。"),
               {{QStringLiteral("戻る(&R)"), QMessageBox::RejectRole},
                {QStringLiteral("保存せずに終了(&Q)"), QMessageBox::DestructiveRole}},
               0, 0) == 1;
}

void MainWindow::open_document(const QString& path) {
    if (QFileInfo::exists(path)) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool MainWindow::ask_yes_first(const QString& prompt, const QString&) {
    return ask(isVisible() ? this : nullptr, QMessageBox::Question, prompt,
               {{QStringLiteral("はい(&Y)"), QMessageBox::YesRole},
                {QStringLiteral("いいえ(&N)"), QMessageBox::NoRole}},
               0, 1) == 0;
}

bool MainWindow::ask_yes_no(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, prompt, QMessageBox::NoButton,
                    isVisible() ? this : nullptr);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void MainWindow::begin_progress(const QString& label, int maximum, bool cancellable) {
    progress_.label = label;
    progress_.maximum = maximum;
    progress_.cancellable = cancellable;
    progress_.updated_ms = 0;
    progress_.events_ms = -kProgressEventsMs;
    progress_.dialog.reset();
    progress_.clock.start();
}

bool MainWindow::step_progress(int done) {
    const qint64 now = progress_.clock.elapsed();
    // Work on a worker: the window goes on painting meanwhile, every few
    // milliseconds whatever the work's count says. What the person types waits
    // until the work is done; once the modal dialog is up, only its Cancel
    // takes a click.
    if (now - progress_.events_ms >= kProgressEventsMs) {
        QCoreApplication::processEvents(progress_.dialog && progress_.cancellable
                                            ? QEventLoop::AllEvents
                                            : QEventLoop::ExcludeUserInputEvents);
        progress_.events_ms = now;
    }
    if (!progress_.dialog) {
        if (now < 500) return false;
        progress_.dialog =
            std::make_unique<QProgressDialog>(progress_.label, QStringLiteral("中止"), 0,
                                              progress_.maximum, isVisible() ? this : nullptr);
        if (!progress_.cancellable) progress_.dialog->setCancelButton(nullptr);
        progress_.dialog->setWindowTitle(QStringLiteral("フォタビ"));
        // The overview is a window of its own: it waits too.
        progress_.dialog->setWindowModality(Qt::ApplicationModal);
        progress_.dialog->setMinimumDuration(0);
        progress_.dialog->setAutoClose(false);
        progress_.dialog->setAutoReset(false);
        progress_.dialog->show();
        progress_.updated_ms = now - 1000;
    }
    // The bar moves a few times a second, by time: a step of its value may
    // take many seconds on a large folder.
    if (now - progress_.updated_ms >= 40) {
        progress_.dialog->setValue(done);
        progress_.updated_ms = now;
    }
    return progress_.dialog->wasCanceled();
}

void MainWindow::end_progress() { progress_.dialog.reset(); }

std::optional<QString> MainWindow::choose_export_folder(const QString& start) {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("コメント付きの写真を書き出すフォルダ"), start);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

}  // namespace fotavi
