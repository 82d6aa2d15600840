#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

#include "photo_diary/diary.h"
#include "photo_diary/diary_html.h"
#include "photo_diary/diary_pictures.h"

namespace fotavi {

struct DiaryPdf {
    WriteProblem problem;  // why it could not be made (its path left empty)
    bool cancelled = false;
};

// The photo diary as an A4 PDF drawn by cairo, its text laid out by Pango in
// Noto Sans CJK JP, subset-embedded, so it reads and searches as typed on
// any machine: the title, day headings, each entry's picture with its time
// and comment, page numbers, in the layout given. An entry is never split
// across pages unless it is taller than a page; a day heading never stays
// alone at a page's foot, and a day going on over a page break has its
// heading again, marked （つづき）. pictures runs parallel to entries.
// The PDF is handed to put as it is made, each page once it is drawn, so only
// the page being drawn is in memory (and the fonts' subsets, written last).
// go_on(done, total) is called as the entries are drawn; false cancels.
DiaryPdf write_diary_pdf(const DiarySink& put, const QString& title,
                         const std::vector<DiaryEntry>& entries, const DiaryPictures& pictures,
                         DiaryLayout layout = DiaryLayout::Standard,
                         const std::function<bool(int done, int total)>& go_on = {});

}  // namespace fotavi
