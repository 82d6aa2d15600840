#include <QFileInfo>

#include "photo_diary/diary_pdf_writer.h"

using namespace Qt::StringLiterals;

// Rows of entries side by side: each entry's picture on top, its time and
// file name below, then its comment.

namespace fotavi::diary_pdf_drawing {

Grid grid_of(DiaryLayout layout) {
    Grid grid;
    switch (layout) {
        case DiaryLayout::Standard:
            break;
        case DiaryLayout::TwoColumns:
            grid.columns = 2;
            grid.picture_height = 100;
            grid.space = 10;
            break;
        case DiaryLayout::ContactSheet:
            // Short comments: two lines each, cut with an ellipsis.
            grid.columns = 3;
            grid.picture_height = 80;
            grid.time_size = 9.5;
            grid.comment_size = 8.5;
            grid.comment_lines = 2;
            grid.space = 8;
            grid.gutter = 12;
            break;
    }
    return grid;
}

std::vector<double> Writer::line_breaks(PangoLayout* layout, double top, double floor) {
    std::vector<double> breaks;
    PangoLayoutIter* line = pango_layout_get_iter(layout);
    do {
        int line_top = 0, bottom = 0;
        pango_layout_iter_get_line_yrange(line, &line_top, &bottom);
        const double at = top + double(bottom) / PANGO_SCALE;
        if (at > floor) breaks.push_back(at);
    } while (pango_layout_iter_next_line(line));
    pango_layout_iter_free(line);
    return breaks;
}

Writer::Cell Writer::cell(int index) const {
    const DiaryEntry& entry = entries_[size_t(index)];
    const DiaryPicture& picture = pictures_.shape(index);
    const double width = grid_.cell_width();
    Cell cell;
    cell.entry = index;
    cell.time = text_layout(entry.time, "bold", grid_.time_size, width);
    cell.name = text_layout(QFileInfo(entry.picture_path).fileName(), "", 8, width);
    pango_layout_set_width(cell.name.get(), -1);
    cell.comment = text_layout(entry.comment, "", grid_.comment_size, width);
    if (grid_.comment_lines > 0) {
        pango_layout_set_height(cell.comment.get(), -grid_.comment_lines);
        pango_layout_set_ellipsize(cell.comment.get(), PANGO_ELLIPSIZE_END);
    }
    const double box = grid_.picture_height;
    cell.picture = !pictures_.has_jpeg(index)
                       ? QSizeF(std::min(width, box * 4 / 3), box)
                       : QSizeF(picture.size).scaled(width, box, Qt::KeepAspectRatio);
    return cell;
}

void Writer::add_row(const std::vector<int>& indexes) {
    Block block;
    block.kind = Block::Kind::Row;
    double height = 0;
    std::vector<double> breaks;
    for (int index : indexes) {
        Cell made = cell(index);
        const double comment_top = grid_.picture_height + 4 + height_of(made.time.get()) + 2;
        const double bottom = comment_top + height_of(made.comment.get());
        // A row taller than a page goes on at the lines of its longest comment.
        if (bottom > height) {
            height = bottom;
            breaks = line_breaks(made.comment.get(), comment_top, comment_top);
        }
        let_go_of_texts(made);
        block.cells.push_back(std::move(made));
    }
    block.layout.height = height + grid_.space;
    block.layout.breaks = std::move(breaks);
    blocks_.push_back(std::move(block));
}

void Writer::draw_missing(const DiaryPicture& picture, QSizeF size) {
    Layout why = text_layout(u"表示できません\n"_s + picture.error, "", 8,
                             std::max(10.0, size.width() - 12));
    pango_layout_set_alignment(why.get(), PANGO_ALIGN_CENTER);
    show(why.get(), 6, (size.height() - height_of(why.get())) / 2, 0.35);
}

void Writer::draw_row(const Block& block) {
    const double width = grid_.cell_width();
    for (size_t i = 0; i < block.cells.size(); ++i) {
        const Cell& at = block.cells[i];
        const DiaryPicture picture = pictures_.read(at.entry);
        cairo_save(cr_);
        cairo_translate(cr_, double(i) * (width + grid_.gutter), 0);
        cairo_save(cr_);
        // Pictures stand on the row's common baseline, centred in their column.
        cairo_translate(cr_, (width - at.picture.width()) / 2,
                        grid_.picture_height - at.picture.height());
        draw_picture(picture, at.picture);
        if (!pictures_.has_jpeg(at.entry)) draw_missing(picture, at.picture);
        cairo_restore(cr_);
        const double time_top = grid_.picture_height + 4;
        const double time_height = height_of(at.time.get());
        show(at.time.get(), 0, time_top, 0.1);
        int time_width = 0;
        pango_layout_get_size(at.time.get(), &time_width, nullptr);
        show(at.name.get(), double(time_width) / PANGO_SCALE + 6,
             time_top + time_height - height_of(at.name.get()) - 1, 0.55);
        show(at.comment.get(), 0, time_top + time_height + 2, 0.13);
        cairo_restore(cr_);
    }
}

}  // namespace fotavi::diary_pdf_drawing
