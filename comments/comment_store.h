#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "comments/sqlite.h"
#include "comments/store_file.h"
#include "platform/files.h"

namespace fotavi {

// A file the store found unusable at a folder's opening, as plain values.
struct StoreIssue {
    QString path;         // the file it is about
    DbError problem;      // what is wrong with it
    QString kept_as;      // the name it was kept under, when it was set aside
    int aside_error = 0;  // why it could not be set aside (errno), or 0
};

// What the store holds of a folder, matched to its pictures.
struct StoreLoad {
    QString folder;
    // For each listed file, in listing order, its row when it has one.
    std::vector<std::optional<StoredComment>> rows;
    // Comments or logged texts were found, or time_log.txt was read back
    // before: it is not read back now.
    bool has_text = false;
    int replaced = 0;         // commented pictures replaced by others under the same name
    int imported = 0;         // comments taken from the journal of the version before
    QStringList imported_as;  // the names the old journals were kept under
    std::vector<StoreIssue> issues;
    bool in_state_folder = false;  // the folder cannot be written; comments go to the state folder
    bool captions_offered = false;  // the captions in its pictures were offered once already
    std::vector<ClockCorrection> clock_corrections;  // of the folder's cameras
};

// One picture's comment to store. base is the text the store had when this
// one was made from it: a stored text that is neither base nor this one was
// written by another window meanwhile, and is kept in the history.
struct CommentChange {
    QString name;
    qint64 size = -1;
    qint64 mtime_ns = 0;
    QString comment;
    QString logged;
    QString base;
};

// What became of a save.
struct SaveReport {
    QString folder;
    quint64 ticket = 0;                  // the save it answers
    std::vector<CommentChange> changes;  // as sent
    DbError problem;                     // nothing of it was stored when set
    QString problem_path;                // the file that could not be written
    bool lost = false;             // the store vanished meanwhile: everything must be stored again
    bool in_state_folder = false;  // stored in the state folder
    // The folder's store failed in a way no retry mends (damaged, a statement
    // past its bound): kept aside as this says, and a new one started (lost).
    std::optional<StoreIssue> set_aside = std::nullopt;
};

// Comments other windows stored since the last look.
struct RefreshReport {
    QString folder;
    std::vector<StoredComment> rows;
    int replaced_mine = 0;  // texts of this window another window replaced (kept in the history)
    // The folder's store, held by another program at the opening, is free:
    // rows hold its comments; issues what was wrong with it.
    bool unlocked = false;
    std::vector<StoreIssue> issues;
};

// What became of renaming pictures and their rows.
struct RenameReport {
    std::vector<int> errors;  // per pair: 0, or the errno of why the file keeps its name
    DbError problem;          // the store could not follow: its names are the old ones
};

// Where a folder's comments are kept: the store beside the pictures (or in
// the state folder when the folder cannot be written), read and written on a
// worker so that a slow or stuck card never holds up the window. Every
// answer comes back one way, as a future: whoever asked waits for it or
// looks whether it is ready.
class CommentStore {
public:
    virtual ~CommentStore() = default;

    // Reads the comments of folder and matches them to its pictures.
    virtual std::future<StoreLoad> load(const QString& folder, std::vector<ListedFile> files) = 0;
    // Stores changes in one transaction; the report says what became of them.
    virtual std::future<SaveReport> save(const QString& folder,
                                         std::vector<CommentChange> changes) = 0;
    // Looks for comments other windows stored since the last look.
    virtual std::future<RefreshReport> refresh(const QString& folder) = 0;
    // Gives the rows of pictures of folder that were renamed (old name, new
    // name) their new names, in one transaction; a row already under a new
    // name goes to the history first. Never touches a picture: the files
    // were renamed before, and should the program end in between, their new
    // names are found again by size and time at the next opening.
    virtual std::future<DbError> rename_rows(const QString& folder,
                                             std::vector<std::pair<QString, QString>> renamed) = 0;
    // Keeps a camera's clock correction for folder, replacing the one of the
    // same camera and time mode, or removes it. Never touches a picture.
    virtual std::future<DbError> change_clock_correction(const QString& folder,
                                                         ClockCorrection correction,
                                                         bool remove) = 0;
    // The folder's time_log.txt was read back: it is not read again.
    virtual void remember_read_back(const QString& folder) = 0;
    // The captions in the folder's pictures were offered: not again. (A store
    // that cannot remember it offers them at each opening.)
    virtual void remember_captions_offered(const QString& folder) { (void)folder; }
    // Keeps the folder's store aside (and the state folder's copy): the next
    // comment starts a new one. The names it was kept under, or an issue.
    virtual std::future<std::vector<StoreIssue>> start_afresh(const QString& folder) = 0;
    // Ready when everything asked for so far is done.
    virtual std::future<void> settled() = 0;
    // The program is ending: what the store does in the picture folder
    // (waiting for another program's lock, a statement on a slow card) stops,
    // and the changes still to be stored go to the state folder's copy,
    // given back to the folder the next time it opens.
    virtual void hurry() {}
    // Blocks until everything asked for so far is done.
    virtual void wait_idle() = 0;
    // The photo diary's title kept for folder (its meta table); empty when
    // none was kept. A store that keeps none gives none.
    virtual std::future<QString> diary_title(const QString& folder);
    // Keeps title as folder's photo diary title.
    virtual void keep_diary_title(const QString& folder, const QString& title);
};

}  // namespace fotavi
