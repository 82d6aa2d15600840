#include "log/time_log.h"

#include <QDir>

#include "platform/date_time.h"
#include "platform/text_file.h"

namespace fotavi {

namespace {

QString day_text(DateTime d) { return format_date(d, u"dddddd(aaa)"); }
QString time_text(DateTime d) { return format_date(d, u"hh:nn"); }

}  // namespace

QStringList log_lines(const ImageTable& table) {
    QStringList lines;
    const int count = table.img_count();

    // The diary: a day line whenever the day changes between two commented
    // entries (skipped entries do not count), then one line per comment.
    QString previous_day;
    for (int i = 0; i < count; ++i) {
        if (table.img_comment[i].isEmpty()) continue;
        const QString day = day_text(table.img_date[i]);
        if (day != previous_day) lines << day;
        previous_day = day;
        lines << time_text(table.img_date[i]) + u' ' + table.img_comment[i];
    }

    lines << QString() << QString() << QString();

    // The same again as an HTML table; comments go in unescaped, as typed.
    lines << QStringLiteral("<TABLE BORDER=1>");
    previous_day.clear();
    for (int i = 0; i < count; ++i) {
        if (table.img_comment[i].isEmpty()) continue;
        const QString day = day_text(table.img_date[i]);
        if (day != previous_day) {
            lines << QStringLiteral("<TR><TD COLSPAN=\"2\">") + day + QStringLiteral("</TD></TR>");
        }
        previous_day = day;
        lines << QStringLiteral("<TR><TD>") + time_text(table.img_date[i]) +
                     QStringLiteral("</TD><TD>") + table.img_comment[i] +
                     QStringLiteral("</TD></TR>");
    }
    lines << QStringLiteral("</TABLE>");
    return lines;
}

LogWrite z_write_log(const QString& folder, const ImageTable& table) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kLogName));
    LogWrite result;
    result.error = write_text_file(path, log_lines(table)).error;
    // Each comment stands twice in the file (diary and table) but is counted once.
    for (const QString& comment : table.img_comment)
        result.replaced += encode_cp932(comment).replaced;
    return result;
}

}  // namespace fotavi
