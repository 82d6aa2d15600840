#include "document/clock_order.h"

#include <QDir>

#include <algorithm>

namespace fotavi {

std::vector<QString> cameras_to_correct(const QString& folder, const std::vector<ListedFile>& files,
                                        const std::vector<ClockCorrection>& corrections,
                                        bool capture_time) {
    const bool any =
        std::any_of(corrections.begin(), corrections.end(),
                    [&](const ClockCorrection& c) { return c.capture_time == capture_time; });
    std::vector<QString> cameras;
    if (!any) return cameras;
    cameras.reserve(files.size());
    for (const ListedFile& file : files)
        cameras.push_back(read_camera(QDir(folder).filePath(file.name)));
    return cameras;
}

void order_by_corrected_clocks(std::vector<ListedFile>& files, StoreLoad& load,
                               const std::vector<QString>& cameras, bool capture_time) {
    if (cameras.empty() || cameras.size() != files.size()) return;
    const std::vector<size_t> order =
        correct_clocks(files, cameras, load.clock_corrections, capture_time);
    std::vector<ListedFile> sorted;
    std::vector<std::optional<StoredComment>> rows;
    sorted.reserve(files.size());
    rows.reserve(files.size());
    for (const size_t i : order) {
        sorted.push_back(std::move(files[i]));
        rows.push_back(i < load.rows.size() ? std::move(load.rows[i]) : std::nullopt);
    }
    files = std::move(sorted);
    load.rows = std::move(rows);
}

}  // namespace fotavi
