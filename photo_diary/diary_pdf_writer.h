#pragma once

// The photo diary's PDF writer, shared by the files that draw its blocks:
// diary_pdf.cpp (the pages, the title, the days, one entry a row) and
// diary_pdf_grid.cpp (rows of entries in columns).

#include <QSizeF>

#include <functional>
#include <memory>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "photo_diary/diary_pdf.h"
#include "photo_diary/page_layout.h"
#include "platform/text_file.h"

namespace fotavi::diary_pdf_drawing {

// A4 in points, and the page's margins.
constexpr double kPageWidth = 595.276;
constexpr double kPageHeight = 841.890;
constexpr double kMarginSide = 51;  // 18 mm
constexpr double kMarginTop = 48;
constexpr double kMarginBottom = 62;  // the page number sits in it
constexpr double kContentWidth = kPageWidth - 2 * kMarginSide;
constexpr double kContentHeight = kPageHeight - kMarginTop - kMarginBottom;
// An entry: the picture in a box on the left, time and comment beside it.
constexpr double kPictureWidth = 198;  // 70 mm
constexpr double kPictureHeight = 150;
constexpr double kGutter = 14;
constexpr double kTextX = kPictureWidth + kGutter;
constexpr double kTextWidth = kContentWidth - kTextX;
constexpr double kEntrySpace = 14;  // below each entry

inline constexpr char kFont[] = "Noto Sans CJK JP";

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using Layout = std::unique_ptr<PangoLayout, LayoutDeleter>;

// Text Pango can take: valid UTF-8, with no controls but line breaks and tabs.
inline QByteArray pango_text(const QString& text) {
    QString clean = fold_line_breaks(text);
    for (QChar& c : clean) {
        if ((c.unicode() < 0x20 && c != u'\n' && c != u'\t') || c.unicode() == 0x7F)
            c = QChar(0xFFFD);
    }
    return clean.toUtf8();
}

// How many entries a row holds side by side in a layout, and their sizes.
struct Grid {
    int columns = 1;
    double picture_height = kPictureHeight;  // the box a picture is fitted into
    double time_size = 11;                   // points
    double comment_size = 10.5;
    int comment_lines = 0;  // the most lines of comment shown; 0: all
    double space = kEntrySpace;
    double gutter = 14;  // between columns
    double cell_width() const { return (kContentWidth - gutter * (columns - 1)) / columns; }
};
Grid grid_of(DiaryLayout layout);

class Writer {
public:
    Writer(const DiarySink& put, const QString& title, const std::vector<DiaryEntry>& entries,
           const DiaryPictures& pictures, DiaryLayout layout);
    ~Writer();
    DiaryPdf write(const std::function<bool(int, int)>& go_on);

private:
    // One entry of a row: its picture's drawn size and its texts.
    struct Cell {
        int entry = -1;
        Layout time, comment, name;
        QSizeF picture;
    };
    // What one layout block draws.
    struct Block {
        enum class Kind { Title, Day, Entry, Row } kind = Kind::Entry;
        int entry = -1;           // Entry: index into entries_
        int day = -1;             // Entry, Row: the day it belongs to
        Layout text, more, note;  // Title: title, summary; Day: heading; Entry: time, comment, name
        QSizeF picture;           // Entry: the picture's drawn size
        std::vector<Cell> cells;  // Row: its entries, left to right
        LayoutBlock layout;
    };

    Layout text_layout(const QString& text, const char* style, double size, double width) const;
    double height_of(PangoLayout* layout) const;
    void add_blocks();
    void add_title();
    void add_day(const QString& day);
    void add_entry(int index);
    void add_row(const std::vector<int>& indexes);
    Cell cell(int index) const;
    // An entry's or a row's texts are laid out to be measured, let go, and
    // laid out again to be drawn: the texts of one block at a time are held,
    // whatever the number of pictures.
    void lay_out_texts(Block& block) const;
    static void let_go_of_texts(Block& block);
    static void let_go_of_texts(Cell& cell);
    void draw(const Block& block);
    void draw_row(const Block& block);
    void draw_missing(const DiaryPicture& picture, QSizeF size);
    // The line bottoms of layout, offset by top, that lie below floor.
    static std::vector<double> line_breaks(PangoLayout* layout, double top, double floor);
    void draw_entry(const Block& block);
    void draw_picture(const DiaryPicture& picture, QSizeF size);
    void draw_page_number(int page, int pages);
    void show(PangoLayout* layout, double x, double y, double grey);

    double carry_of(int day);
    void draw_continued(int day);

    const QString title_;
    const std::vector<DiaryEntry>& entries_;
    const DiaryPictures& pictures_;
    const Grid grid_;
    std::vector<Layout> continued_;  // each day's heading again, made when first needed
    const DiarySink& put_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
    PangoContext* context_;
    std::vector<Block> blocks_;
};

}  // namespace fotavi::diary_pdf_drawing
