#include "photo_diary/diary_csv.h"

#include <QFileInfo>

#include "platform/text_file.h"

namespace fotavi {

QString csv_field(const QString& text) {
    const QString folded = fold_line_breaks(text);
    const bool quoted = folded.contains(u',') || folded.contains(u'"') || folded.contains(u'\n') ||
                        folded.contains(u'\r');
    if (!quoted) return folded;
    QString field = folded;
    field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

QByteArray diary_csv(const std::vector<DiaryEntry>& entries) {
    QString table = QStringLiteral("日付,時刻,ファイル,コメント\r\n");
    for (const DiaryEntry& entry : entries) {
        table += csv_field(entry.day) + u',' + csv_field(entry.time) + u',' +
                 csv_field(QFileInfo(entry.picture_path).fileName()) + u',' +
                 csv_field(entry.comment) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + table.toUtf8();
}

}  // namespace fotavi
