#include "comments/sqlite.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include <sqlite3.h>
#include <sys/stat.h>

namespace fotavi {

namespace {

// How often SQLite asks whether a statement may go on, in its machine steps.
constexpr int kStepsPerCheck = 1000;

// Limits far above what the store needs: a comment is at most 65,536
// characters, a statement of ours a few hundred bytes.
constexpr std::pair<int, int> kLimits[] = {
    {SQLITE_LIMIT_LENGTH, 4 * 1024 * 1024},
    {SQLITE_LIMIT_SQL_LENGTH, 100'000},
    {SQLITE_LIMIT_COLUMN, 100},
    {SQLITE_LIMIT_EXPR_DEPTH, 100},
    {SQLITE_LIMIT_COMPOUND_SELECT, 10},
    {SQLITE_LIMIT_VDBE_OP, 25'000},
    {SQLITE_LIMIT_FUNCTION_ARG, 8},
    {SQLITE_LIMIT_ATTACHED, 0},
    {SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 100},
    {SQLITE_LIMIT_VARIABLE_NUMBER, 32},
    {SQLITE_LIMIT_TRIGGER_DEPTH, 1},
    {SQLITE_LIMIT_WORKER_THREADS, 0},
};

DbError kind_of(int rc, int error_number) {
    using Kind = DbError::Kind;
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return {};
        case SQLITE_NOTADB:
            return {Kind::NotOurs, 0};
        case SQLITE_CORRUPT:
            return {Kind::Damaged, 0};
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return {Kind::Locked, 0};
        case SQLITE_FULL:
            return {Kind::Io, error_number != 0 ? error_number : ENOSPC};
        case SQLITE_READONLY:
            return {Kind::Io, error_number != 0 ? error_number : EROFS};
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return {Kind::Io, error_number != 0 ? error_number : EACCES};
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
            return {Kind::Io, error_number != 0 ? error_number : EIO};
        case SQLITE_NOMEM:
            return {Kind::Io, ENOMEM};
        case SQLITE_NOLFS:
            return {Kind::Io, EFBIG};
        default:
            return {Kind::Other, error_number};
    }
}

DbError classify(int rc, int error_number) {
    DbError error = kind_of(rc, error_number);
    if (error) error.code = rc & 0xFF;
    return error;
}

}  // namespace

Db::~Db() { close(); }

DbError Db::open(const QString& path, bool writable, bool create) {
    close();
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        // A FIFO would block the first read for ever, a link may point anywhere.
        if (S_ISLNK(st.st_mode)) return {DbError::Kind::Link, 0};
        if (S_ISDIR(st.st_mode)) return {DbError::Kind::Folder, 0};
        if (!S_ISREG(st.st_mode)) return {DbError::Kind::Special, 0};
    } else if (errno != ENOENT || !create) {
        return {DbError::Kind::Io, errno};
    }
    const int flags = SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX |
                      (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) |
                      (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(name.constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const DbError error = classify(rc, db_ ? sqlite3_system_errno(db_) : 0);
        close();
        return error;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_handler(db_, &Db::on_busy, this);
    apply_defences();
    return {};
}

// As SQLite advises for application files that may come from anyone: a
// store planted in a picture folder must not run anything of its own.
void Db::apply_defences() {
    for (const int option : {SQLITE_DBCONFIG_ENABLE_TRIGGER, SQLITE_DBCONFIG_ENABLE_VIEW,
                             SQLITE_DBCONFIG_TRUSTED_SCHEMA, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION})
        sqlite3_db_config(db_, option, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    for (const auto& [limit, value] : kLimits) sqlite3_limit(db_, limit, value);
    sqlite3_progress_handler(db_, kStepsPerCheck, &Db::on_progress, this);
    // Connection settings only: neither reads a row.
    sqlite3_exec(db_, "PRAGMA cell_size_check = ON; PRAGMA mmap_size = 0", nullptr, nullptr,
                 nullptr);
}

void Db::start_statement() {
    steps_taken_ = 0;
    stopped_ = DbError::Kind::None;
}

// Waits for another program's lock in short steps, so that the end of the
// program need not wait out the whole of it.
int Db::on_busy(void* self, int count) {
    Db* db = static_cast<Db*>(self);
    if (count == 0) db->busy_since_.start();
    if (db->bound_.cancel && db->bound_.cancel->load()) {
        db->stopped_ = DbError::Kind::Cancelled;
        return 0;
    }
    if (db->busy_since_.elapsed() >= db->bound_.lock_wait_milliseconds) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 1;
}

int Db::on_progress(void* self) {
    Db* db = static_cast<Db*>(self);
    if (db->bound_.cancel && db->bound_.cancel->load()) {
        db->stopped_ = DbError::Kind::Cancelled;
        return 1;
    }
    db->steps_taken_ += kStepsPerCheck;
    if (db->steps_taken_ <= db->bound_.steps) return 0;
    db->stopped_ = DbError::Kind::Stopped;
    return 1;
}

void Db::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

DbError Db::exec(const char* sql) {
    if (!db_) return {DbError::Kind::Other, 0};
    start_statement();
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return {};
    return last_error();
}

std::optional<qint64> Db::integer(const char* sql) {
    Statement query(*this, sql);
    if (!query.ok() || !query.next()) return std::nullopt;
    return query.integer(0);
}

DbError Db::last_error() const {
    if (!db_) return {DbError::Kind::Other, 0};
    const int rc = sqlite3_extended_errcode(db_);
    const int code = rc & 0xFF;
    if ((code == SQLITE_INTERRUPT || code == SQLITE_BUSY) && stopped_ != DbError::Kind::None)
        return {stopped_, 0, code};
    return classify(rc, sqlite3_system_errno(db_));
}

bool Db::read_only() const { return db_ && sqlite3_db_readonly(db_, "main") == 1; }

bool Db::file_moved() const {
    int moved = 0;
    if (!db_ || sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK)
        return false;
    return moved != 0;
}

void Db::keep_write_ahead_files() {
    int keep = 1;
    if (db_) sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
}

void Db::keep_as_found() {
    if (!db_) return;
    keep_write_ahead_files();
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

std::optional<QStringList> Db::schema() {
    Statement query(*this, "SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_schema");
    QStringList objects;
    while (query.next())
        objects << QStringList{query.text(0), query.text(1), query.text(2), query.text(3)}.join(
            QLatin1Char('|'));
    if (!query.done()) return std::nullopt;
    objects.sort();
    return objects;
}

QStringList Db::schema_made_by(const char* sql) {
    Db memory;
    if (sqlite3_open_v2(":memory:", &memory.db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY,
                        nullptr) != SQLITE_OK)
        return {};
    memory.apply_defences();
    memory.exec(sql);
    return memory.schema().value_or(QStringList());
}

Statement::Statement(Db& db, const char* sql) : db_(db) {
    db.start_statement();
    if (db.handle()) sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int at, qint64 value) {
    if (stmt_) sqlite3_bind_int64(stmt_, at, value);
    return *this;
}

Statement& Statement::bind(int at, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    if (stmt_) sqlite3_bind_text(stmt_, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int at, const QByteArray& blob) {
    // An empty blob is still a value, never NULL.
    if (stmt_) sqlite3_bind_blob(stmt_, at, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind_null(int at) {
    if (stmt_) sqlite3_bind_null(stmt_, at);
    return *this;
}

bool Statement::next() {
    if (!stmt_) return false;
    db_.start_statement();
    rc_ = sqlite3_step(stmt_);
    return rc_ == SQLITE_ROW;
}

bool Statement::run() {
    next();
    const bool ok = done();
    reset();
    return ok;
}

void Statement::reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

qint64 Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::is_null(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

QString Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(stmt_, column));
}

QByteArray Statement::blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return QByteArray(data, sqlite3_column_bytes(stmt_, column));
}

}  // namespace fotavi
