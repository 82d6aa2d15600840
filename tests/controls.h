#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

#include "app/widgets/main_window.h"

namespace fotavi {

// The control named name inside parent; a test without it cannot go on.
template <typename T = QWidget>
T* child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QLatin1String(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

// A window as the program starts it, with its own program folder and, when
// given, its settings file.
struct Window {
    QTemporaryDir program;
    MainWindow main{program.path(), program.path()};

    explicit Window(const QStringList& args = {}, const QByteArray& def_list = {}) {
        if (!def_list.isEmpty()) {
            QFile file(program.filePath("def_list.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(def_list);
        }
        main.commands().start_up(args, QDir::rootPath());
        main.show();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));
    }
};

// What a label or tool tip shows of text: Qt reads text that looks like
// markup as rich text unless it is told the text is plain.
inline QString shown(const QString& text, Qt::TextFormat format = Qt::AutoText) {
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// Closes every message box as soon as it shows, keeping "title|text" of each
// as it is shown.
class BoxCloser {
public:
    BoxCloser() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                    seen << box->windowTitle() + "|" + shown(label->text(), label->textFormat());
                box->close();
            }
        });
        timer_.start();
    }
    QStringList seen;

private:
    QTimer timer_;
};

}  // namespace fotavi
