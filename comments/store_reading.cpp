#include "comments/store_reading.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>

#include <sys/stat.h>

#include "comments/picture_match.h"

namespace fotavi {

namespace {

template <typename T>
std::future<T> ready(T value) {
    std::promise<T> promise;
    promise.set_value(std::move(value));
    return promise.get_future();
}

// The rows of the store at path, opened read-only; none when there is no
// store there or it cannot be read (the window would set it aside).
std::vector<StoredComment> read_rows(StoreFile& file, const QString& path, QString* title) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return {};
    DbError error = file.open(path, false, false);
    std::vector<StoredComment> rows;
    if (!error) rows = file.rows(0, &error);
    if (error) return {};
    if (const std::optional<QString> kept = file.meta(QLatin1String(kDiaryTitleKey)))
        *title = *kept;
    return rows;
}

}  // namespace

StoreReading read_store(const QString& folder, const QString& state_dir,
                        const std::vector<ListedFile>& files, const CaptureReader& capture) {
    StoreReading reading;
    StoreLoad& load = reading.load;
    load.folder = folder;
    StoreFile primary, fallback;
    std::vector<StoredComment> rows =
        read_rows(primary, QDir(folder).filePath(QLatin1String(kStoreName)), &reading.diary_title);
    const std::vector<StoredComment> newer =
        read_rows(fallback, state_store_path(state_dir, folder, QStringLiteral(".sqlite")),
                  &reading.diary_title);
    for (const StoredComment& row : newer) {
        auto at = std::find_if(rows.begin(), rows.end(),
                               [&](const StoredComment& r) { return r.name == row.name; });
        if (at != rows.end())
            *at = row;
        else
            rows.push_back(row);
    }
    QHash<size_t, std::optional<qint64>> captures;
    const CaptureOf capture_of = [&](size_t f) {
        if (!captures.contains(f))
            captures.insert(f, capture(QDir(folder).filePath(files[f].name)));
        return captures.value(f);
    };
    const PictureMatch match = match_pictures(rows, files, capture_of);
    // A picture that replaced another under its name starts without a comment.
    for (const auto& [r, f] : match.replaced) rows[r].comment.clear(), rows[r].logged.clear();
    load.rows.resize(files.size());
    for (size_t f = 0; f < files.size(); ++f)
        if (match.row_of_file[f]) load.rows[f] = rows[*match.row_of_file[f]];
    for (const StoredComment& row : rows)
        load.has_text = load.has_text || !row.comment.isEmpty() || !row.logged.isEmpty();
    for (StoreFile* file : {&primary, &fallback})
        if (file->is_open() && file->meta(QStringLiteral("read back"))) load.has_text = true;
    load.in_state_folder = fallback.is_open();
    if (primary.is_open()) {
        DbError unread;  // corrections that cannot be read leave the clocks as they are
        load.clock_corrections = primary.clock_corrections(&unread);
    }
    return reading;
}

// A store that keeps no title gives none.
std::future<QString> CommentStore::diary_title(const QString&) { return ready(QString()); }

void CommentStore::keep_diary_title(const QString&, const QString&) {}

ReadOnlyCommentStore::ReadOnlyCommentStore(QString state_dir, CaptureReader capture)
    : state_dir_(std::move(state_dir)), capture_(std::move(capture)) {}

std::future<QString> ReadOnlyCommentStore::diary_title(const QString&) {
    return ready(diary_title_);
}

std::future<StoreLoad> ReadOnlyCommentStore::load(const QString& folder,
                                                  std::vector<ListedFile> files) {
    StoreReading reading = read_store(folder, state_dir_, files, capture_);
    diary_title_ = reading.diary_title;
    return ready(std::move(reading.load));
}

std::future<SaveReport> ReadOnlyCommentStore::save(const QString& folder,
                                                   std::vector<CommentChange>) {
    return ready(SaveReport{folder, 0, {}, {}, {}, false, false});
}

std::future<RefreshReport> ReadOnlyCommentStore::refresh(const QString& folder) {
    return ready(RefreshReport{folder, {}, 0, false, {}});
}

std::future<DbError> ReadOnlyCommentStore::rename_rows(const QString&,
                                                       std::vector<std::pair<QString, QString>>) {
    return ready(DbError{DbError::Kind::Io, EROFS});
}

std::future<std::vector<StoreIssue>> ReadOnlyCommentStore::start_afresh(const QString&) {
    return ready(std::vector<StoreIssue>{});
}

std::future<void> ReadOnlyCommentStore::settled() {
    std::promise<void> promise;
    promise.set_value();
    return promise.get_future();
}

std::future<DbError> ReadOnlyCommentStore::change_clock_correction(const QString&, ClockCorrection,
                                                                   bool) {
    std::promise<DbError> dropped;
    dropped.set_value({});
    return dropped.get_future();
}

}  // namespace fotavi
