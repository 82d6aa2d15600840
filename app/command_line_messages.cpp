// The sentences of the commands run without a window: help, usage, what was
// written, what went wrong.

#include <QDir>

#include "app/messages.h"
#include "app/reasons.h"

namespace fotavi {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

QString help_text() {
    return QStringLiteral(
        "使い方: fotavi [写真.jpg | フォルダ]\n"
        "        fotavi --write-diary フォルダ [--format html,pdf,csv] [--title 題]\n"
        "               [--layout 割り付け] [--all]\n"
        "        fotavi --export-pictures フォルダ 書き出し先 [--all]\n"
        "\n"
        "写真のフォルダを開き、一枚ずつコメントを付けて、日付ごとの日誌 time_log.txt と\n"
        "写真日誌を作ります。写真 (.jpg) を指定するとそのフォルダを開きます。\n"
        "\n"
        "  -h, --help                この説明を表示して終わります\n"
        "  -v, --version             バージョンを表示して終わります\n"
        "  --write-diary フォルダ    フォルダの写真日誌を、画面を使わずにフォルダへ\n"
        "                            書き出し、書いたファイルを表示します\n"
        "  --format 形式             html, pdf, csv をコンマで区切って（既定: 三つとも）\n"
        "  --title 題                日誌の題（既定: 写真日誌の画面で付けた題、\n"
        "                            なければフォルダの名前）\n"
        "  --layout 割り付け         standard（1 ページ 4 枚）, two-columns（2 列、8 枚）,\n"
        "                            contact-sheet（一覧、12 枚以上）（既定: standard）\n"
        "  --export-pictures フォルダ 書き出し先\n"
        "                            フォルダの写真のうちコメントのあるものを、コメントを\n"
        "                            埋め込んで書き出し先へ写します（既にあるファイルは\n"
        "                            書き換えません）\n"
        "  --all                     コメントのない写真も入れます\n"
        "\n"
        "終了コード: 0 成功、1 書き出せなかった（理由は標準エラー出力）、\n"
        "2 オプションの誤り\n");
}

QString export_usage_text() {
    return QStringLiteral("使い方: fotavi --export-pictures フォルダ 書き出し先 [--all]");
}

QString unknown_option_text(const QString& name) {
    return QStringLiteral("オプション %1%2 はありません（fotavi --help で一覧を表示します）")
        .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
}

QString option_without_value_text(const QString& option) {
    return QStringLiteral("%1 のあとに値を指定して下さい").arg(option);
}

QString wrong_option_value_text(const QString& option, const QString& value,
                                const QString& allowed) {
    return QStringLiteral("%1 に %2 は使えません（使えるもの: %3）").arg(option, value, allowed);
}

QString extra_argument_text(const QString& argument) {
    return QStringLiteral("余分な引数 %1 があります（--write-diary にはフォルダを一つ指定します）")
        .arg(argument);
}

QString diary_option_alone_text(const QString& option) {
    return QStringLiteral("--%1 は --write-diary と一緒に使います").arg(option);
}

QString not_a_folder_text(const QString& argument) {
    return QStringLiteral("%1 は JPEG ファイル (.jpg) でもフォルダでもありません").arg(argument);
}

QString folder_unreadable_text(const QString& folder, int error) {
    return QStringLiteral("フォルダ %1 の中を読めません。理由: %2")
        .arg(native(folder), system_reason(error));
}

// As the window says it.
QString no_pictures_text() { return QStringLiteral("検索対象ありませんでした。"); }

QString no_form_text() { return QStringLiteral("--format に書き出す形式がありません"); }

QString diary_written_lines(const DiaryWrite& written) {
    QStringList lines;
    for (const QString& path : written.written) lines << native(path);
    return lines.join(u'\n');
}

}  // namespace fotavi
