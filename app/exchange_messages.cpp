// The sentences about pictures exported with their comments, sidecars and
// captions found in pictures.

#include <QDir>

#include "app/messages.h"
#include "app/reasons.h"

namespace fotavi {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

QString export_failure_line(const ExportFailure& failure) {
    using Step = ExportFailure::Step;
    switch (failure.step) {
        case Step::Link:
            return QStringLiteral(
                       "%1: シンボリックリンクかフォルダなので、読み書きしませんでした。")
                .arg(failure.name);
        case Step::Caption:
            return QStringLiteral("%1: コメントを書き込めませんでした（%2）。")
                .arg(failure.name, failure.detail);
        case Step::Read:
            return QStringLiteral("%1: 読めませんでした。理由: %2")
                .arg(failure.name, system_reason(failure.error));
        case Step::Write:
            break;
    }
    return QStringLiteral("%1: 書き込めませんでした。理由: %2")
        .arg(failure.name, system_reason(failure.error));
}

// At most this many names a list in a message box; the rest are counted.
QString name_list(const QStringList& names) {
    constexpr qsizetype kShown = 10;
    QString list = names.mid(0, kShown).join(QLatin1Char('\n'));
    if (names.size() > kShown) list += QStringLiteral("\nほか %1 個").arg(names.size() - kShown);
    return list;
}

}  // namespace

QString export_report_text(const QString& destination, const ExportReport& report) {
    if (report.same_folder)
        return QStringLiteral(
            "書き出し先が写真のフォルダと同じです。写真はそのままにしました。\n"
            "別のフォルダを選んで下さい。");
    if (report.destination_error != 0)
        return QStringLiteral("%1 に書き出せませんでした。\n理由: %2")
            .arg(native(destination), system_reason(report.destination_error));
    QStringList parts;
    if (report.cancelled)
        parts << QStringLiteral("書き出しを取り消しました。%1 枚は %2 に書き出し済みです。")
                     .arg(report.written)
                     .arg(native(destination));
    else
        parts << QStringLiteral("%1 枚の写真を %2 に書き出しました。")
                     .arg(report.written)
                     .arg(native(destination));
    if (report.with_sidecar > 0)
        parts << QStringLiteral(
                     "そのうち %1 枚は、コメントを写真の横の .xmp ファイルに書きました。")
                     .arg(report.with_sidecar);
    if (!report.existing.isEmpty())
        parts << QStringLiteral("次のファイルは書き出し先に既にあるので、そのままにしました:\n") +
                     name_list(report.existing);
    if (!report.failures.empty()) {
        QStringList lines;
        for (const ExportFailure& failure : report.failures) lines << export_failure_line(failure);
        parts << QStringLiteral("次の写真は書き出せませんでした:\n") + name_list(lines);
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString export_existing_question(const QStringList& names) {
    return QStringLiteral(
               "書き出し先に同じ名前のファイルが %1 個あります。置き換えますか？\n%2\n\n"
               "「いいえ」ではそれらをそのままにして、ほかの写真を書き出します。")
        .arg(names.size())
        .arg(name_list(names));
}

QString export_all_question() {
    return QStringLiteral(
        "コメントのない写真も書き出しますか？\n"
        "「いいえ」ではコメント付きの写真だけを書き出します。");
}

QString export_nothing_text() { return QStringLiteral("コメント付きの写真がありません。"); }

QString export_progress_text(int count) {
    return QStringLiteral("写真を書き出しています（%1 枚）").arg(count);
}

QString sidecar_failure_text(const SidecarWrite& failure) {
    if (failure.not_xmp)
        return QStringLiteral(
                   "%1 は XMP のファイルとして読めないので、コメントを書かずにそのままにしました。")
            .arg(native(failure.path));
    return QStringLiteral("コメントを %1 に書けませんでした。\n%2")
        .arg(native(failure.path), failure.unread.ok()
                                       ? write_problem_text(failure.problem)
                                       : small_file_reason(failure.unread, kSidecarLimit));
}

QString sidecar_setting_text(int error) {
    return QStringLiteral("この設定を次の起動のために覚えておけませんでした。\n理由: %1")
        .arg(system_reason(error));
}

QString captions_found_question(int count) {
    return QStringLiteral(
               "コメントのない写真のうち %1 枚に、写真に書かれた説明があります。\n"
               "それをコメントとして取り込みますか？")
        .arg(count);
}

}  // namespace fotavi
