#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "comments/sqlite.h"
#include "pictures/clock_correction.h"

namespace fotavi {

// The file beside the pictures that keeps their comments between runs.
inline constexpr char kStoreName[] = "fotavi_comments.sqlite";
// The meta table's key that says the captions in the folder's pictures were offered.
inline constexpr char kCaptionsOffered[] = "captions offered";
// The schema's version, kept in PRAGMA user_version.
inline constexpr int kStoreVersion = 3;

// What the store holds of one picture.
struct StoredComment {
    QByteArray name;  // the file name, byte for byte as the folder lists it
    // The picture when its comment was stored: finds it again after a rename
    // outside the program, and tells a new picture under an old name.
    qint64 size = -1;
    qint64 mtime_ns = 0;
    std::optional<qint64> capture;  // EXIF capture time, seconds since 1899-12-30
    bool capture_read = false;      // whether capture was looked for
    QString comment;                // as typed, line breaks as LF
    QString logged;                 // the comment as time_log.txt holds it
    qint64 version = 0;             // the store's order of changes
    qint64 writer = 0;              // the window that made the change
    // In a copy in the state folder: the text the store beside the pictures
    // had when this comment was changed from it; it tells an edit from a
    // conflict when the copy goes back.
    QString base;
    bool operator==(const StoredComment&) const = default;
};

// Why a text left its picture's row; it stays in the history table.
enum class HistoryReason { OtherWindow, ReplacedPicture, Merged, Imported, RenamedOver };

// One store file. Used on one thread; every change runs inside begin/commit.
//
// Tables: picture (one row a picture by name: its size, modification time,
// capture time, comment, what time_log.txt holds, and version, the store's
// own counter of changes), history (every text the store replaced, with why
// and whose it was), meta (the counter, imports done), clock_correction (the
// cameras whose clocks were wrong, and by how much).
class StoreFile {
public:
    // Opens the store at path; with create, makes it and its tables when
    // missing. Anything else at path (not SQLite, another program's database,
    // a newer version) is an error, and the file is left as it is.
    //
    // A store is ours only when its schema is exactly the one this program
    // makes: anything more or different (a trigger, a view, an index, a
    // column, a CHECK) is another program's, found before any statement of
    // ours touches a row.
    DbError open(const QString& path, bool writable, bool create);
    // How far each statement may run; see StatementBound.
    void set_bound(const StatementBound& bound) { db_.set_bound(bound); }
    // How long another program's lock is waited for, from now on.
    void set_lock_wait(int milliseconds) {
        StatementBound bound = db_.bound();
        bound.lock_wait_milliseconds = milliseconds;
        db_.set_bound(bound);
    }
    ~StoreFile() { close(); }
    // Closes it; the last window to close a store it wrote leaves no log
    // beside it.
    void close();
    // Closes it leaving the file and its log exactly as they are: a store
    // about to be set aside.
    void close_as_found();
    bool is_open() const { return db_.is_open(); }
    bool read_only() const { return db_.read_only(); }
    // The integrity check; Damaged when it fails.
    DbError check();
    // Whether the file was renamed or removed since it was opened.
    bool moved() const { return db_.file_moved(); }

    // The rows changed after version (all rows for 0).
    std::vector<StoredComment> rows(qint64 after_version, DbError* error);
    std::optional<StoredComment> row(const QByteArray& name, DbError* error);
    // The store's last version.
    qint64 last_version();
    // Whether it holds anything worth reading: a comment or a logged text.
    bool has_text();

    DbError begin();
    DbError commit();
    void rollback();
    // Inside a transaction: the version this transaction's changes get.
    qint64 next_version();
    bool put(const StoredComment& row);
    bool rename(const QByteArray& from, const QByteArray& to);
    bool remove(const QByteArray& name);
    bool add_history(const QByteArray& name, const QString& comment, HistoryReason reason,
                     qint64 writer);
    // Texts of writer the store replaced after history entry *last_id; moves
    // *last_id to the newest entry.
    int replaced_since(qint64 writer, qint64* last_id);

    // The clock corrections of the folder's cameras.
    std::vector<ClockCorrection> clock_corrections(DbError* error);
    // Inside a transaction: keeps or replaces a camera's correction in its mode.
    bool set_clock_correction(const ClockCorrection& correction);
    bool remove_clock_correction(const QString& camera, bool capture_time);

    std::optional<QString> meta(const QString& key);
    bool set_meta(const QString& key, const QString& value);

    DbError last_error() const { return db_.last_error(); }

    // The statements that make an empty store of version (1 to kStoreVersion).
    static QByteArray schema_text(int version);

private:
    DbError create_tables();
    DbError choose_journal();
    DbError upgrade(qint64 from);
    qint64 version_in_transaction_ = 0;
    qint64 version_ = 0;  // of the open store's schema
    // The journal was chosen at the first write: a store that is only read
    // (or found damaged) is left byte for byte as it was.
    bool journal_chosen_ = false;
    bool write_ahead_ = false;  // it keeps a write-ahead log beside it
    Db db_;
};

// The reason as the history table holds it, in Japanese for whoever reads it.
QString history_reason_text(HistoryReason reason);

}  // namespace fotavi
