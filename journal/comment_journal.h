#pragma once

#include <QByteArray>
#include <QString>

#include <map>

namespace fotavi {

// The file that keeps a folder's comments between runs, beside its pictures.
inline constexpr char kJournalName[] = "fotavi_comments.json";
inline constexpr int kJournalVersion = 1;
// A journal larger than this is not one of ours: a folder of ten thousand
// pictures with long comments stays far below it.
inline constexpr qint64 kJournalMaxBytes = 16 * 1024 * 1024;

// What the journal knows of one picture.
struct JournalEntry {
    QString comment;  // as typed, line breaks as LF
    QString logged;   // the comment as time_log.txt holds it (last List or read back)
    // The picture file when the comment was stored, to find it again after a
    // rename outside the program; size -1 when unknown.
    qint64 size = -1;
    qint64 mtime_ns = 0;
    qint64 changed_ms = 0;  // when the comment last changed (ms since 1970)
    bool operator==(const JournalEntry&) const = default;
};

// By file name. Pictures that left the folder keep their entries, so one
// moved away and back gets its comment back.
using JournalEntries = std::map<QString, JournalEntry>;

struct JournalRead {
    JournalEntries entries;
    bool damaged = false;  // not a journal of ours, or parts of it unreadable
    bool newer = false;    // written by a newer version: what is understood was read
    int skipped = 0;       // entries that could not be read
};

QByteArray serialize_journal(const QString& folder, const JournalEntries& entries);
JournalRead parse_journal(const QByteArray& bytes);

// Two instances of the program may keep the same folder's journal: for each
// picture the comment changed last wins; on a tie, ours.
JournalEntries merge_journals(const JournalEntries& ours, const JournalEntries& theirs);

}  // namespace fotavi
