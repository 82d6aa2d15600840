#pragma once

#include <QByteArray>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

namespace fotavi {

// Where a new window goes: the contents' geometry of a window of size
// wanted (at least minimum, at most what fits) inside available, a screen's
// free area, whose frame adds frame. It goes beside the window whose frame is
// beside, on its right where there is room, else on its left; where neither
// has room it keeps inside the area, at its right edge.
QRect place_beside(const QRect& available, const QRect& beside, QSize wanted, QSize minimum,
                   const QMargins& frame);

// What the person chose about windows, kept per user in the desktop's
// configuration folder (fotavi/windows.ini), never in def_list.txt.
struct WindowChoices {
    bool large_screen = false;  // 表示 → 大きな画面で使う
    QSize overview_size;        // as last left; empty: none yet
    QByteArray large_geometry;  // the main window's, in the large-screen mode
};

// The file the choices are kept in.
QString window_choices_path();
WindowChoices read_window_choices(const QString& path = window_choices_path());
void write_window_choices(const WindowChoices& choices,
                          const QString& path = window_choices_path());

}  // namespace fotavi
