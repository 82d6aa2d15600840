#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "browse/image_table.h"
#include "platform/date_time.h"
#include "platform/text_file.h"

namespace fotavi {

inline constexpr char kLogName[] = "time_log.txt";

// One commented picture as time_log.txt holds it.
struct LogEntry {
    QString day;      // the day text, "2001年9月2日(日)"
    QString time;     // the time text, "05:10"
    QString comment;  // line breaks as "\n", as the comment box holds them
    bool operator==(const LogEntry&) const = default;
};

// The day and time texts of a picture's date-time: the key its entry is
// found by when the log is read back.
QString log_day(DateTime date);
QString log_time(DateTime date);

// The entries List writes for the table: every picture with a comment, in
// table order.
std::vector<LogEntry> log_entries(const ImageTable& table);

// The lines of time_log.txt: the diary grouped by day, three empty lines,
// then the same as an HTML table. Comments are written exactly as typed.
QStringList log_lines(const std::vector<LogEntry>& entries);
QStringList log_lines(const ImageTable& table);

// The bytes of time_log.txt for entries (code page 932, CR LF).
Encoded log_bytes(const std::vector<LogEntry>& entries);

struct LogWrite {
    QString error;     // empty on success; names the file and the system's reason
    int replaced = 0;  // characters code page 932 cannot hold, written as "?"
    QString kept_as;   // the name the old time_log.txt was kept under, if it was
    int dropped = 0;   // entries of the old file the new one does not hold
    bool ok() const { return error.isEmpty(); }
};

// Writes time_log.txt into folder (code page 932, CR LF, atomically).
LogWrite z_write_log(const QString& folder, const ImageTable& table);
// The same from the table's entries.
LogWrite write_log_file(const QString& folder, const std::vector<LogEntry>& entries);

}  // namespace fotavi
