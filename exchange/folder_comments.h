#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "comments/comment_store.h"
#include "exchange/export_pictures.h"

namespace fotavi {

// A folder's pictures with the comments the store holds for them, read
// without writing anything (the store may be open in a window meanwhile).
struct FolderComments {
    std::vector<PictureToExport> pictures;  // in the order of their file times, then names
    QString listing_error;                  // why the folder could not be listed
    std::optional<StoreIssue> store_issue;  // a store file that could not be read
};

// The pictures of folder and their comments, from the store beside them and
// its copy in state_dir; only commented ones unless all. A row counts for a
// picture only when it is still the same picture (see match_pictures).
FolderComments read_folder_comments(const QString& folder, const QString& state_dir, bool all);

}  // namespace fotavi
