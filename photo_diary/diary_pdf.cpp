#include "photo_diary/diary_pdf.h"

#include <QFileInfo>
#include <QImage>

#include <cerrno>
#include <memory>

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include "photo_diary/diary_pdf_writer.h"
#include "photo_diary/pdf_fonts.h"
#include "platform/text_file.h"

using namespace Qt::StringLiterals;

namespace fotavi {

namespace diary_pdf_drawing {

cairo_status_t put_bytes(void* closure, const unsigned char* data, unsigned int length) {
    const bool taken = (*static_cast<const DiarySink*>(closure))(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(length)));
    return taken ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

Writer::Writer(const DiarySink& put, const QString& title, const std::vector<DiaryEntry>& entries,
               const DiaryPictures& pictures, DiaryLayout layout)
    : title_(title), entries_(entries), pictures_(pictures), grid_(grid_of(layout)), put_(put) {
    surface_ = cairo_pdf_surface_create_for_stream(
        put_bytes, const_cast<DiarySink*>(&put_), kPageWidth, kPageHeight);
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, title.toUtf8().constData());
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "fotavi");
    cr_ = cairo_create(surface_);
    PangoFontMap* fonts = diary_font_map();
    context_ = pango_font_map_create_context(fonts);
    g_object_unref(fonts);  // the context keeps it
    pango_cairo_update_context(cr_, context_);
    // Points as the PDF counts them; Japanese forms and line breaking.
    pango_cairo_context_set_resolution(context_, 72);
    pango_context_set_language(context_, pango_language_from_string("ja"));
}

