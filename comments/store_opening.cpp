#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "comments/json_import.h"
#include "comments/picture_match.h"
#include "comments/store_place.h"

namespace fotavi {

namespace {

// An old journal larger than this is not one of ours: fifty thousand
// pictures with long comments stay far below it.
constexpr qint64 kOldJournalLimit = 512LL * 1024 * 1024;

// Another program's lock on the folder's store is waited for this long when
// the folder opens, since the store is tried again in the background; saves
// wait longer.
constexpr int kOpeningLockWait = 500;
constexpr int kSavingLockWait = StatementBound().lock_wait_milliseconds;

using Rows = std::vector<StoredComment>;

int index_of(const Rows& rows, const QByteArray& name) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return int(i);
    return -1;
}

// Sets a file that is not a store of ours aside under a dated name beside it,
// with its journal or log (move_companions).
StoreIssue set_aside(const QString& path, const DbError& problem) {
    StoreIssue issue{path, problem, {}, 0};
    // Held, refused by the system, or stopped because the program ends: the
    // file may well be sound.
    if (problem.kind == DbError::Kind::Locked || problem.kind == DbError::Kind::Io ||
        problem.kind == DbError::Kind::Cancelled)
        return issue;
    const QFileInfo info(path);
    const QString tag = problem.kind == DbError::Kind::Newer ? QStringLiteral("-newer-")
                                                             : QStringLiteral("-damaged-");
    const QString suffix = QLatin1Char('.') + info.suffix();
    const Aside aside =
        keep_aside(path, dated_stem(info.completeBaseName() + tag, QDateTime::currentDateTime()),
                   suffix, AsideHow::Move);
    if (!aside.ok()) {
        issue.aside_error = aside.error;
        return issue;
    }
    issue.kept_as = aside.name;
    move_companions(path, aside.name);
    return issue;
}

// Opens the store at path when there is a file there; what is not a store of
// ours is set aside and named in issues. Its rows go to rows.
void open_existing(StoreFile& file, const QString& path, bool* writable, Rows& rows,
                   std::vector<StoreIssue>& issues) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return;
    *writable = true;
    DbError error = file.open(path, true, false);
    if (error.kind == DbError::Kind::Io) {  // a file we may only read
        *writable = false;
        error = file.open(path, false, false);
    }
    if (!error && file.read_only()) *writable = false;  // a read-only card or folder
    if (!error) error = file.check();
    if (!error) rows = file.rows(0, &error);
    if (error) {
        file.close_as_found();
        rows.clear();
        issues.push_back(set_aside(path, error));
    }
}

QByteArray read_old_journal(const QString& path, bool* present) {
    struct stat st {};
    *present = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
    if (!*present) return {};
    // Only a regular file of sane size, never through a link: a name swapped
    // for a FIFO after the look would otherwise hold the read.
    return read_small_file_at(AT_FDCWD, QFile::encodeName(path), kOldJournalLimit, false).bytes;
}

