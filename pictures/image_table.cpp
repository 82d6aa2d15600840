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

std::vector<size_t> table_order(const std::vector<ListedFile>& files) {
    // A stable sort of an index: O(n log n) for the ten thousand pictures of
    // a phone, where a bubble sort takes seconds.
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return files[a].date < files[b].date; });
    return order;
}

}  // namespace fotavi
