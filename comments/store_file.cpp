#include "comments/store_file.h"

#include <QDateTime>

#include <algorithm>
#include <iterator>

namespace fotavi {

namespace {

// "FOTV": tells a store of ours from any other SQLite database under its name.
constexpr qint64 kApplicationId = 0x464F5456;

constexpr char kSchema[] = R"(
CREATE TABLE picture (
    id INTEGER PRIMARY KEY,
    name BLOB NOT NULL UNIQUE,
    size INTEGER NOT NULL,
    mtime_ns INTEGER NOT NULL,
    capture INTEGER,
    capture_read INTEGER NOT NULL,
    comment TEXT NOT NULL,
    logged TEXT NOT NULL,
    version INTEGER NOT NULL,
    base TEXT NOT NULL,
    writer INTEGER NOT NULL,
    changed_at INTEGER NOT NULL
);
CREATE INDEX picture_by_version ON picture (version);
CREATE TABLE history (
    id INTEGER PRIMARY KEY,
    name BLOB NOT NULL,
    comment TEXT NOT NULL,
    reason TEXT NOT NULL,
    writer INTEGER NOT NULL,
    replaced_at INTEGER NOT NULL
);
CREATE TABLE meta (key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);
INSERT INTO meta VALUES ('counter', '0');
PRAGMA application_id = 1179604054;
)";

// The cameras whose clocks were set wrong: seconds added to the times of
// their pictures, in the time mode (0: file times, 1: capture times) the
// correction was made in. Version 2 of the store added it: a version 1
// store gets it when it is first opened for writing.
constexpr char kClockTable[] = R"(
CREATE TABLE clock_correction (
    camera TEXT NOT NULL,
    capture_mode INTEGER NOT NULL,
    seconds INTEGER NOT NULL,
    PRIMARY KEY (camera, capture_mode)
);
PRAGMA user_version = 2;
)";

// Version 3: a comment that time_log.txt holds as it is marks its row instead
// of keeping a second copy, so a List rewrites only the rows whose comment
// changed since the last one, and the store stays about the size of its
// comments.
constexpr char kLoggedAsComment[] = R"(
ALTER TABLE picture ADD COLUMN logged_is_comment INTEGER NOT NULL DEFAULT 0;
PRAGMA user_version = 3;
)";

// What each version adds to the one before it, from version 1 on.
constexpr const char* kSteps[] = {kSchema, kClockTable, kLoggedAsComment};
static_assert(std::size(kSteps) == kStoreVersion);

// The columns read, by the store's version: before version 3 the logged
// text was always written out.
QByteArray columns(qint64 version) {
    return QByteArray("name, size, mtime_ns, capture, capture_read, comment, ") +
           (version < 3 ? "logged" : "CASE WHEN logged_is_comment THEN comment ELSE logged END") +
           ", version, base, writer";
}

// The objects of a store of ours of version, made from the very text that
// creates them: an older store is checked as it is before it is upgraded.
const QStringList& our_schema(qint64 version) {
    static const std::vector<QStringList> schemas = [] {
        std::vector<QStringList> made;
        for (int v = 1; v <= kStoreVersion; ++v)
            made.push_back(Db::schema_made_by(StoreFile::schema_text(v).constData()));
        return made;
    }();
    return schemas[size_t(std::clamp<qint64>(version, 1, kStoreVersion) - 1)];
}

StoredComment read_row(const Statement& query) {
    StoredComment row;
    row.name = query.blob(0);
    row.size = query.integer(1);
    row.mtime_ns = query.integer(2);
    if (!query.is_null(3)) row.capture = query.integer(3);
    row.capture_read = query.integer(4) != 0;
    row.comment = query.text(5);
    row.logged = query.text(6);
    row.version = query.integer(7);
    row.base = query.text(8);
    row.writer = query.integer(9);
    return row;
}

}  // namespace

QString history_reason_text(HistoryReason reason) {
    switch (reason) {
        case HistoryReason::OtherWindow:
            return QStringLiteral("別のウィンドウで書き換えられた");
        case HistoryReason::ReplacedPicture:
            return QStringLiteral("同じ名前の別の写真に置き換わった");
        case HistoryReason::Merged:
            return QStringLiteral("状態フォルダの控えと合わせた");
        case HistoryReason::Imported:
            return QStringLiteral("以前の形式から取り込んだ");
        case HistoryReason::RenamedOver:
            return QStringLiteral("小文字にした名前と重なった");
    }
    return {};
}

QByteArray StoreFile::schema_text(int version) {
    QByteArray text;
    for (int v = 1; v <= version && v <= kStoreVersion; ++v) text += kSteps[v - 1];
    return text;
}