// Takes in the journals of the version before, each once (a journal that
// could not be renamed is known by its hash), and keeps them aside.
void import_old_journals(StorePlace& place, const QString& state_dir, Rows& rows, StoreLoad& load) {
    const QString paths[] = {QDir(place.folder).filePath(QString::fromLatin1(kOldJournalName)),
                             state_store_path(state_dir, place.folder, QStringLiteral(".json"))};
    for (const QString& path : paths) {
        bool present = false;
        const QByteArray bytes = read_old_journal(path, &present);
        if (!present) continue;
        const OldJournal old = parse_old_journal(bytes);
        if (old.rows.empty() || old.newer) {
            load.issues.push_back(
                set_aside(path, {old.newer ? DbError::Kind::Newer : DbError::Kind::Damaged, 0}));
            if (old.rows.empty()) continue;
        }
        DbError error;
        StoreFile* target = place.target(&error);
        const QString key =
            QStringLiteral("imported:") +
            QString::fromLatin1(
                QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        if (!target || target->meta(key) || target->begin()) continue;
        const qint64 version = target->next_version();
        for (StoredComment row : old.rows) {
            const int at = index_of(rows, row.name);
            if (at >= 0 && !rows[size_t(at)].comment.isEmpty() &&
                rows[size_t(at)].comment != row.comment) {
                target->add_history(row.name, row.comment, HistoryReason::Imported, place.writer);
                continue;
            }
            row.version = version;
            row.writer = place.writer;
            target->put(row);
            if (at >= 0)
                rows[size_t(at)] = row;
            else
                rows.push_back(row);
            ++load.imported;
        }
        target->set_meta(key, QDateTime::currentDateTime().toString(Qt::ISODate));
        if (target->commit()) continue;
        if (!old.newer) {
            const QFileInfo info(path);
            const Aside aside =
                keep_aside(path,
                           dated_stem(info.completeBaseName() + QStringLiteral("-imported-"),
                                      QDateTime::currentDateTime()),
                           QStringLiteral(".json"), AsideHow::Move);
            if (aside.ok()) load.imported_as << aside.name;
        }
    }
}

// Gives the state folder's copy back to the store beside the pictures: a
// text the store has that is neither the copy's nor the one the copy changed
// goes to the history. Then the copy is removed.
void merge_fallback(StorePlace& place, const Rows& fallback_rows) {
    if (!place.fallback.is_open()) return;
    DbError error;
    if (place.target(&error) != &place.primary) return;
    StoreFile& primary = place.primary;
    if (primary.begin()) return;
    const qint64 version = primary.next_version();
    for (StoredComment row : fallback_rows) {
        const std::optional<StoredComment> there = primary.row(row.name, &error);
        if (there && there->comment != row.base && there->comment != row.comment)
            primary.add_history(row.name, there->comment, HistoryReason::Merged, there->writer);
        row.version = version;
        row.base.clear();
        primary.put(row);
    }
    if (primary.commit()) return;
    place.fallback.close();
    ::unlink(QFile::encodeName(place.fallback_path).constData());
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        ::unlink(QFile::encodeName(place.fallback_path + QLatin1String(suffix)).constData());
}

// Writes what matching the pictures found: replaced rows give their texts to
// the history and start anew, renamed rows take their picture's name, and
// rows of edited pictures their new size and times.
void apply_match(StorePlace& place, Rows& rows, const std::vector<ListedFile>& files,
                 const PictureMatch& match, const CaptureOf& capture_of, StoreLoad& load) {
    if (match.replaced.empty() && match.renamed.empty() && match.restamped.empty()) return;
    DbError error;
    StoreFile* target = place.target(&error);
    if (target && target->begin()) target = nullptr;
    const qint64 version = target ? target->next_version() : 0;
    auto stamp = [&](StoredComment& row, size_t f) {
        row.size = files[f].size;
        row.mtime_ns = files[f].mtime_ns;
        row.capture = capture_of(f);
        row.capture_read = true;
        row.version = version;
    };
    for (const auto& [r, f] : match.replaced) {
        StoredComment& row = rows[r];
        if (!row.comment.isEmpty() || !row.logged.isEmpty()) ++load.replaced;
        if (target)
            target->add_history(row.name, row.comment, HistoryReason::ReplacedPicture, row.writer);
        row.comment.clear();
        row.logged.clear();
        stamp(row, f);
        if (target) target->put(row);
    }
    for (const auto& [r, f] : match.renamed) {
        const QByteArray name = QFile::encodeName(files[f].name);
        // A replaced row of that name gives way; its text is in the history.
        if (const int taken = index_of(rows, name); taken >= 0) {
            if (target) target->remove(name);
            rows[size_t(taken)].name.clear();
        }
        if (target) target->rename(rows[r].name, name);
        rows[r].name = name;
    }
    for (const auto& [r, f] : match.restamped) {
        stamp(rows[r], f);
        if (target) target->put(rows[r]);
    }
    if (target) target->commit();
}

}  // namespace

QString state_store_path(const QString& state_dir, const QString& folder, const QString& suffix) {
    const QString clean = QDir::cleanPath(folder);
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(clean), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    QString name = QFileInfo(clean).fileName().left(64);
    if (name.isEmpty()) name = QStringLiteral("root");
    return QStringLiteral("%1/%2-%3%4").arg(state_dir, name, QString::fromLatin1(hash), suffix);
}

StoreFile* StorePlace::target(DbError* error) {
    *error = {};
    if (!primary_refused) {
        if (primary.is_open() && primary_writable) return &primary;
        if (!primary.is_open()) {
            *error = primary.open(primary_path, true, true);
            if (!*error && !primary.read_only()) {
                primary_writable = true;
                return &primary;
            }
            if (*error && error->kind != DbError::Kind::Io &&
                error->kind != DbError::Kind::Cancelled)
                return nullptr;  // locked: later
            primary.close();
        }
        primary_refused = true;
    }
    if (fallback.is_open()) return &fallback;
    if (const int made = make_folders(QFileInfo(fallback_path).absolutePath()); made != 0) {
        *error = {DbError::Kind::Io, made};
        return nullptr;
    }
    *error = fallback.open(fallback_path, true, true);
    return *error ? nullptr : &fallback;
}

StoreFile* StorePlace::current() {
    if (primary.is_open() && !primary_refused) return &primary;
    return fallback.is_open() ? &fallback : nullptr;
}

void StorePlace::close() {
    primary.close();
    fallback.close();
    primary_writable = primary_refused = primary_locked = false;
    files.clear();
    seen_version = seen_history = 0;
}

StoreIssue keep_store_aside(const QString& path, const DbError& problem) {
    return set_aside(path, problem);
}

