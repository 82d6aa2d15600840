#include "app/messages.h"

#include <QDir>
#include <QFileInfo>

#include <iterator>

#include "app/reasons.h"
#include "document/folder_document.h"

namespace fotavi {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// What a kind of thing at a file's name is called.
QString thing(DbError::Kind kind) {
    switch (kind) {
        case DbError::Kind::Link:
            return QStringLiteral("リンク");
        case DbError::Kind::Folder:
            return QStringLiteral("フォルダ");
        default:
            return QStringLiteral("ファイル");
    }
}

// SQLite's reason for a failure the system gave no reason for.
QString sqlite_reason(int code) {
    static const char* const reasons[] = {
        nullptr,
        "SQL 文を実行できませんでした",          // ERROR
        "SQLite の内部エラーです",               // INTERNAL
        "アクセスが許可されていません",          // PERM
        "処理が中止されました",                  // ABORT
        "ほかのプログラムが使用中です",          // BUSY
        "同じファイルの別の処理が使用中です",    // LOCKED
        "メモリが足りません",                    // NOMEM
        "書き込みが許されていません",            // READONLY
        "処理が打ち切られました",                // INTERRUPT
        "入出力エラーが起きました",              // IOERR
        "データベースが壊れています",            // CORRUPT
        "求めるものが見つかりません",            // NOTFOUND
        "ディスクに空きがありません",            // FULL
        "ファイルを開けません",                  // CANTOPEN
        "ファイルのロックの手順が乱れました",    // PROTOCOL
        "SQLite の内部エラーです",               // EMPTY
        "データベースの形が途中で変わりました",  // SCHEMA
        "値が大きすぎます",                      // TOOBIG
        "データベースの制約に反しています",      // CONSTRAINT
        "値の型が合いません",                    // MISMATCH
        "SQLite の使い方が誤っています",         // MISUSE
        "大きなファイルを扱えないシステムです",  // NOLFS
        "許されていない操作です",                // AUTH
        "形式が正しくありません",                // FORMAT
        "値の番号が範囲の外です",                // RANGE
        "データベースのファイルではありません",  // NOTADB
        "SQLite からの知らせがありました",       // NOTICE
        "SQLite からの警告がありました",         // WARNING
    };
    if (code > 0 && code < int(std::size(reasons))) return QString::fromUtf8(reasons[code]);
    return QStringLiteral("SQLite のエラー %1").arg(code);
}

// The system's reason when it gave one, else SQLite's.
QString store_reason(const DbError& problem) {
    if (problem.error_number != 0 || problem.code == 0) return system_reason(problem.error_number);
    return sqlite_reason(problem.code);
}

QString why_not_used(const DbError& problem) {
    using Kind = DbError::Kind;
    switch (problem.kind) {
        case Kind::Link:
            return QStringLiteral("シンボリックリンクなので使いません。");
        case Kind::Folder:
            return QStringLiteral("フォルダなので使いません。");
        case Kind::Special:
            return QStringLiteral("普通のファイルではないので使いません。");
        case Kind::NotOurs:
            return QStringLiteral("フォタビのコメントのファイルではないので使いません。");
        case Kind::Damaged:
            return QStringLiteral("壊れているので使いません。");
        case Kind::Newer:
            return QStringLiteral("新しい版のフォタビで書かれているので使いません。");
        case Kind::Locked:
            return QStringLiteral(
                "ほかのプログラムが使っているため、今は読めません。"
                "入力したコメントは、使えるようになってから保存します。");
        case Kind::Stopped:
            return QStringLiteral("読み書きがいつまでも終わらないので使いません。");
        case Kind::Cancelled:
            return QStringLiteral("読み書きを途中でやめました。");
        case Kind::Io:
        case Kind::Other:
        case Kind::None:
            break;
    }
    return QStringLiteral("読めません（理由: %1）。").arg(store_reason(problem));
}

// Where a text that left its picture can be found again.
const QString kHistoryHint = QStringLiteral("（ヘルプの「置き換えたコメントを取り出す」を参照）");

}  // namespace

QString store_issue_text(const StoreIssue& issue) {
    QString text = native(issue.path) + QStringLiteral(" は") + why_not_used(issue.problem);
    if (!issue.kept_as.isEmpty())
        text += QStringLiteral("元の%1は %2 として残しました。")
                    .arg(thing(issue.problem.kind), issue.kept_as);
    else if (issue.aside_error != 0)
        text += QStringLiteral("別の名前で残すこともできませんでした（理由: %1）。")
                    .arg(system_reason(issue.aside_error));
    return text;
}

