#pragma once

#include <QString>

#include <vector>

#include "platform/date_time.h"
#include "platform/files.h"

namespace fotavi {

// The pictures of the open folder in ascending date-time order, with the
// user's comment on each. The three columns always have the same length,
// which grows with the folder.
struct ImageTable {
    std::vector<QString> names;
    std::vector<DateTime> dates;
    std::vector<QString> comments;
    int shown = 0;

    int count() const { return int(names.size()); }
    void clear();
};

// The order the table shows a listing in, as indices into files: dates
// ascending, equal date-times in listing order (the result of a bubble sort
// that never exchanges equal entries). The open folder is sorted with it.
std::vector<size_t> table_order(const std::vector<ListedFile>& files);

}  // namespace fotavi
