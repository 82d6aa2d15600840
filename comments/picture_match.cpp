#include "comments/picture_match.h"

#include <QFile>
#include <QHash>
#include <QPair>

namespace fotavi {

namespace {

enum class Same { Yes, Restamped, No };

Same same_picture(const StoredComment& row, const ListedFile& file, size_t index,
                  const CaptureOf& capture_of) {
    if (row.size < 0) return Same::Restamped;  // stored without a picture to compare
    if (row.size == file.size && row.mtime_ns == file.mtime_ns) return Same::Yes;
    if (row.size == file.size || row.mtime_ns == file.mtime_ns) return Same::Restamped;
    const std::optional<qint64> capture = capture_of(index);
    if (row.capture_read && row.capture && capture && *row.capture == *capture)
        return Same::Restamped;
    return Same::No;
}

}  // namespace

PictureMatch match_pictures(const std::vector<StoredComment>& rows,
                            const std::vector<ListedFile>& files, const CaptureOf& capture_of) {
    PictureMatch match;
    match.row_of_file.resize(files.size());
    QHash<QByteArray, size_t> by_name;
    for (size_t r = 0; r < rows.size(); ++r) by_name.insert(rows[r].name, r);

    std::vector<bool> row_taken(rows.size());
    std::vector<std::optional<size_t>> replaced_row(files.size());
    for (size_t f = 0; f < files.size(); ++f) {
        const auto it = by_name.constFind(QFile::encodeName(files[f].name));
        if (it == by_name.cend()) continue;
        const Same same = same_picture(rows[*it], files[f], f, capture_of);
        if (same == Same::No) {
            replaced_row[f] = *it;
            continue;
        }
        match.row_of_file[f] = *it;
        row_taken[*it] = true;
        if (same == Same::Restamped) match.restamped.emplace_back(*it, f);
    }

    // Rows left without their picture and pictures left without a row, by
    // size and time; only a pair alone on both sides is taken.
    using Stamp = QPair<qint64, qint64>;
    QHash<Stamp, std::vector<size_t>> loose_rows, loose_files;
    for (size_t r = 0; r < rows.size(); ++r)
        if (!row_taken[r] && rows[r].size >= 0)
            loose_rows[{rows[r].size, rows[r].mtime_ns}].push_back(r);
    for (size_t f = 0; f < files.size(); ++f)
        if (!match.row_of_file[f]) loose_files[{files[f].size, files[f].mtime_ns}].push_back(f);
    for (auto it = loose_files.cbegin(); it != loose_files.cend(); ++it) {
        const std::vector<size_t>& candidates = loose_rows.value(it.key());
        if (it.value().size() != 1 || candidates.size() != 1) continue;
        const size_t f = it.value().front(), r = candidates.front();
        match.row_of_file[f] = r;
        row_taken[r] = true;
        match.renamed.emplace_back(r, f);
    }
    for (size_t f = 0; f < files.size(); ++f) {
        // A replaced row that followed its picture elsewhere is no loss.
        if (replaced_row[f] && !row_taken[*replaced_row[f]])
            match.replaced.emplace_back(*replaced_row[f], f);
    }
    return match;
}

}  // namespace fotavi
