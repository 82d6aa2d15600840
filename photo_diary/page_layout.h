#pragma once

#include <vector>

namespace fotavi {

// A block of a page's content, stacked from the top of the page.
struct LayoutBlock {
    double height = 0;
    // Kept on the same page as the start of the block after it (a day
    // heading with its first entry, the title with the first day).
    bool keep_with_next = false;
    // Where the block may be cut when it is taller than a page: offsets from
    // its top, ascending (the bottoms of the text lines below its picture).
    // A block that fits on a page is never cut.
    std::vector<double> breaks;
    // Room kept at the top of a page that this block, or a piece of it,
    // starts after the first page: for its day's heading, drawn again there.
    double carry = 0;
};

// A piece of a block placed on a page: the part [from, to) of the block, at
// y from the top of the page's content area.
struct BlockPlacement {
    int block = 0;
    int page = 0;
    double y = 0;
    double from = 0;
    double to = 0;
    bool carried = false;  // the block's carry is kept above it, at the page's top
};

// Places the blocks one after another on pages of the given content height.
// A block goes whole onto the page where it fits, else starts the next page;
// only a block taller than a page is cut, at its breaks (at the page's foot
// where it has none that fit), starting where its first piece fits. A block that keeps with the
// next one starts a new page when the next one's start would not fit after it.
// A block or piece that starts a page after the first sits below its carry.
std::vector<BlockPlacement> lay_out_pages(const std::vector<LayoutBlock>& blocks,
                                          double page_height);

// The number of pages the placements take.
int page_count(const std::vector<BlockPlacement>& placements);

}  // namespace fotavi
