#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

#include "browse/image_table.h"
#include "log/time_log.h"

namespace fotavi {

// What a time_log.txt holds, as far as it could be read.
struct LogRead {
    std::vector<LogEntry> entries;  // in file order
    int not_understood = 0;         // lines that are no part of a day, an entry or the table frame
    bool not_cp932 = false;  // bytes that are not code page 932 (read as UTF-8 where they are that)
    bool cut_short = false;  // the table has no end: cut off, or not a diary of ours at all
    bool faithful = false;   // writing the entries again gives exactly the bytes read
};

// Reads the comments back from the bytes of a time_log.txt. Never fails:
// whatever cannot be read is counted, and faithful tells whether anything of
// the file is missing from the entries.
LogRead read_log(const QByteArray& bytes);

struct Placement {
    std::vector<QString> comments;   // one per table index, empty where none
    std::vector<LogEntry> unplaced;  // entries given to no picture, in file order
};

// Gives each entry to the picture with the same day and time texts. Where a
// minute has as many entries as pictures they go in table order; where the
// counts differ, or no picture has that minute, none of them is given.
Placement place_entries(const ImageTable& table, const std::vector<LogEntry>& entries);

// Each picture's day, time and the comment it has in the log as last known
// (empty when none), for check_old_log.
std::vector<LogEntry> logged_entries(const ImageTable& table, const std::vector<QString>& logged);

struct OldLogCheck {
    bool keep = false;  // the old file must be kept beside the new one
    int dropped = 0;    // old entries the new file will not hold and no picture's change explains
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
    QString name;   // the file name the old log is kept under; empty when there was none
    QString error;  // empty on success; names the file and the system's reason
    bool ok() const { return error.isEmpty(); }
};

// Keeps the time_log.txt of folder under backup_log_name: a second name
// for the same file where the file system allows it, else a copy with the
// same modification time. Never replaces a file.
KeptLog keep_old_log(const QString& folder);

// Writes time_log.txt for the table like z_write_log, after keeping the old
// file aside when it holds entries the new one would lose (check_old_log).
// logged: for each table index, the comment as time_log.txt held it last.
LogWrite write_log_keeping_old(const QString& folder, const ImageTable& table,
                               const std::vector<QString>& logged);

// The comments of folder's time_log.txt given back to the table's pictures.
struct ReadBack {
    bool found = false;             // there was a time_log.txt to read
    std::vector<QString> comments;  // one per table index, empty where none
    int placed = 0;
    int unplaced = 0;      // entries given to no picture
    bool damaged = false;  // parts of the file could not be read
};
ReadBack read_back_log(const QString& folder, const ImageTable& table);

}  // namespace fotavi
