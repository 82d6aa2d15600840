#pragma once

#include <QString>

#include <array>

#include "platform/date_time.h"
#include "platform/files.h"

namespace fotavi {

// The table holds at most 201 pictures, index 0 to 200.
inline constexpr int kTableSize = 201;

// The pictures of the open folder in ascending date-time order, with the
// user's comment on each. Entries at img_count and above keep whatever an
// earlier scan left there.
struct ImageTable {
    std::array<QString, kTableSize> img_name;
    std::array<DateTime, kTableSize> img_date{};
    std::array<QString, kTableSize> img_comment;
    int img_count = 0;
    int img_index = 0;
};

// Fills the table from a listing: with more than 201 files, the 201 earliest
// (listing order among equal date-times) in listing order; then sorts them.
// Comments of the new entries are empty. Returns how many files were left out.
int fill_table(ImageTable& table, const std::vector<ListedFile>& files);

// The bubble sort on img_date, ascending: img_count - 1 full passes, each
// walking down from the last entry; equal date-times are never exchanged, so
// they keep listing order.
void sort_table(ImageTable& table);

}  // namespace fotavi
