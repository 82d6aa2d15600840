#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

#include "pictures/image_table.h"
#include "platform/date_time.h"
#include "platform/text_file.h"

namespace fotavi {

inline constexpr char kLogName[] = "time_log.txt";

// One commented picture as time_log.txt holds it.
struct LogEntry {
    LogEntry() = default;
    LogEntry(QString day_text, QString time_text, QString comment_text, QString picture_name = {},
             bool outside_calendar = false)
        : day(std::move(day_text)),
          time(std::move(time_text)),
          comment(std::move(comment_text)),
          picture(std::move(picture_name)),
          outside_calendar(outside_calendar) {}

    QString day;      // the day text, "2001年9月2日(日)"
    QString time;     // the time text, "05:10"
    QString comment;  // line breaks as "\n", as the comment box holds them
    // Of an entry made from the table: the picture, for messages, and whether
    // its date-time lies outside the calendar (such an entry is never written).
    QString picture;
    bool outside_calendar = false;

    // The same entry of the diary, whichever picture it came from.
    bool operator==(const LogEntry& other) const {
        return day == other.day && time == other.time && comment == other.comment;
    }
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

// The bytes of time_log.txt for entries (code page 932, CR LF).
Encoded log_bytes(const std::vector<LogEntry>& entries);

// Why the old time_log.txt, which had to be kept aside, was not.
struct KeepFailure {
    int look_error = 0;  // the errno of looking at time_log.txt; 0 when it was looked at
    int copy_error = 0;  // the errno of keeping it under copy_name
    QString copy_name;   // the name it was to be kept under, in the same folder
    bool failed() const { return look_error != 0 || copy_error != 0; }
};

// What List did, in plain values: app/messages makes the sentences.
struct LogWrite {
    WriteProblem problem;  // time_log.txt could not be written
    KeepFailure not_kept;  // the old time_log.txt had to be kept and could not be: nothing written
    int replaced = 0;    // characters code page 932 cannot hold, written as "?"
    QString kept_as;     // the name the old time_log.txt was kept under, if it was
    int dropped = 0;     // entries of the old file the new one does not hold
    QString outside_calendar;  // the picture whose date-time cannot be written, when that refused it
    int unreadable = 0;  // the old time_log.txt could not be read (the errno), so it was kept
    // The old file was read whole, but some of its characters stand in another
    // code page 932 form than the one written now: with dropped 0, the reason
    // it was kept.
    bool other_forms = false;
    bool ok() const { return problem.ok() && !not_kept.failed() && outside_calendar.isEmpty(); }
};

// Refuses entries holding one whose date-time lies outside the calendar (a
// damaged file time): a day line of dashes would be no diary. outside_calendar
// names the picture; ok when every entry can be written.
LogWrite refuse_outside_calendar(const std::vector<LogEntry>& entries);

// Writes time_log.txt of entries into folder (code page 932, CR LF, atomically).
LogWrite write_log_file(const QString& folder, const std::vector<LogEntry>& entries);

}  // namespace fotavi
