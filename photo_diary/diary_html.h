#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

#include "photo_diary/diary.h"
#include "photo_diary/diary_pictures.h"

namespace fotavi {

// Text made safe inside HTML elements and quoted attributes: & < > " ' as
// character references, every line break as one LF, and the characters an
// HTML document may not hold (NUL and other controls, lone surrogates) as
// U+FFFD.
QString html_escape(QStringView text);

// Takes the next piece of a file being written; false when it cannot.
using DiarySink = std::function<bool(QByteArrayView piece)>;

// The photo diary as one self-contained HTML page (UTF-8), handed to put a
// piece at a time, one picture's data at most in memory: the title, each day
// under its heading, each entry with its picture (embedded JPEG data), time
// and comment; a placeholder with the reason where a picture could not be
// read. Its style sheet prints on A4 in the layout given, with no entry split
// across pages. pictures runs parallel to entries. Nothing in it runs as a
// script.
void write_diary_html(const DiarySink& put, const QString& title,
                      const std::vector<DiaryEntry>& entries, const DiaryPictures& pictures,
                      DiaryLayout layout = DiaryLayout::Standard);

}  // namespace fotavi
