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

// Fills the table from a listing and sorts it; every comment is empty.
void fill_table(ImageTable& table, const std::vector<ListedFile>& files);

// Sorts on dates, ascending. Equal date-times keep listing order: the
// result is the one of a bubble sort that never exchanges equal entries.
void sort_table(ImageTable& table);

}  // namespace fotavi
