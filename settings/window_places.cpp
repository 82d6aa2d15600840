#include "settings/window_places.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace fotavi {

QRect place_beside(const QRect& available, const QRect& beside, QSize wanted, QSize minimum,
                   const QMargins& frame) {
    const QSize room = available.size().shrunkBy(frame);
    const QSize size = wanted.boundedTo(room).expandedTo(minimum);
    const QSize outer = size.grownBy(frame);
    int left = beside.right() + 1;  // on the right of the other window
    if (left + outer.width() > available.right() + 1) {
        left = beside.left() - outer.width();  // else on its left
        if (left < available.left()) left = available.right() + 1 - outer.width();
    }
    left = std::max(left, available.left());
    const int top = std::clamp(beside.top(), available.top(),
                               std::max(available.top(), available.bottom() + 1 - outer.height()));
    return QRect(QPoint(left + frame.left(), top + frame.top()), size);
}

QString window_choices_path() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("fotavi/windows.ini"));
}

WindowChoices read_window_choices(const QString& path) {
    const QSettings file(path, QSettings::IniFormat);
    WindowChoices choices;
    choices.large_screen = file.value(QStringLiteral("large_screen/on"), false).toBool();
    choices.large_geometry = file.value(QStringLiteral("large_screen/geometry")).toByteArray();
    choices.overview_size = file.value(QStringLiteral("overview/size")).toSize();
    return choices;
}

void write_window_choices(const WindowChoices& choices, const QString& path) {
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("large_screen/on"), choices.large_screen);
    file.setValue(QStringLiteral("large_screen/geometry"), choices.large_geometry);
    if (choices.overview_size.isValid())
        file.setValue(QStringLiteral("overview/size"), choices.overview_size);
    file.sync();
}

}  // namespace fotavi