DbError StoreFile::open(const QString& path, bool writable, bool create) {
    if (DbError error = db_.open(path, writable, create)) return error;
    const std::optional<qint64> id = db_.integer("PRAGMA application_id");
    const std::optional<qint64> version = db_.integer("PRAGMA user_version");
    const std::optional<qint64> tables = db_.integer("SELECT count(*) FROM sqlite_schema");
    DbError error;
    if (!id || !version || !tables) {
        error = db_.last_error();
        if (!error) error = {DbError::Kind::NotOurs, 0};
    } else if (*id == 0 && *version == 0 && *tables == 0) {
        // A new file, or one cut off before its tables were made.
        if (writable && !db_.read_only()) error = create_tables();
    } else if (*id != kApplicationId || *version < 1) {
        error = {DbError::Kind::NotOurs, 0};
    } else if (*version > kStoreVersion) {
        error = {DbError::Kind::Newer, 0};
    } else if (const std::optional<QStringList> schema = db_.schema(); !schema) {
        error = db_.last_error();
        if (!error) error = {DbError::Kind::NotOurs, 0};
    } else if (*schema != our_schema(*version)) {
        error = {DbError::Kind::NotOurs, 0};
    } else if (*version < kStoreVersion && writable && !db_.read_only()) {
        // A store that cannot be upgraded now (another program holds it)
        // keeps its comments all the same; only its clocks stay uncorrected.
        upgrade(*version);
    }
    if (!error) version_ = db_.integer("PRAGMA user_version").value_or(0);
    if (error) db_.close();
    return error;
}

DbError StoreFile::create_tables() {
    // A row is a few hundred bytes. A save writes each page it changes to
    // the log as a frame of the page and 24 bytes: with 2 KB pages the frames
    // of a save fill fewer of the disk's 4 KB pages than with 4 KB ones,
    // while reading stays as fast.
    db_.exec("PRAGMA page_size = 2048");
    if (DbError error = db_.exec("BEGIN IMMEDIATE")) return error;
    if (DbError error = db_.exec(schema_text(kStoreVersion).constData())) {
        rollback();
        return error;
    }
    return commit();
}

DbError StoreFile::upgrade(qint64 from) {
    if (DbError error = db_.exec("BEGIN IMMEDIATE")) return error;
    for (qint64 v = from + 1; v <= kStoreVersion; ++v) {
        if (DbError error = db_.exec(kSteps[v - 1])) {
            rollback();
            return error;
        }
    }
    return commit();
}

std::vector<ClockCorrection> StoreFile::clock_corrections(DbError* error) {
    std::vector<ClockCorrection> corrections;
    *error = {};
    // A version 1 store opened read-only has no corrections.
    if (version_ < 2) return corrections;
    Statement query(db_, R"(SELECT camera, capture_mode, seconds FROM clock_correction
                            WHERE typeof(camera) = 'text' ORDER BY camera, capture_mode)");
    while (query.next())
        corrections.push_back({query.text(0), query.integer(1) != 0, query.integer(2)});
    if (!query.done()) *error = db_.last_error();
    return corrections;
}

bool StoreFile::set_clock_correction(const ClockCorrection& correction) {
    Statement upsert(db_, R"(INSERT INTO clock_correction (camera, capture_mode, seconds)
                             VALUES (?1, ?2, ?3) ON CONFLICT (camera, capture_mode)
                             DO UPDATE SET seconds = excluded.seconds)");
    upsert.bind(1, correction.camera).bind(2, qint64(correction.capture_time));
    upsert.bind(3, correction.seconds);
    return upsert.run();
}

bool StoreFile::remove_clock_correction(const QString& camera, bool capture_time) {
    Statement erase(db_, "DELETE FROM clock_correction WHERE camera = ?1 AND capture_mode = ?2");
    erase.bind(1, camera).bind(2, qint64(capture_time));
    return erase.run();
}

DbError StoreFile::check() {
    // The full check, so an index that disagrees with its table is damage too.
    Statement query(db_, "PRAGMA integrity_check(1)");
    if (!query.ok()) return db_.last_error();
    if (!query.next()) return query.done() ? DbError{} : db_.last_error();
    if (query.text(0) != QLatin1String("ok")) return {DbError::Kind::Damaged, 0};
    return {};
}

std::vector<StoredComment> StoreFile::rows(qint64 after_version, DbError* error) {
    std::vector<StoredComment> rows;
    // A name that is not bytes was not written by this program: it names no file.
    const QByteArray sql = "SELECT " + columns(version_) +
                           " FROM picture WHERE version > ?1 AND typeof(name) = 'blob' "
                           "ORDER BY version";
    Statement query(db_, sql.constData());
    query.bind(1, after_version);
    while (query.next()) rows.push_back(read_row(query));
    *error = query.done() ? DbError{} : db_.last_error();
    return rows;
}

std::optional<StoredComment> StoreFile::row(const QByteArray& name, DbError* error) {
    const QByteArray sql = "SELECT " + columns(version_) + " FROM picture WHERE name = ?1";
    Statement query(db_, sql.constData());
    query.bind(1, name);
    if (query.next()) {
        *error = {};
        return read_row(query);
    }
    *error = query.done() ? DbError{} : db_.last_error();
    return std::nullopt;
}

qint64 StoreFile::last_version() {
    return meta(QStringLiteral("counter")).value_or(QString()).toLongLong();
}

