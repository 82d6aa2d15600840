#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <QStringList>

#include <atomic>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace fotavi {

// What went wrong with a database file, as plain values: the commands turn
// it into a sentence.
struct DbError {
    enum class Kind {
        None,
        Link,     // a symbolic link at the name
        Folder,   // a folder at the name
        Special,  // a FIFO, a device or a socket at the name
        NotOurs,  // not an SQLite database, or another program's
        Damaged,  // the integrity check fails
        Newer,    // written by a newer version of this program
        Locked,   // another program holds it for longer than the wait
        Io,       // the system refused: permission, read-only medium, full disk, gone
        Other,
        Stopped,    // a statement ran past the bound every statement has
        Cancelled,  // the program asked the store to stop (it is ending)
    };
    Kind kind = Kind::None;
    int error_number = 0;  // the errno behind it, where the system gave one
    int code = 0;          // SQLite's primary result code, where SQLite gave one
    explicit operator bool() const { return kind != Kind::None; }
};

// How far one statement may run: a number of SQLite's virtual machine steps
// (independent of the disk's speed), and a flag that stops it, and any wait
// for another program's lock, at once.
struct StatementBound {
    // Well above what integrity_check takes on a store of fifty thousand
    // pictures; a planted query that never ends stops after a few seconds.
    qint64 steps = 500'000'000;
    const std::atomic<bool>* cancel = nullptr;  // set: every statement stops
    // How long another program's lock is waited for before the store counts
    // as held; the wait happens on a worker, never in the window.
    int lock_wait_milliseconds = 4000;
};

// One open SQLite connection, used on one thread. Every call reports through
// its result; the connection never throws.
//
// The connection trusts nothing in the file: the file's schema cannot run
// SQL of its own (triggers and views off, defensive mode, no untrusted
// functions), values and statements are limited in size, pages are checked
// as they are read, nothing is memory-mapped, and every statement is bounded.
class Db {
public:
    Db() = default;
    ~Db();
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // Sets the bound of the statements to come; before or after open.
    void set_bound(const StatementBound& bound) { bound_ = bound; }
    const StatementBound& bound() const { return bound_; }
    // Opens path (never through a symbolic link); with create, makes it when missing.
    DbError open(const QString& path, bool writable, bool create);
    void close();
    bool is_open() const { return db_ != nullptr; }
    // SQLite opens a file it may not write read-only, without a word.
    bool read_only() const;
    sqlite3* handle() const { return db_; }

    // Runs statements that return no rows.
    DbError exec(const char* sql);
    // The single integer a query gives, or nothing.
    std::optional<qint64> integer(const char* sql);
    // The error of the last failed call on this connection.
    DbError last_error() const;
    // Whether the file was renamed or removed since it was opened.
    bool file_moved() const;
    // Closing will not remove the write-ahead log and its shared memory
    // file by their names (the file was moved: the names are no longer its).
    void keep_write_ahead_files();
    // Closing will change nothing in the file: its write-ahead log is
    // neither played into it nor removed.
    void keep_as_found();
    // The objects the file's schema holds, one "type|name|table|sql" line
    // each, sorted; nothing when it cannot be read.
    std::optional<QStringList> schema();
    // The objects the statements in sql make in an empty database.
    static QStringList schema_made_by(const char* sql);

    // Called before each statement runs: its bound starts anew.
    void start_statement();

private:
    static int on_progress(void* self);
    static int on_busy(void* self, int count);
    void apply_defences();

    sqlite3* db_ = nullptr;
    StatementBound bound_;
    qint64 steps_taken_ = 0;
    QElapsedTimer busy_since_;
    DbError::Kind stopped_ = DbError::Kind::None;  // why the last statement was stopped
};

// A prepared statement; binds by position from 1.
class Statement {
public:
    Statement(Db& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int at, qint64 value);
    Statement& bind(int at, const QString& text);
    Statement& bind(int at, const QByteArray& blob);
    Statement& bind_null(int at);
    // Steps once: true while a row is there; done() tells a clean end.
    bool next();
    bool done() const { return rc_ == 101 /* SQLITE_DONE */; }
    // Runs a statement that returns no rows; false on failure.
    bool run();
    void reset();

    qint64 integer(int column) const;
    bool is_null(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;

private:
    Db& db_;
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = 0;
};

}  // namespace fotavi
