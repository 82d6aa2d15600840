#include "app/messages.h"

#include <QDir>

#include "app/reasons.h"

namespace fotavi {

// The titles of the boxes.

QString message_title() { return QStringLiteral("メッセージ"); }

QString version_title() { return QStringLiteral("バージョン情報"); }

QString version_text() {
    return QStringLiteral(
        "フォタビ\r\n\r\nバージョン1.21\r\n"
        "Linux 版 © 2026 フォタビ開発チーム");
}

// What the progress box says while the window waits.

QString saving_comments_label() { return QStringLiteral("コメントを保存しています"); }

QString reading_folder_label() { return QStringLiteral("フォルダの中を読んでいます"); }

QString reading_capture_times_label(int count) {
    return QStringLiteral("撮影日時を読んでいます（%1 枚）").arg(count);
}

QString reading_comments_label() { return QStringLiteral("コメントを読んでいます"); }

QString reading_log_label() { return QStringLiteral("time_log.txt を読んでいます"); }

QString writing_log_label() { return QStringLiteral("time_log.txt を書いています"); }

QString lower_case_label(int count) {
    return QStringLiteral("画像ファイル名を小文字にしています（%1 個）").arg(count);
}

QString writing_diary_label(int count) {
    return QStringLiteral("写真日誌を書いています（%1 枚）").arg(count);
}

QString finding_captions_label() { return QStringLiteral("写真の説明を探しています"); }

QString checking_camera_label() { return QStringLiteral("カメラを調べています"); }

QString saving_clock_label() { return QStringLiteral("時刻の補正を保存しています"); }

QString tidying_comments_label() { return QStringLiteral("コメントを片付けています"); }

// Moving through the pictures, and the settings.

QString needs_pictures_text() { return QStringLiteral("先に、画像ファイルを指定して下さい"); }

QString no_earlier_picture_text() { return QStringLiteral("これより前の画像ファイルはありません"); }

QString no_later_picture_text() { return QStringLiteral("これより次の画像ファイルはありません"); }

QString unwritable_phrases_text(int lost) {
    return QStringLiteral(
               "登録文字のうち %1 文字はシフト JIS で表せないため、"
               "def_list.txt には「?」として保存されます。")
        .arg(lost);
}

// Opening a folder.

QString ignored_argument_text(const QString& argument) {
    return QStringLiteral(
               "%1 は画像ファイル (.jpg .heic .heif) でもフォルダでもないため、無視しました")
        .arg(argument);
}

QString unfinished_renames_text(const QStringList& lines) {
    return QStringLiteral(
               "フォルダに残っていた名前の変更の記録のうち、次のものは処理しませんでした:\n") +
           lines.join(u'\n');
}

QString nothing_found_text() { return QStringLiteral("検索対象ありませんでした。"); }

QString undecodable_names_text(int count) {
    return QStringLiteral(
               "ファイル名が UTF-8 でない画像ファイルが %1 個あり、表示できません。"
               "ファイル名を付け直してから開き直して下さい。")
        .arg(count);
}

// Starting the diary afresh.

QString start_afresh_refused_text(const QString& folder, int error) {
    return QStringLiteral("フォルダ %1 に書き込めないため、新しく始められません。\n理由: %2")
        .arg(folder, system_reason(error));
}

QString start_afresh_question() {
    return QStringLiteral(
        "このフォルダのコメントをすべて消して、日誌を新しく始めますか?\n"
        "今のコメントと time_log.txt は、日付の付いた名前で"
        "フォルダに残します。");
}

QString store_kept_aside_note(const StoreIssue& file) {
    return file.aside_error == 0
               ? QStringLiteral("%1 を %2 として残しました。")
                     .arg(QDir::toNativeSeparators(file.path), file.kept_as)
               : QStringLiteral("%1 を残せませんでした（理由: %2）。")
                     .arg(QDir::toNativeSeparators(file.path), system_reason(file.aside_error));
}

QString log_kept_aside_note(const QString& name) {
    return QStringLiteral("time_log.txt を %1 として残しました。").arg(name);
}

QString log_not_kept_note(int error) {
    return QStringLiteral("time_log.txt を残せませんでした（理由: %1）。")
        .arg(system_reason(error));
}

QString started_afresh_text() { return QStringLiteral("日誌を新しく始めました。"); }

}  // namespace fotavi
