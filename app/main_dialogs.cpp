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

#include "app/main_window.h"
#include "diary/diary_dialog.h"
#include "settings/setup_dialog.h"

// The dialogs and message boxes of the main window.

namespace fotavi {

// Messages name folders and files, which may look like markup: plain text.
void Main::message(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void Main::information(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Information, title, prompt, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString Main::choose_picture(const QString& start_folder) {
    QString folder = start_folder;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    // Cameras name their files DSC0001.JPG; the filter must show them too.
    return QFileDialog::getOpenFileName(this, QString(), folder,
                                        QStringLiteral("*.jpg (*.[jJ][pP][gG])"));
}

std::optional<DiaryChoice> Main::ask_photo_diary(const QString& folder, const DiaryChoice& choice) {
    return DiaryDialog::ask(this, folder, choice);
}

std::optional<Settings> Main::edit_settings(const Settings& current) {
    return Setup::edit(this, current);
}

UnwrittenAnswer Main::ask_unwritten(bool saved) {
    // Said only when true: comments a failed save left in memory are not.
    const QString kept = saved ? QStringLiteral("（コメントはすべて保存してあります）")
                               : QStringLiteral("（保存できていないコメントがあります）");
    QMessageBox box(QMessageBox::Question, QStringLiteral("メッセージ"),
                    QStringLiteral("time_log.txt は最新のコメントを含んでいません。") + kept +
                        QStringLiteral("\n先に time_log.txt に出力しますか?"),
                    QMessageBox::NoButton, this);
    box.setTextFormat(Qt::PlainText);
    QPushButton* write =
        box.addButton(QStringLiteral("出力して続ける(&W)"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("出力せずに続ける(&D)"), QMessageBox::DestructiveRole);
    QPushButton* stay = box.addButton(QStringLiteral("戻る(&R)"), QMessageBox::RejectRole);
    box.setDefaultButton(write);
    box.setEscapeButton(stay);
    box.exec();
    if (box.clickedButton() == write) return UnwrittenAnswer::Write;
    if (box.clickedButton() == discard) return UnwrittenAnswer::Discard;
    return UnwrittenAnswer::Stay;
}

UnsavedAnswer Main::ask_unsaved(const QString& prompt) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("メッセージ"), prompt,
                    QMessageBox::NoButton, this);
    box.setTextFormat(Qt::PlainText);
    QPushButton* retry =
        box.addButton(QStringLiteral("もう一度保存する(&S)"), QMessageBox::AcceptRole);
    QPushButton* stay = box.addButton(QStringLiteral("戻る(&R)"), QMessageBox::RejectRole);
    QPushButton* leave =
        box.addButton(QStringLiteral("保存せずに続ける(&D)"), QMessageBox::DestructiveRole);
    box.setDefaultButton(retry);
    box.setEscapeButton(stay);
    box.exec();
    if (box.clickedButton() == retry) return UnsavedAnswer::Retry;
    if (box.clickedButton() == leave) return UnsavedAnswer::Leave;
    return UnsavedAnswer::Stay;
}

bool Main::ask_leave_without_saving(const QString& problem) {
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("メッセージ"),
        problem + QStringLiteral(
                      "\n\n設定を保存できません。原因を取り除いてから、もう一度終了して下さい。"),
        QMessageBox::NoButton, this);
    QPushButton* stay = box.addButton(QStringLiteral("戻る(&R)"), QMessageBox::RejectRole);
    QPushButton* leave =
        box.addButton(QStringLiteral("保存せずに終了(&Q)"), QMessageBox::DestructiveRole);
    box.setDefaultButton(stay);
    box.setEscapeButton(stay);
    box.exec();
    return box.clickedButton() == leave;
}

void Main::open_document(const QString& path) {
    if (QFileInfo::exists(path)) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool Main::ask_yes_no(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, prompt, QMessageBox::NoButton,
                    isVisible() ? this : nullptr);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void Main::begin_progress(const QString& label, int maximum, bool cancellable) {
    progress_.label = label;
    progress_.maximum = maximum;
    progress_.cancellable = cancellable;
    progress_.updated_ms = 0;
    progress_.dialog.reset();
    progress_.clock.start();
}

bool Main::step_progress(int done) {
    const qint64 now = progress_.clock.elapsed();
    // Work on a worker: the window goes on painting meanwhile; what the
    // person types waits until the work is done.
    if (!progress_.cancellable) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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
    // A modal progress dialog handles the window's events in setValue (the
    // Cancel click among them); a few times a second is enough for that.
    if (now - progress_.updated_ms >= 40) {
        progress_.dialog->setValue(done);
        progress_.updated_ms = now;
    }
    return progress_.dialog->wasCanceled();
}

void Main::end_progress() { progress_.dialog.reset(); }

}  // namespace fotavi
