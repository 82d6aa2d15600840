// The sentences about files that could not be written, made from the plain
// values the rooms below give back.

#include <QDir>
#include <QFile>

#include "app/messages.h"
#include "app/reasons.h"

namespace fotavi {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

QString not_written_text(const QString& path, const QString& reason) {
    return QStringLiteral("%1 を書き込めませんでした。\n理由: %2").arg(native(path), reason);
}

QString not_kept_text(const QString& folder, const KeepFailure& failure) {
    if (failure.look_error != 0)
        return QStringLiteral("%1 を読めませんでした。\n理由: %2")
            .arg(native(QDir(folder).filePath(QString::fromLatin1(kLogName))),
                 system_reason(failure.look_error));
    return QStringLiteral("%1 を %2 として残せませんでした。\n理由: %3")
        .arg(QString::fromLatin1(kLogName), native(QDir(folder).filePath(failure.copy_name)),
             system_reason(failure.copy_error));
}

}  // namespace

QString folder_not_opened_text(const QString& folder, int error) {
    return QStringLiteral("フォルダ %1 を開けません。\n理由: %2").arg(folder, system_reason(error));
}

QString folder_not_listed_text(const QString& folder, int error) {
    return QStringLiteral("フォルダ %1 の中を読めません。\n理由: %2")
        .arg(folder, system_reason(error));
}

QString write_problem_text(const WriteProblem& problem) {
    switch (problem.kind) {
        case WriteProblem::Kind::None:
            return {};
        case WriteProblem::Kind::Link:
            return QStringLiteral(
                       "%1 はシンボリックリンク（リンク先: %2）なので、書き込みませんでした。\n"
                       "リンクを消すか名前を変えてから、もう一度試して下さい。")
                .arg(native(problem.path), problem.detail);
        case WriteProblem::Kind::System:
            return not_written_text(problem.path, system_reason(problem.error));
        case WriteProblem::Kind::Drawing:
            return not_written_text(
                problem.path,
                QStringLiteral("PDF を作れませんでした（cairo: %1）").arg(problem.detail));
    }
    return {};
}

QString log_failure_text(const QString& folder, const LogWrite& written) {
    if (!written.outside_calendar.isEmpty())
        return QStringLiteral(
                   "%1 の日時が正しくない（西暦 1 年から 9999 年の外）ため、time_log.txt "
                   "を書き込みませんでした。\nファイルの日時を直してから、もう一度試して下さい。")
            .arg(written.outside_calendar);
    if (written.not_kept.failed()) {
        const QString not_kept = not_kept_text(folder, written.not_kept);
        if (written.unreadable == 0) return not_kept;
        return QStringLiteral(
                   "%1 を読めない（%2）うえ、別の名前で残すこともできないため、"
                   "書き換えませんでした。\n%3")
            .arg(native(QDir(folder).filePath(QString::fromLatin1(kLogName))),
                 system_reason(written.unreadable), not_kept);
    }
    return write_problem_text(written.problem);
}

QString unfinished_rename_text(const UnfinishedRename& left) {
    using Problem = UnfinishedRename::Problem;
    const QString temporary = QFile::decodeName(left.temporary);
    if (left.problem == Problem::NotNamed) {
        return QStringLiteral("%1: %2 に名前を戻せません（%3）")
            .arg(temporary, QFile::decodeName(left.to), system_reason(left.error));
    }
    const QString part = left.part == UnfinishedRename::Part::Note ? QStringLiteral("記録")
                                                                   : QStringLiteral("一時ファイル");
    QString why;
    switch (left.problem) {
        case Problem::Missing:
            why = QStringLiteral("%1がありません").arg(part);
            break;
        case Problem::Link:
            why = QStringLiteral("%1がシンボリックリンクです").arg(part);
            break;
        case Problem::NotRegular:
            why = QStringLiteral("%1が普通のファイルではありません").arg(part);
            break;
        case Problem::OtherUser:
            why =
                QStringLiteral("%1がほかのユーザー (uid %2) のものです").arg(part).arg(left.owner);
            break;
        case Problem::Unreadable: {
            SmallFile read;
            read.error = left.read_error;
            read.kind = left.read_kind;
            read.through_link = left.read_through_link;
            read.size = left.read_size;
            why = QStringLiteral("記録を読めません: %1").arg(small_file_reason(read, left.limit));
            break;
        }
        case Problem::NotOurNames:
            why = QStringLiteral("記録の名前がこのフォルダの中のファイル名ではありません");
            break;
        case Problem::NotNamed:
            break;
    }
    return QStringLiteral("%1 と %2 をそのままにしました（%3）")
        .arg(QFile::decodeName(left.note), temporary, why);
}

}  // namespace fotavi
