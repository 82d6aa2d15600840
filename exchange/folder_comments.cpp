#include "exchange/folder_comments.h"

#include <QDir>

#include <algorithm>

#include "comments/picture_match.h"
#include "comments/store_file.h"
#include "comments/store_place.h"
#include "pictures/capture_time.h"
#include "platform/files.h"

namespace fotavi {

namespace {

// The rows of the store at path; nothing when there is none. Opened read-only,
// so a store another window is writing is read as it was last committed.
std::vector<StoredComment> stored_rows(const QString& path, std::optional<StoreIssue>* issue) {
    if (!QFileInfo::exists(path)) return {};
    StoreFile file;
    DbError error = file.open(path, false, false);
    std::vector<StoredComment> rows;
    if (!error) rows = file.rows(0, &error);
    if (error && !*issue) *issue = StoreIssue{path, error, {}, 0};
    return rows;
}

}  // namespace

FolderComments read_folder_comments(const QString& folder, const QString& state_dir, bool all) {
    FolderComments result;
    FolderListing listing = list_pictures(folder);
    if (!listing.error.isEmpty()) {
        result.listing_error = listing.error;
        return result;
    }
    std::vector<ListedFile>& files = listing.files;
    std::stable_sort(files.begin(), files.end(),
                     [](const ListedFile& a, const ListedFile& b) { return a.name < b.name; });
    std::stable_sort(files.begin(), files.end(),
                     [](const ListedFile& a, const ListedFile& b) { return a.date < b.date; });

    std::vector<StoredComment> rows =
        stored_rows(QDir(folder).filePath(QString::fromLatin1(kStoreName)), &result.store_issue);
    // The state folder's copy is the newer where both hold a picture.
    for (StoredComment& row : stored_rows(
             state_store_path(state_dir, QDir::cleanPath(folder), QStringLiteral(".sqlite")),
             &result.store_issue)) {
        const auto same = std::find_if(rows.begin(), rows.end(),
                                       [&](const StoredComment& r) { return r.name == row.name; });
        if (same != rows.end())
            *same = std::move(row);
        else
            rows.push_back(std::move(row));
    }
    const PictureMatch match = match_pictures(rows, files, [&](size_t f) -> std::optional<qint64> {
        const CaptureTime time = read_capture_time(QDir(folder).filePath(files[f].name));
        if (!time.found()) return std::nullopt;
        return time.date.seconds;
    });
    for (size_t f = 0; f < files.size(); ++f) {
        QString comment;
        if (match.row_of_file[f]) comment = rows[*match.row_of_file[f]].comment;
        if (all || !comment.isEmpty()) result.pictures.push_back({files[f].name, comment});
    }
    return result;
}

}  // namespace fotavi
