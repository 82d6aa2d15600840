#include "time_log/time_log.h"

#include <QDir>

#include <algorithm>

namespace fotavi {

QString log_day(DateTime date) { return format_date(date, u"dddddd(aaa)"); }
QString log_time(DateTime date) { return format_date(date, u"hh:nn"); }

std::vector<LogEntry> log_entries(const ImageTable& table) {
    std::vector<LogEntry> entries;
    for (int i = 0; i < table.count(); ++i) {
        if (table.comments[i].isEmpty()) continue;
        const DateTime date = table.dates[i];
        entries.push_back({log_day(date), log_time(date), fold_line_breaks(table.comments[i]),
                           table.names[i], !in_calendar(date)});
    }
    return entries;
}

QStringList log_lines(const std::vector<LogEntry>& entries) {
    QStringList lines;

    // The diary: a day line whenever the day changes between two entries,
    // then one line per comment.
    QString previous_day;
    for (const LogEntry& e : entries) {
        if (e.day != previous_day) lines << e.day;
        previous_day = e.day;
        lines << e.time + u' ' + e.comment;
    }

    lines << QString() << QString() << QString();

    // The same again as an HTML table; comments go in unescaped, as typed.
    lines << QStringLiteral("<TABLE BORDER=1>");
    previous_day.clear();
    for (const LogEntry& e : entries) {
        if (e.day != previous_day) {
            lines << QStringLiteral("<TR><TD COLSPAN=\"2\">") + e.day +
                         QStringLiteral("</TD></TR>");
        }
        previous_day = e.day;
        lines << QStringLiteral("<TR><TD>") + e.time + QStringLiteral("</TD><TD>") + e.comment +
                     QStringLiteral("</TD></TR>");
    }
    lines << QStringLiteral("</TABLE>");
    return lines;
}

Encoded log_bytes(const std::vector<LogEntry>& entries) { return encode_lines(log_lines(entries)); }

LogWrite refuse_outside_calendar(const std::vector<LogEntry>& entries) {
    LogWrite refused;
    const auto undated =
        std::find_if(entries.begin(), entries.end(), [](const LogEntry& e) { return e.outside_calendar; });
    if (undated == entries.end()) return refused;
    refused.outside_calendar = undated->picture;
    return refused;
}

LogWrite write_log_file(const QString& folder, const std::vector<LogEntry>& entries) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kLogName));
    LogWrite result = refuse_outside_calendar(entries);
    if (!result.ok()) return result;
    result.problem = write_text_file(path, log_lines(entries)).problem;
    // Each comment stands twice in the file (diary and table) but is counted once.
    for (const LogEntry& e : entries) result.replaced += encode_cp932(e.comment).replaced;
    return result;
}

}  // namespace fotavi