bool read_unlocked(StorePlace& place, const CaptureReader& capture, Rows& found,
                   std::vector<StoreIssue>& issues) {
    if (!place.primary_locked || place.primary_refused) return false;
    Rows rows;
    std::vector<StoreIssue> opened;
    bool writable = false;
    place.primary.set_lock_wait(0);  // tried again later: the worker stays free for saves
    open_existing(place.primary, place.primary_path, &writable, rows, opened);
    place.primary.set_lock_wait(kSavingLockWait);
    if (!opened.empty() && opened.back().problem.kind == DbError::Kind::Locked) return false;
    place.primary_locked = false;
    place.primary_writable = writable && place.primary.is_open();
    issues = std::move(opened);
    const CaptureOf capture_of = [&](size_t f) {
        return capture(QDir(place.folder).filePath(place.files[f].name));
    };
    // The same rule as at the opening: a row goes to its picture, never to
    // another picture under its name.
    const PictureMatch match = match_pictures(rows, place.files, capture_of);
    std::vector<bool> replaced(rows.size(), false);
    for (const auto& [r, f] : match.replaced) replaced[r] = true;
    for (size_t f = 0; f < place.files.size(); ++f) {
        const std::optional<size_t> r = match.row_of_file[f];
        if (!r || replaced[*r]) continue;
        found.push_back(rows[*r]);
        found.back().name = QFile::encodeName(place.files[f].name);
    }
    place.files.clear();
    if (StoreFile* file = place.current())
        place.seen_version = std::max(place.seen_version, file->last_version());
    return true;
}

DbError write_changes(StoreFile& file, const std::vector<CommentChange>& changes, bool fallback,
                      const StorePlace& place, const CaptureReader& capture) {
    if (DbError error = file.begin()) return error;
    const qint64 version = file.next_version();
    for (const CommentChange& change : changes) {
        StoredComment row;
        row.name = QFile::encodeName(change.name);
        DbError error;
        const std::optional<StoredComment> there = file.row(row.name, &error);
        if (error) {
            file.rollback();
            return error;
        }
        // Another window stored a text this one never saw: it is kept.
        if (there && there->writer != place.writer && there->comment != change.base &&
            there->comment != change.comment)
            file.add_history(row.name, there->comment, HistoryReason::OtherWindow, there->writer);
        row.size = change.size;
        row.mtime_ns = change.mtime_ns;
        if (there && there->capture_read && there->size == change.size &&
            there->mtime_ns == change.mtime_ns) {
            row.capture = there->capture;
        } else if (change.size >= 0 && is_single_name(row.name)) {
            row.capture = capture(QDir(place.folder).filePath(change.name));
        }
        row.capture_read = row.capture.has_value() || change.size >= 0;
        row.comment = change.comment;
        row.logged = change.logged;
        row.version = version;
        row.writer = place.writer;
        if (fallback) row.base = there ? there->base : change.base;
        if (!file.put(row)) {
            const DbError failed = file.last_error();
            file.rollback();
            return failed ? failed : DbError{DbError::Kind::Other, 0};
        }
    }
    return file.commit();
}

StoreLoad open_place(StorePlace& place, const QString& state_dir,
                     const std::vector<ListedFile>& files, const CaptureReader& capture) {
    StoreLoad load;
    load.folder = place.folder;
    Rows rows, fallback_rows;
    place.primary.set_lock_wait(kOpeningLockWait);
    open_existing(place.primary, place.primary_path, &place.primary_writable, rows, load.issues);
    place.primary.set_lock_wait(kSavingLockWait);
    place.primary_locked =
        !load.issues.empty() && load.issues.back().problem.kind == DbError::Kind::Locked;
    if (place.primary_locked) place.files = files;
    bool fallback_writable = false;
    open_existing(place.fallback, place.fallback_path, &fallback_writable, fallback_rows,
                  load.issues);
    for (const StoredComment& row : fallback_rows) {  // the copy is newer
        const int at = index_of(rows, row.name);
        if (at >= 0)
            rows[size_t(at)] = row;
        else
            rows.push_back(row);
    }
    import_old_journals(place, state_dir, rows, load);
    merge_fallback(place, fallback_rows);

    QHash<size_t, std::optional<qint64>> captures;
    const CaptureOf capture_of = [&](size_t f) {
        if (!captures.contains(f))
            captures.insert(f, capture(QDir(place.folder).filePath(files[f].name)));
        return captures.value(f);
    };
    const PictureMatch match = match_pictures(rows, files, capture_of);
    apply_match(place, rows, files, match, capture_of, load);

    load.rows.resize(files.size());
    for (size_t f = 0; f < files.size(); ++f)
        if (match.row_of_file[f]) load.rows[f] = rows[*match.row_of_file[f]];
    for (const StoredComment& row : rows)
        if (!row.name.isEmpty() && (!row.comment.isEmpty() || !row.logged.isEmpty()))
            load.has_text = true;
    if (StoreFile* file = place.current()) {
        load.has_text = load.has_text || file->meta(QStringLiteral("read back")).has_value();
        load.captions_offered = file->meta(QString::fromLatin1(kCaptionsOffered)).has_value();
        DbError unread;  // corrections that cannot be read leave the clocks as they are
        load.clock_corrections = file->clock_corrections(&unread);
        place.seen_version = file->last_version();
        qint64 newest = 0;
        file->replaced_since(place.writer, &newest);
        place.seen_history = newest;
    }
    load.in_state_folder = place.current() == &place.fallback;
    return load;
}

}  // namespace fotavi
