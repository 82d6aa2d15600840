#include "comments/sqlite_comment_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <unistd.h>

#include "comments/store_reading.h"

namespace fotavi {

SqliteCommentStore::SqliteCommentStore(QString state_dir, CaptureReader capture,
                                       std::function<void()> before_commit)
    : state_dir_(std::move(state_dir)),
      capture_(std::move(capture)),
      before_commit_(std::move(before_commit)) {
    // Tells this window's changes from other windows' in a shared store.
    place_.writer = qint64(QRandomGenerator::system()->generate64() >> 1) | 1;
    // Only the folder's store can be held by another program or a slow card;
    // the state folder's copy takes the changes when the program hurries.
    place_.primary.set_bound({StatementBound().steps, &stopping_});
}

// The worker goes first and finishes the saves still waiting, in the state
// folder's copy where the folder's store would hold them up; their reports
// are not delivered, since whoever wanted them may be gone.
SqliteCommentStore::~SqliteCommentStore() { stopping_ = true; }

std::future<StoreLoad> SqliteCommentStore::load(const QString& folder,
                                                std::vector<ListedFile> files) {
    return run_on<StoreLoad>(worker_, [this, folder, files = std::move(files)] {
        stopping_ = false;
        place_.close();
        place_.folder = folder;
        place_.primary_path = QDir(folder).filePath(QString::fromLatin1(kStoreName));
        place_.fallback_path = state_store_path(state_dir_, folder, QStringLiteral(".sqlite"));
        return open_place(place_, state_dir_, files, capture_);
    });
}

std::future<SaveReport> SqliteCommentStore::save(const QString& folder,
                                                 std::vector<CommentChange> changes) {
    const quint64 ticket = ++next_ticket_;
    return run_on<SaveReport>(worker_, [this, folder, ticket, changes = std::move(changes)] {
        return store(folder, ticket, changes);
    });
}

// The folder beside the pictures first; where it refuses (read-only, full,
// gone), the state folder's copy.
SaveReport SqliteCommentStore::store(const QString& folder, quint64 ticket,
                                     std::vector<CommentChange> changes) {
    SaveReport saved{folder, ticket, std::move(changes), {}, {}, false, false};
    if (folder != place_.folder) {
        saved.problem = {DbError::Kind::Other, 0};
        return saved;
    }
    if (before_commit_) before_commit_();
    for (int attempt = 0; attempt < 3; ++attempt) {
        StoreFile* file = place_.target(&saved.problem);
        saved.problem_path = place_.primary_refused ? place_.fallback_path : place_.primary_path;
        if (!file) return saved;
        if (file->moved()) {
            // Removed or renamed under us: writing on would go nowhere.
            file->close();
            saved.lost = true;
            continue;
        }
        saved.problem =
            write_changes(*file, saved.changes, file == &place_.fallback, place_, capture_);
        if (!saved.problem) {
            saved.in_state_folder = file == &place_.fallback;
            return saved;
        }
        // No retry mends it: the file is set aside, and a new store takes
        // every comment again.
        const bool unusable = saved.problem.kind == DbError::Kind::Damaged ||
                              saved.problem.kind == DbError::Kind::Stopped;
        if (unusable && file == &place_.primary && !saved.set_aside) {
            file->close_as_found();
            saved.set_aside = keep_store_aside(place_.primary_path, saved.problem);
            saved.lost = true;
            continue;
        }
        const bool refused = saved.problem.kind == DbError::Kind::Io ||
                             saved.problem.kind == DbError::Kind::Cancelled;
        if (!refused || file == &place_.fallback) return saved;
        file->close();
        place_.primary_refused = true;
    }
    return saved;
}

std::future<RefreshReport> SqliteCommentStore::refresh(const QString& folder) {
    return run_on<RefreshReport>(worker_, [this, folder] { return look_for_changes(folder); });
}

RefreshReport SqliteCommentStore::look_for_changes(const QString& folder) {
    RefreshReport found{folder, {}, 0, false, {}};
    if (folder == place_.folder)
        found.unlocked = read_unlocked(place_, capture_, found.rows, found.issues);
    StoreFile* file = folder == place_.folder ? place_.current() : nullptr;
    if (!file) return found;
    DbError error;
    for (StoredComment& row : file->rows(place_.seen_version, &error)) {
        place_.seen_version = std::max(place_.seen_version, row.version);
        if (row.writer != place_.writer) found.rows.push_back(std::move(row));
    }
    found.replaced_mine = file->replaced_since(place_.writer, &place_.seen_history);
    return found;
}

std::future<DbError> SqliteCommentStore::rename_rows(
    const QString& folder, std::vector<std::pair<QString, QString>> renamed) {
    return run_on<DbError>(worker_, [this, folder, renamed = std::move(renamed)] {
        return rename_on_worker(folder, renamed);
    });
}

// One transaction: the store never holds a picture under both names.
DbError SqliteCommentStore::rename_on_worker(
    const QString& folder, const std::vector<std::pair<QString, QString>>& renamed) {
    StoreFile* file = folder == place_.folder ? place_.current() : nullptr;
    if (!file || file->read_only() || renamed.empty()) return {};
    if (DbError error = file->begin()) return error;
    for (const auto& [from, to] : renamed) {
        if (from == to) continue;
        DbError lookup;
        const QByteArray old_name = QFile::encodeName(from), new_name = QFile::encodeName(to);
        if (const auto there = file->row(new_name, &lookup)) {
            file->add_history(new_name, there->comment, HistoryReason::RenamedOver, there->writer);
            file->remove(new_name);
        }
        file->rename(old_name, new_name);
    }
    return file->commit();
}

std::future<DbError> SqliteCommentStore::change_clock_correction(const QString& folder,
                                                                 ClockCorrection correction,
                                                                 bool remove) {
    return run_on<DbError>(worker_, [this, folder, correction, remove] {
        DbError error;
        StoreFile* file = folder == place_.folder ? place_.target(&error) : nullptr;
        if (!file) return error ? error : DbError{DbError::Kind::Other, 0};
        if ((error = file->begin())) return error;
        const bool done =
            remove ? file->remove_clock_correction(correction.camera, correction.capture_time)
                   : file->set_clock_correction(correction);
        if (!done) {
            error = file->last_error();
            file->rollback();
            return error ? error : DbError{DbError::Kind::Other, 0};
        }
        return file->commit();
    });
}

void SqliteCommentStore::remember_read_back(const QString& folder) {
    worker_.post([this, folder] {
        DbError error;
        StoreFile* file = folder == place_.folder ? place_.target(&error) : nullptr;
        if (file)
            file->set_meta(QStringLiteral("read back"),
                           QDateTime::currentDateTime().toString(Qt::ISODate));
    });
}

std::future<QString> SqliteCommentStore::diary_title(const QString& folder) {
    return run_on<QString>(worker_, [this, folder] {
        StoreFile* file = folder == place_.folder ? place_.current() : nullptr;
        return file ? file->meta(QLatin1String(kDiaryTitleKey)).value_or(QString()) : QString();
    });
}

void SqliteCommentStore::keep_diary_title(const QString& folder, const QString& title) {
    worker_.post([this, folder, title] {
        DbError error;
        StoreFile* file = folder == place_.folder ? place_.target(&error) : nullptr;
        if (file) file->set_meta(QLatin1String(kDiaryTitleKey), title);
    });
}

void SqliteCommentStore::remember_captions_offered(const QString& folder) {
    worker_.post([this, folder] {
        DbError error;
        StoreFile* file = folder == place_.folder ? place_.target(&error) : nullptr;
        if (file)
            file->set_meta(QString::fromLatin1(kCaptionsOffered),
                           QDateTime::currentDateTime().toString(Qt::ISODate));
    });
}

std::future<std::vector<StoreIssue>> SqliteCommentStore::start_afresh(const QString& folder) {
    return run_on<std::vector<StoreIssue>>(worker_, [this, folder] { return retire(folder); });
}

// Keeps both files aside under dated names; the next comment makes a new store.
std::vector<StoreIssue> SqliteCommentStore::retire(const QString& folder) {
    std::vector<StoreIssue> kept;
    if (folder != place_.folder) return kept;
    place_.close();
    for (const QString& path : {place_.primary_path, place_.fallback_path}) {
        if (!QFileInfo::exists(path)) continue;
        const QFileInfo info(path);
        const Aside aside = keep_aside(
            path,
            dated_stem(info.completeBaseName() + QStringLiteral("-"), QDateTime::currentDateTime()),
            QStringLiteral(".sqlite"), AsideHow::Move);
        if (aside.ok()) move_companions(path, aside.name);
        kept.push_back({path, {}, aside.name, aside.error});
    }
    return kept;
}

std::future<void> SqliteCommentStore::settled() {
    auto promise = std::make_shared<std::promise<void>>();
    std::future<void> future = promise->get_future();
    worker_.post([promise] { promise->set_value(); });
    return future;
}

void SqliteCommentStore::wait_idle() { worker_.wait_idle(); }

}  // namespace fotavi