bool StoreFile::has_text() {
    return db_.integer("SELECT EXISTS (SELECT 1 FROM picture WHERE comment <> '' OR logged <> '')")
               .value_or(0) != 0;
}

DbError StoreFile::begin() {
    version_in_transaction_ = 0;
    if (DbError error = choose_journal()) return error;
    return db_.exec("BEGIN IMMEDIATE");
}

DbError StoreFile::commit() {
    version_in_transaction_ = 0;
    const DbError error = db_.exec("COMMIT");
    if (error) rollback();
    return error;
}

void StoreFile::rollback() {
    version_in_transaction_ = 0;
    db_.exec("ROLLBACK");
}

qint64 StoreFile::next_version() {
    if (version_in_transaction_ == 0) {
        version_in_transaction_ = last_version() + 1;
        set_meta(QStringLiteral("counter"), QString::number(version_in_transaction_));
    }
    return version_in_transaction_;
}

bool StoreFile::put(const StoredComment& row) {
    // A store whose upgrade could not be made yet (another program held it)
    // keeps writing its logged texts out.
    const bool marks = version_ >= 3;
    Statement upsert(db_, marks ? R"(
        INSERT INTO picture (name, size, mtime_ns, capture, capture_read, comment, logged,
                             version, base, writer, changed_at, logged_is_comment)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)
        ON CONFLICT (name) DO UPDATE SET
            size = excluded.size, mtime_ns = excluded.mtime_ns, capture = excluded.capture,
            capture_read = excluded.capture_read, comment = excluded.comment,
            logged = excluded.logged, version = excluded.version, base = excluded.base,
            writer = excluded.writer, changed_at = excluded.changed_at,
            logged_is_comment = excluded.logged_is_comment)"
                                : R"(
        INSERT INTO picture (name, size, mtime_ns, capture, capture_read, comment, logged,
                             version, base, writer, changed_at)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)
        ON CONFLICT (name) DO UPDATE SET
            size = excluded.size, mtime_ns = excluded.mtime_ns, capture = excluded.capture,
            capture_read = excluded.capture_read, comment = excluded.comment,
            logged = excluded.logged, version = excluded.version, base = excluded.base,
            writer = excluded.writer, changed_at = excluded.changed_at)");
    upsert.bind(1, row.name).bind(2, row.size).bind(3, row.mtime_ns);
    if (row.capture)
        upsert.bind(4, *row.capture);
    else
        upsert.bind_null(4);
    const bool logged_is_comment = marks && row.logged == row.comment;
    upsert.bind(5, qint64(row.capture_read)).bind(6, row.comment);
    upsert.bind(7, logged_is_comment ? QString() : row.logged);
    if (marks) upsert.bind(12, qint64(logged_is_comment));
    upsert.bind(8, row.version).bind(9, row.base).bind(10, row.writer);
    upsert.bind(11, QDateTime::currentMSecsSinceEpoch());  // for people; never compared
    return upsert.run();
}

bool StoreFile::rename(const QByteArray& from, const QByteArray& to) {
    Statement update(db_, "UPDATE picture SET name = ?2, version = ?3 WHERE name = ?1");
    update.bind(1, from).bind(2, to).bind(3, next_version());
    return update.run();
}

bool StoreFile::remove(const QByteArray& name) {
    Statement erase(db_, "DELETE FROM picture WHERE name = ?1");
    erase.bind(1, name);
    return erase.run();
}

bool StoreFile::add_history(const QByteArray& name, const QString& comment, HistoryReason reason,
                            qint64 writer) {
    if (comment.isEmpty()) return true;  // nothing was lost
    Statement insert(db_, R"(INSERT INTO history (name, comment, reason, writer, replaced_at)
                             VALUES (?1, ?2, ?3, ?4, ?5))");
    insert.bind(1, name).bind(2, comment).bind(3, history_reason_text(reason)).bind(4, writer);
    insert.bind(5, QDateTime::currentMSecsSinceEpoch());
    return insert.run();
}

int StoreFile::replaced_since(qint64 writer, qint64* last_id) {
    Statement query(db_, R"(SELECT count(*), coalesce(max(id), ?2) FROM history
                            WHERE writer = ?1 AND id > ?2 AND reason = ?3)");
    query.bind(1, writer).bind(2, *last_id);
    query.bind(3, history_reason_text(HistoryReason::OtherWindow));
    if (!query.next()) return 0;
    *last_id = query.integer(1);
    return int(query.integer(0));
}

std::optional<QString> StoreFile::meta(const QString& key) {
    Statement query(db_, "SELECT value FROM meta WHERE key = ?1");
    query.bind(1, key);
    if (!query.next()) return std::nullopt;
    return query.text(0);
}

bool StoreFile::set_meta(const QString& key, const QString& value) {
    if (choose_journal()) return false;
    // An update in place: a replacement would also rewrite the key's index.
    Statement upsert(db_, R"(INSERT INTO meta (key, value) VALUES (?1, ?2)
                             ON CONFLICT (key) DO UPDATE SET value = excluded.value)");
    upsert.bind(1, key).bind(2, value);
    return upsert.run();
}

}  // namespace fotavi
