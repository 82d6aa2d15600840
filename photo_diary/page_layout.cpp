#include "photo_diary/page_layout.h"

#include <algorithm>

namespace fotavi {

namespace {

// The height the start of block i needs on the page: the block, or for one
// taller than a page its first piece; with what it keeps with after it.
double start_height(const std::vector<LayoutBlock>& blocks, size_t i, double page_height,
                    int depth = 0) {
    const LayoutBlock& block = blocks[i];
    double need = block.height;
    if (need > page_height) need = block.breaks.empty() ? page_height : block.breaks.front();
    if (block.keep_with_next && i + 1 < blocks.size() && depth < 8)
        need += start_height(blocks, i + 1, page_height, depth + 1);
    return need;
}

// The longest piece of block from offset that fits in room: up to its last
// break that fits, or as much as fits when no break does.
double cut_at(const LayoutBlock& block, double from, double room) {
    if (block.height - from <= room) return block.height;
    double to = from;
    for (double at : block.breaks) {
        if (at > from && at - from <= room) to = at;
    }
    return to > from ? to : from + room;
}

}  // namespace

std::vector<BlockPlacement> lay_out_pages(const std::vector<LayoutBlock>& blocks,
                                          double page_height) {
    std::vector<BlockPlacement> placements;
    if (page_height <= 0) return placements;
    int page = 0;
    double y = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const LayoutBlock& block = blocks[i];
        // A block taller than a page starts wherever its first piece fits.
        // A page that holds nothing yet takes whatever comes: starting another
        // would only leave it empty.
        if (start_height(blocks, i, page_height) > page_height - y && y > 0) {
            ++page;
            y = 0;
        }
        bool carried = false;
        if (y == 0 && page > 0 && block.carry > 0) {
            y = block.carry;
            carried = true;
        }
        if (block.height <= page_height - y) {
            placements.push_back({int(i), page, y, 0, block.height, carried});
            y += block.height;
            continue;
        }
        // Taller than a page: piece by piece, cut at its breaks.
        for (double from = 0;;) {
            const double to = std::min(block.height, cut_at(block, from, page_height - y));
            placements.push_back({int(i), page, y, from, to, carried});
            if (to >= block.height) {
                y += to - from;
                break;
            }
            from = to;
            ++page;
            y = block.carry;
            carried = block.carry > 0;
        }
    }
    return placements;
}

int page_count(const std::vector<BlockPlacement>& placements) {
    return placements.empty() ? 0 : placements.back().page + 1;
}

}  // namespace fotavi
