#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

#include "photo_diary/diary.h"
#include "photo_diary/diary_pictures.h"

namespace fotavi {

// Text made safe inside HTML elements and quoted attributes: & < > " ' as
// character references, every line break as one LF, and the characters an
// HTML document may not hold (NUL and other controls, lone surrogates) as
// U+FFFD.
QString html_escape(QStringView text);

// The photo diary as one self-contained HTML page (UTF-8): the title, each
// day under its heading, each entry with its picture (embedded JPEG data),
// time and comment; a placeholder with the reason where a picture could not
// be read. Its style sheet prints on A4 in the layout given, with no entry
// split across pages. pictures runs parallel to entries. Nothing in it runs
// as a script.
QByteArray diary_html(const QString& title, const std::vector<DiaryEntry>& entries,
                      const std::vector<DiaryPicture>& pictures,
                      DiaryLayout layout = DiaryLayout::Standard);

}  // namespace fotavi
