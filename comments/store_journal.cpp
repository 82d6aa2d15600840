// How the store's changes reach the disk: the journal it keeps, chosen by
// the file system it is on, and the files that go with it.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include "comments/store_file.h"
#include "comments/store_place.h"
#include "platform/file_system.h"
#include "platform/files.h"

namespace fotavi {

// Chosen before the first write of this connection, so that a store only
// read, or found damaged, stays as it was. On a disk or card of this
// machine, the write-ahead log: a save appends its pages to the log and
// syncs it once, and the log goes back into the store now and then. On a
// network share, whose locks and shared memory other machines do not see,
// the rollback journal. Each save is on the disk before its commit returns
// either way (synchronous FULL), so a card pulled right after a save keeps it.
DbError StoreFile::choose_journal() {
    if (journal_chosen_ || db_.read_only()) return {};
    const QString path = QFile::decodeName(sqlite3_db_filename(db_.handle(), "main"));
    write_ahead_ = is_local_file_system(QFileInfo(path).absolutePath());
    DbError error =
        db_.exec(write_ahead_ ? "PRAGMA journal_mode = WAL" : "PRAGMA journal_mode = DELETE");
    // A store another window uses with its write-ahead log cannot be turned
    // back from a share: it counts as held until that window closes it.
    if (!error && !write_ahead_) {
        Statement mode(db_, "PRAGMA journal_mode");
        if (mode.next() && mode.text(0) != QLatin1String("delete"))
            error = {DbError::Kind::Locked, 0};
    }
    if (!error) error = db_.exec("PRAGMA synchronous = FULL");
    journal_chosen_ = !error;
    if (error) write_ahead_ = false;
    return error;
}

// The last connection leaves the store a plain file with its rollback
// journal setting, so that it opens on a read-only card and on a share; its
// log goes back into it first. Another window still using it keeps the log.
void StoreFile::close() {
    if (db_.is_open() && write_ahead_ && !db_.read_only()) {
        if (db_.file_moved()) {
            // Renamed or removed under us: closing must not remove the log
            // and shared memory files by their names, which may be another
            // store's by now.
            db_.keep_write_ahead_files();
        } else {
            db_.exec("PRAGMA journal_mode = DELETE");
        }
    }
    write_ahead_ = journal_chosen_ = false;
    db_.close();
}

void StoreFile::close_as_found() {
    db_.keep_as_found();
    write_ahead_ = journal_chosen_ = false;
    db_.close();
}

void move_companions(const QString& path, const QString& new_name) {
    const QDir dir = QFileInfo(path).dir();
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        rename_no_replace(QFile::encodeName(path + QLatin1String(suffix)),
                          QFile::encodeName(dir.filePath(new_name + QLatin1String(suffix))));
    }
}

}  // namespace fotavi
