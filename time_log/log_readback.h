#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "pictures/image_table.h"
#include "time_log/time_log.h"

namespace fotavi {

// What a time_log.txt holds, as far as it could be read.
struct LogRead {
    std::vector<LogEntry> entries;  // in file order
    int not_understood = 0;         // lines that are no part of a day, an entry or the table frame
    bool not_cp932 = false;  // bytes that are not code page 932 (read as UTF-8 where they are that)
    bool cut_short = false;  // the table has no end: cut off, or not a diary of ours at all
    bool faithful = false;   // writing the entries again gives exactly the bytes read
    // Read whole, but some characters stand in another of their code page 932
    // forms (NEC and IBM duplicates, as other programs write them): writing
    // the entries again changes those bytes only.
    bool other_forms = false;
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

// The bytes of folder's time_log.txt: nothing when there is no regular file
// by that name (a link, a folder), when it is larger than any diary
// (too_large), or when it is there but cannot be read (*unreadable: the
// errno, such as EACCES for a file that may be written but not read).
std::optional<QByteArray> read_log_file(const QString& folder, bool* too_large,
                                        int* unreadable = nullptr);

// The comments of folder's time_log.txt given back to the table's pictures.
struct ReadBack {
    bool found = false;             // there was a time_log.txt to read
    std::vector<QString> comments;  // one per table index, empty where none
    int placed = 0;
    int unplaced = 0;          // entries given to no picture
    bool damaged = false;      // parts of the file could not be read
    bool other_forms = false;  // read whole, some characters in another form (LogRead)
    int unreadable = 0;        // there is a time_log.txt, but reading it failed: the errno
};
ReadBack read_back_log(const QString& folder, const ImageTable& table);

}  // namespace fotavi
