#pragma once

#include <QRect>
#include <QSize>

namespace fotavi {

// Where the main window's controls go in the large-screen mode, for a client
// area of the given size (pixels): the buttons and the file name on top as in
// the fixed layouts, the list button at the right; the picture box takes the
// room left; the comment box grows with the window, the preset buttons and
// 小文字 on its right.
struct LargeLayout {
    QRect file_name, file_date, list;
    QRect picture;
    QRect comment;
    QRect presets[4];
    QRect lower_case;
};

// The smallest client area the layout is made for: the smaller fixed layout's.
inline constexpr QSize kLargeLayoutMinimum(495, 445);

LargeLayout large_layout(QSize client);

}  // namespace fotavi
