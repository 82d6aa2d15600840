#pragma once

#include <QWidget>

namespace fotavi {

// The control named name inside parent; a test without it cannot go on.
template <typename T = QWidget>
T* child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QLatin1String(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

}  // namespace fotavi