Writer::~Writer() {
    blocks_.clear();
    continued_.clear();
    g_object_unref(context_);
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

Layout Writer::text_layout(const QString& text, const char* style, double size,
                           double width) const {
    Layout layout(pango_layout_new(context_));
    PangoFontDescription* font = pango_font_description_from_string(kFont);
    pango_font_description_set_weight(
        font, qstrcmp(style, "bold") == 0 ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_size(font, int(size * PANGO_SCALE));
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    pango_layout_set_width(layout.get(), int(width * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    const QByteArray utf8 = pango_text(text);
    pango_layout_set_text(layout.get(), utf8.constData(), int(utf8.size()));
    return layout;
}

double Writer::height_of(PangoLayout* layout) const {
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    return double(height) / PANGO_SCALE;
}

void Writer::add_title() {
    Block block;
    block.kind = Block::Kind::Title;
    block.text = text_layout(title_, "bold", 20, kContentWidth);
    const std::vector<DiaryDay> days = group_by_day(entries_);
    QString summary = QStringLiteral("写真 %1 枚").arg(entries_.size());
    if (!days.empty()) {
        QString span = days.front().day;
        if (days.size() > 1) span += u" ～ "_s + days.back().day;
        summary = span + u"　"_s + summary;
    }
    block.more = text_layout(summary, "", 10, kContentWidth);
    block.layout.height = height_of(block.text.get()) + 4 + height_of(block.more.get()) + 10;
    block.layout.keep_with_next = true;
    blocks_.push_back(std::move(block));
}

void Writer::add_day(const QString& day) {
    Block block;
    block.kind = Block::Kind::Day;
    block.text = text_layout(day, "bold", 14, kContentWidth);
    block.layout.height = 12 + height_of(block.text.get()) + 12;
    block.layout.keep_with_next = true;
    blocks_.push_back(std::move(block));
}

void Writer::add_entry(int index) {
    const DiaryPicture& picture = pictures_.shape(index);
    Block block;
    block.kind = Block::Kind::Entry;
    block.entry = index;
    lay_out_texts(block);
    block.picture =
        !pictures_.has_jpeg(index)
            ? QSizeF(kPictureWidth, kPictureWidth * 3 / 4)
            : QSizeF(picture.size).scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio);
    const double comment_top = height_of(block.text.get()) + 4;
    double text_bottom = comment_top;
    // The bottoms of the comment's lines below the picture: where a comment
    // longer than a page may go on to the next.
    PangoLayoutIter* line = pango_layout_get_iter(block.more.get());
    do {
        int top = 0, bottom = 0;
        pango_layout_iter_get_line_yrange(line, &top, &bottom);
        text_bottom = comment_top + double(bottom) / PANGO_SCALE;
        if (text_bottom > block.picture.height()) block.layout.breaks.push_back(text_bottom);
    } while (pango_layout_iter_next_line(line));
    pango_layout_iter_free(line);
    block.layout.height = std::max(block.picture.height(), text_bottom) + kEntrySpace;
    let_go_of_texts(block);
    blocks_.push_back(std::move(block));
}

void Writer::lay_out_texts(Block& block) const {
    if (block.kind == Block::Kind::Row) {
        for (Cell& made : block.cells)
            if (!made.time) made = cell(made.entry);
    } else if (block.kind == Block::Kind::Entry && !block.text) {
        const DiaryEntry& entry = entries_[size_t(block.entry)];
        block.text = text_layout(entry.time, "bold", 11, kTextWidth);
        block.more = text_layout(entry.comment, "", 10.5, kTextWidth);
        block.note = text_layout(QFileInfo(entry.picture_path).fileName(), "", 8, kTextWidth);
    }
}

void Writer::let_go_of_texts(Cell& cell) {
    cell.time.reset();
    cell.comment.reset();
    cell.name.reset();
}

void Writer::let_go_of_texts(Block& block) {
    for (Cell& made : block.cells) let_go_of_texts(made);
    if (block.kind == Block::Kind::Entry) {
        block.text.reset();
        block.more.reset();
        block.note.reset();
    }
}

void Writer::show(PangoLayout* layout, double x, double y, double grey) {
    cairo_set_source_rgb(cr_, grey, grey, grey);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout);
}

void Writer::draw(const Block& block) {
    switch (block.kind) {
        case Block::Kind::Title:
            show(block.text.get(), 0, 0, 0.1);
            show(block.more.get(), 0, height_of(block.text.get()) + 4, 0.4);
            break;
        case Block::Kind::Day: {
            const double bottom = 12 + height_of(block.text.get());
            show(block.text.get(), 0, 12, 0.1);
            cairo_set_source_rgb(cr_, 0.54, 0.67, 0.4);
            cairo_rectangle(cr_, 0, bottom + 3, kContentWidth, 1.5);
            cairo_fill(cr_);
            break;
        }
        case Block::Kind::Entry:
            draw_entry(block);
            break;
        case Block::Kind::Row:
            draw_row(block);
            break;
    }
}

void Writer::draw_entry(const Block& block) {
    const DiaryPicture picture = pictures_.read(block.entry);
    cairo_save(cr_);
    cairo_translate(cr_, (kPictureWidth - block.picture.width()) / 2, 0);
    draw_picture(picture, block.picture);
    cairo_restore(cr_);
    if (!pictures_.has_jpeg(block.entry)) {
        Layout why = text_layout(u"表示できません\n"_s + picture.error, "", 9, kPictureWidth - 20);
        pango_layout_set_alignment(why.get(), PANGO_ALIGN_CENTER);
        show(why.get(), 10, (block.picture.height() - height_of(why.get())) / 2, 0.35);
    }
    const double time_height = height_of(block.text.get());
    show(block.text.get(), kTextX, 0, 0.1);
    int time_width = 0;
    pango_layout_get_size(block.text.get(), &time_width, nullptr);
    pango_layout_set_width(block.note.get(), -1);
    show(block.note.get(), kTextX + double(time_width) / PANGO_SCALE + 8,
         time_height - height_of(block.note.get()) - 1, 0.55);
    show(block.more.get(), kTextX, time_height + 4, 0.13);
}

void free_bytes(void* bytes) { delete static_cast<QByteArray*>(bytes); }

// The picture drawn at size from its own pixels; the PDF carries its JPEG
// data as it is (cairo writes the attached JPEG rather than the pixels).
void Writer::draw_picture(const DiaryPicture& picture, QSizeF size) {
    QImage image;
    if (!picture.jpeg.isEmpty()) image.loadFromData(picture.jpeg, "jpeg");
    if (image.isNull()) {
        cairo_set_source_rgb(cr_, 0.93, 0.93, 0.93);
        cairo_rectangle(cr_, 0, 0, size.width(), size.height());
        cairo_fill_preserve(cr_);
        cairo_set_source_rgb(cr_, 0.6, 0.6, 0.6);
        cairo_set_line_width(cr_, 0.8);
        cairo_stroke(cr_);
        return;
    }
    image = image.convertToFormat(QImage::Format_RGB32);
    cairo_surface_t* pixels =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width(), image.height());
    cairo_surface_flush(pixels);
    const int stride = cairo_image_surface_get_stride(pixels);
    unsigned char* data = cairo_image_surface_get_data(pixels);
    for (int y = 0; y < image.height(); ++y)
        memcpy(data + y * stride, image.constScanLine(y), size_t(image.width()) * 4);
    cairo_surface_mark_dirty(pixels);
    auto* jpeg = new QByteArray(picture.jpeg);
    cairo_surface_set_mime_data(pixels, CAIRO_MIME_TYPE_JPEG,
                                reinterpret_cast<const unsigned char*>(jpeg->constData()),
                                (unsigned long)(jpeg->size()), free_bytes, jpeg);
    cairo_save(cr_);
    cairo_scale(cr_, size.width() / image.width(), size.height() / image.height());
    cairo_set_source_surface(cr_, pixels, 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(pixels);
}

void Writer::draw_page_number(int page, int pages) {
    Layout number =
        text_layout(QStringLiteral("%1 / %2").arg(page + 1).arg(pages), "", 9, kContentWidth);
    pango_layout_set_alignment(number.get(), PANGO_ALIGN_CENTER);
    show(number.get(), kMarginSide, kPageHeight - kMarginBottom + 24, 0.45);
}

// The room a day's heading takes again at the top of a page the day goes on to.
double Writer::carry_of(int day) { return 12 + height_of(continued_[size_t(day)].get()) + 12; }

void Writer::draw_continued(int day) {
    Block heading;
    heading.kind = Block::Kind::Day;
    heading.text.reset(static_cast<PangoLayout*>(g_object_ref(continued_[size_t(day)].get())));
    draw(heading);
}

// The title, then each day's heading and its entries, one a block or a row
// of them; the blocks of a day keep room for its heading again.
void Writer::add_blocks() {
    add_title();
    const std::vector<DiaryDay> days = group_by_day(entries_);
    for (size_t d = 0; d < days.size(); ++d) {
        add_day(days[d].day);
        continued_.push_back(
            text_layout(days[d].day + QStringLiteral("（つづき）"), "bold", 14, kContentWidth));
        std::vector<int> row;
        for (const DiaryEntry* entry : days[d].entries) {
            row.push_back(int(entry - entries_.data()));
            if (grid_.columns == 1) {
                add_entry(row.front());
                row.clear();
            } else if (int(row.size()) == grid_.columns) {
                add_row(row);
                row.clear();
            } else {
                continue;
            }
            blocks_.back().day = int(d);
        }
        if (!row.empty()) {
            add_row(row);
            blocks_.back().day = int(d);
        }
    }
    for (Block& block : blocks_)
        if (block.day >= 0) block.layout.carry = carry_of(block.day);
}

DiaryPdf Writer::write(const std::function<bool(int, int)>& go_on) {
    add_blocks();
    std::vector<LayoutBlock> layout;
    for (const Block& block : blocks_) layout.push_back(block.layout);
    const std::vector<BlockPlacement> placements = lay_out_pages(layout, kContentHeight);
    const int pages = page_count(placements);
    DiaryPdf result;
    for (size_t i = 0; i < placements.size(); ++i) {
        const BlockPlacement& at = placements[i];
        if (at.carried) {
            cairo_save(cr_);
            cairo_translate(cr_, kMarginSide, kMarginTop);
            draw_continued(blocks_[size_t(at.block)].day);
            cairo_restore(cr_);
        }
        cairo_save(cr_);
        cairo_rectangle(cr_, kMarginSide, kMarginTop + at.y, kContentWidth, at.to - at.from);
        cairo_clip(cr_);
        cairo_translate(cr_, kMarginSide, kMarginTop + at.y - at.from);
        Block& block = blocks_[size_t(at.block)];
        lay_out_texts(block);
        draw(block);
        if (i + 1 == placements.size() || placements[i + 1].block != at.block)
            let_go_of_texts(block);
        cairo_restore(cr_);
        if (i + 1 == placements.size() || placements[i + 1].page != at.page) {
            draw_page_number(at.page, pages);
            cairo_show_page(cr_);
            // A file that takes no more (a full disk): the rest is not drawn.
            if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) break;
        }
        if (go_on && !go_on(int(i + 1), int(placements.size()))) {
            result.cancelled = true;
            return result;
        }
    }
    cairo_surface_finish(surface_);
    const cairo_status_t status = cairo_surface_status(surface_);
    if (status != CAIRO_STATUS_SUCCESS) {
        result.problem = status == CAIRO_STATUS_NO_MEMORY
                             ? system_write_problem({}, ENOMEM)
                             : WriteProblem{WriteProblem::Kind::Drawing,
                                            {},
                                            0,
                                            QString::fromUtf8(cairo_status_to_string(status))};
        return result;
    }
    return result;
}

}  // namespace diary_pdf_drawing

DiaryPdf write_diary_pdf(const DiarySink& put, const QString& title,
                         const std::vector<DiaryEntry>& entries, const DiaryPictures& pictures,
                         DiaryLayout layout, const std::function<bool(int done, int total)>& go_on) {
    diary_pdf_drawing::Writer writer(put, title, entries, pictures, layout);
    return writer.write(go_on);
}

}  // namespace fotavi
