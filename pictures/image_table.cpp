#include "pictures/image_table.h"

#include <algorithm>
#include <numeric>

namespace fotavi {

void ImageTable::clear() {
    img_name.clear();
    img_date.clear();
    img_comment.clear();
    img_index = 0;
}

void fill_table(ImageTable& table, const std::vector<ListedFile>& files) {
    table.clear();
    table.img_name.reserve(files.size());
    table.img_date.reserve(files.size());
    for (const ListedFile& file : files) {
        table.img_name.push_back(file.name);
        table.img_date.push_back(file.date);
    }
    table.img_comment.assign(files.size(), QString());
    sort_table(table);
}

void sort_table(ImageTable& table) {
    // A stable sort of an index, then the columns put in its order: O(n log n)
    // for the ten thousand pictures of a phone, where a bubble sort takes seconds.
    std::vector<int> order(table.img_name.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return table.img_date[size_t(a)] < table.img_date[size_t(b)];
    });
    auto reorder = [&order](auto& column) {
        std::remove_reference_t<decltype(column)> sorted;
        sorted.reserve(column.size());
        for (int i : order) sorted.push_back(std::move(column[size_t(i)]));
        column = std::move(sorted);
    };
    reorder(table.img_name);
    reorder(table.img_date);
    reorder(table.img_comment);
}

}  // namespace fotavi
