#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "comments/store_file.h"
#include "platform/files.h"

namespace fotavi {

// Which stored row belongs to which picture of a folder just listed.
struct PictureMatch {
    // For each listed file, the index of its row in rows, if it has one.
    std::vector<std::optional<size_t>> row_of_file;
    // Rows whose name now belongs to a different picture: (row, file).
    std::vector<std::pair<size_t, size_t>> replaced;
    // Rows of pictures renamed outside the program: (row, file).
    std::vector<std::pair<size_t, size_t>> renamed;
    // Rows of the same picture whose size, time or capture time is new: (row, file).
    std::vector<std::pair<size_t, size_t>> restamped;
};

// The capture time of listed file i (seconds since 1899-12-30), nothing when
// it has none; read only where size and time cannot decide.
using CaptureOf = std::function<std::optional<qint64>(size_t file)>;

// A row belongs to the picture of its name when the picture is the same: the
// same size or the same modification time, or, where both changed (a picture
// rotated in an editor), the same EXIF capture time. A picture under a known
// name that differs in all three is a different picture: its row is replaced.
// A row whose name is gone (or replaced) follows a picture without a row that
// has its size and time, where exactly one row and one picture have them.
PictureMatch match_pictures(const std::vector<StoredComment>& rows,
                            const std::vector<ListedFile>& files, const CaptureOf& capture_of);

}  // namespace fotavi
