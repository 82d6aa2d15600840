#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

#include "pictures/image_table.h"
#include "time_log/time_log.h"

namespace fotavi {

// What List does with the time_log.txt already in the folder: it keeps it
// aside when the new file would lose what the old one holds.

// Each picture's day, time and the comment it has in the log as last known
// (empty when none), for check_old_log.
std::vector<LogEntry> logged_entries(const ImageTable& table, const std::vector<QString>& logged);

struct OldLogCheck {
    bool keep = false;  // the old file must be kept beside the new one
    int dropped = 0;    // old entries the new file will not hold and no picture's change explains
    bool other_forms = false;  // the old file was read whole; characters in another form (LogRead)
};

// Whether List, about to write new_entries over a time_log.txt holding
// old_bytes, would lose something: an entry of the old file that the new one
// does not hold and that is not explained by a picture whose comment was
// changed or cleared (logged: one entry per picture now in the table, with
// its comment as last logged), or anything the old file holds that could not
// be read back.
OldLogCheck check_old_log(const QByteArray& old_bytes, const std::vector<LogEntry>& new_entries,
                          const std::vector<LogEntry>& logged);

// The name the old log is kept under: "time_log_20240503-101500.txt" from
// its modification time (local), with "-2", "-3", ... before ".txt" while
// that name is taken in folder.
QString backup_log_name(const QString& folder, const QDateTime& modified);

struct KeptLog {
    QString name;         // the file name the old log is kept under; empty when there was none
    KeepFailure failure;  // why it could not be kept
    bool ok() const { return !failure.failed(); }
};

// Keeps the time_log.txt of folder under backup_log_name: a second name
// for the same file where the file system allows it, else a copy with the
// same modification time. Never replaces a file.
KeptLog keep_old_log(const QString& folder);

// Writes time_log.txt with entries (log_entries of the table), after keeping
// the old file aside when it holds entries the new one would lose
// (check_old_log against logged, the logged_entries of the table).
LogWrite write_log_keeping_old(const QString& folder, const std::vector<LogEntry>& entries,
                               const std::vector<LogEntry>& logged);

}  // namespace fotavi