QString store_unlocked_text(const QString& folder) {
    return QStringLiteral(
               "ほかのプログラムが使っていた %1 のコメントのファイルが使えるようになったので、"
               "そのコメントを表示しました。")
        .arg(native(folder));
}

QStringList store_load_notes(const StoreLoad& load) {
    QStringList notes;
    for (const StoreIssue& issue : load.issues) notes << store_issue_text(issue);
    if (load.replaced > 0)
        notes << QStringLiteral(
                     "%1 枚の写真は、以前コメントを付けた写真と同じ名前の別の写真に置き換わって"
                     "いました。以前のコメントはこれらの写真には付けず、履歴に残してあります%2。")
                     .arg(load.replaced)
                     .arg(kHistoryHint);
    return notes;
}

QString read_back_note(const ReadBack& back) {
    if (back.unreadable != 0)
        return QStringLiteral(
                   "time_log.txt を読めないため、コメントを読み戻せませんでした（理由: %1）。\n"
                   "リスト(L) で書き直すときは、元の time_log.txt を別の名前で残します。")
            .arg(system_reason(back.unreadable));
    if (!back.found || (back.unplaced == 0 && !back.damaged)) return {};
    QString note =
        QStringLiteral("time_log.txt から %1 個のコメントを読み戻しました。").arg(back.placed);
    if (back.unplaced > 0)
        note += QStringLiteral(
                    "\n%1 個の記録は、同じ日時の画像がないか、同じ分の画像と数が合わないため、"
                    "どの画像にも付けませんでした。")
                    .arg(back.unplaced);
    if (back.damaged) note += QStringLiteral("\ntime_log.txt には読み取れない部分がありました。");
    note +=
        QStringLiteral("\nリスト(L) で書き直すときは、元の time_log.txt を別の名前で残します。");
    return note;
}

QString cut_comments_text(int count) {
    return QStringLiteral(
               "%1 個のコメントは長すぎるため、先頭の %2 文字だけを表示します。元の全文は読んだ"
               "ファイルに残っていて、リスト(L) で書き直すときは time_log.txt を別の名前で"
               "残します。")
        .arg(count)
        .arg(kCommentLimit);
}

QString comment_too_long_text(int left_out) {
    return QStringLiteral("コメントは %1 文字までです。入りきらない %2 文字は入れませんでした。")
        .arg(kCommentLimit)
        .arg(left_out);
}

QString save_failure_text(const SaveReport& report) {
    QString why;
    if (report.problem.kind == DbError::Kind::Locked)
        why = QStringLiteral("%1 をほかのプログラムが使っています。")
                  .arg(native(report.problem_path));
    else if (report.problem.kind == DbError::Kind::Io)
        why = QStringLiteral("%1 に書き込めません（理由: %2）。")
                  .arg(native(report.problem_path), store_reason(report.problem));
    else
        why = QStringLiteral("%1 は%2").arg(native(report.problem_path),
                                            why_not_used(report.problem));
    return QStringLiteral("入力したコメントを保存できませんでした。\n") + why +
           QStringLiteral(
               "\nコメントはプログラムの中に残っていて、次に保存するときにもう一度"
               "試します。");
}

QString replaced_elsewhere_text(int count) {
    return QStringLiteral(
               "このウィンドウで入力したコメントのうち %1 個は、別のウィンドウで書き換えられ"
               "ました。元の文は履歴に残してあります%2。")
        .arg(count)
        .arg(kHistoryHint);
}

QString unsaved_question(int count, const SaveReport* failure) {
    QString text = QStringLiteral("%1 個のコメントを保存できていません。").arg(count);
    if (failure) text += QLatin1Char('\n') + save_failure_text(*failure).section(u'\n', 1, 1);
    return text + QStringLiteral("\nこのまま続けると、保存できていないコメントは失われます。");
}

QString log_written_text(const QString& folder, const LogWrite& written, bool confirm) {
    if (!confirm && written.replaced == 0 && written.kept_as.isEmpty()) return {};
    QString text = folder + QStringLiteral("にtime_log.txt を出力しました");
    if (written.replaced > 0)
        text += QStringLiteral("\n（シフト JIS で表せない %1 文字は「?」で書きました）")
                    .arg(written.replaced);
    if (written.kept_as.isEmpty()) return text;
    if (written.dropped > 0)
        return text + QStringLiteral(
                          "\n以前の time_log.txt には新しいファイルにない記録が %1 個あったため、"
                          "%2 として残しました。")
                          .arg(written.dropped)
                          .arg(written.kept_as);
    if (written.unreadable != 0)
        return text + QStringLiteral(
                          "\n以前の time_log.txt は読めなかったため（理由: %1）、"
                          "%2 として残しました。")
                          .arg(system_reason(written.unreadable), written.kept_as);
    if (written.other_forms)
        return text + QStringLiteral(
                          "\n以前の time_log.txt にはシフト JIS の別の書き方の文字があり、"
                          "書き直すとその部分のバイトが変わるため、%1 として残しました。")
                          .arg(written.kept_as);
    return text + QStringLiteral(
                      "\n以前の time_log.txt には読み取れない部分があったため、%1 "
                      "として残しました。")
                      .arg(written.kept_as);
}

