#pragma once

#include <QByteArray>

#include <vector>

#include "comments/store_file.h"

namespace fotavi {

// The journal the version before kept beside the pictures, a JSON file:
// {"format": "fotavi comment journal", "version": 1, "pictures": {name:
// {"comment", "logged", "size", "mtime_ns" (decimal text), "changed_ms"}}}.
inline constexpr char kOldJournalName[] = "fotavi_comments.json";

struct OldJournal {
    std::vector<StoredComment> rows;  // name, size, mtime_ns, comment, logged
    bool damaged = false;             // not such a journal, or parts of it unreadable
    bool newer = false;               // a format this version does not know
};

// Reads an old journal. A number that is not an exact whole number in range
// (1e300, -5, 1.5, "12x") is taken as unknown, never cast; an entry without
// a comment text is skipped. Either makes the journal damaged.
OldJournal parse_old_journal(const QByteArray& bytes);

}  // namespace fotavi
