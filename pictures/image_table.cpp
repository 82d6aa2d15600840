#include "pictures/image_table.h"

#include <algorithm>
#include <numeric>

namespace fotavi {

void ImageTable::clear() {
    names.clear();
    dates.clear();
    comments.clear();
    shown = 0;
}

void fill_table(ImageTable& table, const std::vector<ListedFile>& files) {
    table.clear();
    table.names.reserve(files.size());
    table.dates.reserve(files.size());
    for (const ListedFile& file : files) {
        table.names.push_back(file.name);
        table.dates.push_back(file.date);
    }
    table.comments.assign(files.size(), QString());
    sort_table(table);
}

void sort_table(ImageTable& table) {
    // A stable sort of an index, then the columns put in its order: O(n log n)
    // for the ten thousand pictures of a phone, where a bubble sort takes seconds.
    std::vector<int> order(table.names.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return table.dates[size_t(a)] < table.dates[size_t(b)];
    });
    auto reorder = [&order](auto& column) {
        std::remove_reference_t<decltype(column)> sorted;
        sorted.reserve(column.size());
        for (int i : order) sorted.push_back(std::move(column[size_t(i)]));
        column = std::move(sorted);
    };
    reorder(table.names);
    reorder(table.dates);
    reorder(table.comments);
}

}  // namespace fotavi