QString diary_written_text(const QString& folder, const DiaryWrite& written) {
    QStringList names;
    for (const QString& path : written.written) names << QFileInfo(path).fileName();
    if (written.cancelled)
        return QStringLiteral("写真日誌の書き出しを中止しました。ファイルは書き換えていません。");
    if (!written.ok()) {
        const QString error = write_problem_text(written.problem);
        if (names.isEmpty()) return error;
        return error + QStringLiteral("\n（%1 は書き出しました）").arg(names.join(u'、'));
    }
    QString text =
        QStringLiteral("%1 に写真日誌を書き出しました:\n").arg(native(folder)) + names.join(u'\n');
    if (written.unreadable > 0)
        text += QStringLiteral("\n表示できない画像 %1 枚は、写真の代わりにその理由を書きました。")
                    .arg(written.unreadable);
    return text;
}

QString diary_without_entries_text() {
    return QStringLiteral(
        "コメントの付いた写真がないため、写真日誌は書き出しませんでした。\n"
        "コメントのない写真も載せるときは、「コメントのない写真も入れる」を選んで下さい。");
}

QString diary_picture_reason(const DiaryPicture& picture) {
    if (picture.problem == DiaryPictureProblem::NotEncoded) return QStringLiteral("メモリが足りません");
    return failure_text(picture.failure);
}

QString lower_case_text(const std::vector<std::pair<QString, QString>>& pairs,
                        const std::vector<int>& errors) {
    const int count = int(pairs.size());
    QStringList failures;
    for (size_t k = 0; k < pairs.size() && k < errors.size(); ++k)
        if (errors[k] != 0)
            failures << QStringLiteral("%1: %2").arg(pairs[k].first, system_reason(errors[k]));
    if (failures.isEmpty()) return QStringLiteral("画像ファイル名を小文字にしました");
    const int renamed = count - int(failures.size());
    const QString counts =
        renamed == 0 ? QStringLiteral("画像ファイル %1 個のどれも小文字にできませんでした:\n")
                           .arg(failures.size())
                     : QStringLiteral(
                           "画像ファイル %1 個のうち %2 個を小文字にしました。次の %3 "
                           "個はできませんでした:\n")
                           .arg(count)
                           .arg(renamed)
                           .arg(failures.size());
    return counts + failures.join(QLatin1Char('\n'));
}

QString rename_store_text(const DbError& problem) {
    return QStringLiteral(
               "コメントの保存先に新しい名前を書けませんでした（%1）。"
               "コメントは新しい名前でもう一度保存します。")
        .arg(problem.kind == DbError::Kind::Locked
                 ? QStringLiteral("ほかのプログラムが使っています")
                 : store_reason(problem));
}

QString position_text(int shown, int count, int commented) {
    if (count == 0) return {};
    return QStringLiteral("%1 / %2 枚目　コメント %3 / %2")
        .arg(shown + 1)
        .arg(count)
        .arg(commented);
}

QString capture_time_hint(int without) {
    QString text = QStringLiteral(
        "このフォルダの写真のファイルの日時は、コピーした時刻のようです"
        "（カメラが記録した撮影日時とは大きく違います）。\n"
        "撮影日時で並べ、日付を付けますか?\n"
        "（ファイル → 撮影日時を使う で、いつでも切り替えられます）");
    if (without > 0)
        text += QStringLiteral(
                    "\n\n撮影日時の記録がない写真が %1 枚あります。それらはファイルの日時のまま"
                    "並び、一覧に「撮影日時なし」と表示します。")
                    .arg(without);
    return text;
}

QString clock_store_text(const DbError& problem) {
    return QStringLiteral("時刻の補正を保存できませんでした（%1）。写真の時刻は元のままです。")
        .arg(problem.kind == DbError::Kind::Locked
                 ? QStringLiteral("ほかのプログラムが使っています")
             : problem.error_number ? system_reason(problem.error_number)
                                    : why_not_used(problem));
}

QString no_camera_text(const QString& name) {
    return QStringLiteral(
               "%1 には撮影したカメラの記録（メーカーと機種）がないため、"
               "時刻を合わせられません。")
        .arg(name);
}

}  // namespace fotavi
