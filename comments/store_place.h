#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "comments/comment_store.h"
#include "comments/store_file.h"

namespace fotavi {

// The capture time of the picture at path (seconds since 1899-12-30), nothing
// when it has none. Called on the store's worker.
using CaptureReader = std::function<std::optional<qint64>(const QString& path)>;

// The store files of the open folder, as the store's worker sees them: the
// one beside the pictures and the copy in the state folder.
struct StorePlace {
    QString folder;
    QString primary_path;   // <folder>/fotavi_comments.sqlite
    QString fallback_path;  // <state>/<folder name>-<hash>.sqlite
    StoreFile primary;
    StoreFile fallback;
    bool primary_writable = false;
    // The folder refused the store (read-only, full, gone): the state
    // folder's copy takes the comments until the folder is opened again.
    bool primary_refused = false;
    // Another program held the folder's store at the opening: it is tried
    // again, and its rows given to the pictures listed then, once it is free.
    bool primary_locked = false;
    std::vector<ListedFile> files;
    qint64 writer = 0;        // this window, in the store's writer column
    qint64 seen_version = 0;  // the target's last version seen, for refreshing
    qint64 seen_history = 0;  // the target's last history entry seen

    // The file changes go to now, opened (made) when needed; nullptr and
    // *error when none can be written.
    StoreFile* target(DbError* error);
    // The file being read for refreshing, without making one.
    StoreFile* current();
    void close();
};

// Where a picture folder's store goes in the state folder: a name made of the
// folder's name and a hash of its whole path, so it can be found again.
QString state_store_path(const QString& state_dir, const QString& folder, const QString& suffix);

// Opens folder's store files: sets aside what is not a store of ours, takes
// in the journal of the version before, gives the state folder's copy back to
// the store beside the pictures where the folder can be written again, and
// matches the rows to files.
StoreLoad open_place(StorePlace& place, const QString& state_dir,
                     const std::vector<ListedFile>& files, const CaptureReader& capture);

// Moves what belongs to the store at path (its rollback journal, its
// write-ahead log and that log's shared memory) to new_name beside it, after
// the store itself went there: left behind, a journal or log would be played
// into a new store of the old name.
void move_companions(const QString& path, const QString& new_name);

// Sets the store at path aside under a dated name beside it (never deleted),
// for problem; the issue says under which name, or why it could not be.
StoreIssue keep_store_aside(const QString& path, const DbError& problem);

// Once the folder's store that another program held at the opening is free:
// its rows, matched to the pictures and named as they are now, go to rows,
// and anything wrong with it (it is then set aside) to issues. False while it
// is still held, or when it was not.
bool read_unlocked(StorePlace& place, const CaptureReader& capture,
                   std::vector<StoredComment>& rows, std::vector<StoreIssue>& issues);

// Stores changes in file, in one transaction. fallback: file is the state
// folder's copy, whose rows keep the text they were changed from.
DbError write_changes(StoreFile& file, const std::vector<CommentChange>& changes, bool fallback,
                      const StorePlace& place, const CaptureReader& capture);

}  // namespace fotavi
