#include "browse/image_table.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace fotavi {

int fill_table(ImageTable& table, const std::vector<ListedFile>& files) {
    std::vector<int> chosen(files.size());
    std::iota(chosen.begin(), chosen.end(), 0);
    int left_out = 0;
    if (chosen.size() > size_t(kTableSize)) {
        // The 201 earliest; among equal date-times the earlier listed, as the
        // sort would have ordered them. They then go in in listing order.
        std::stable_sort(chosen.begin(), chosen.end(),
                         [&](int a, int b) { return files[a].date < files[b].date; });
        left_out = int(chosen.size()) - kTableSize;
        chosen.resize(kTableSize);
        std::sort(chosen.begin(), chosen.end());
    }
    table.img_count = 0;
    for (int i : chosen) {
        table.img_name[table.img_count] = files[i].name;
        table.img_date[table.img_count] = files[i].date;
        table.img_comment[table.img_count].clear();
        ++table.img_count;
    }
    sort_table(table);
    return left_out;
}

void sort_table(ImageTable& table) {
    for (int pass = 0; pass <= table.img_count - 2; ++pass) {
        for (int i = table.img_count - 1; i >= 1; --i) {
            if (table.img_date[i] < table.img_date[i - 1]) {
                std::swap(table.img_date[i], table.img_date[i - 1]);
                std::swap(table.img_name[i], table.img_name[i - 1]);
            }
        }
    }
}

}  // namespace fotavi
