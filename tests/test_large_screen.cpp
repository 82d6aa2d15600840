#include <QLabel>
#include <QMenuBar>
#include <QSettings>

#include "album.h"
#include "app/widgets/large_screen.h"
#include "controls.h"

using namespace fotavi;

namespace {

// Every named control's geometry and the window's size: the fixed layout as drawn.
QStringList geometries(QWidget& window) {
    QStringList all{QStringLiteral("window %1x%2").arg(window.width()).arg(window.height())};
    for (const QWidget* widget : window.findChildren<QWidget*>())
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_") &&
            widget->isVisibleTo(&window))
            all << widget->objectName() + u' ' +
                       QStringLiteral("%1,%2 %3x%4")
                           .arg(widget->x())
                           .arg(widget->y())
                           .arg(widget->width())
                           .arg(widget->height());
    return all;
}

}  // namespace

// The large-screen mode: the window grows with the picture and comment box,
// says where one is, and turned off is its fixed layout again, exactly.
class TestLargeScreen : public QObject {
    Q_OBJECT
private slots:
    void on_and_off_data() {
        QTest::addColumn<QByteArray>("def_list");
        QTest::newRow("small layout") << QByteArray();
        QTest::newRow("large layout") << QByteArray("True\r\na\r\nb\r\nc\r\nd\r\n");
    }
    void on_and_off() {
        QFETCH(QByteArray, def_list);
        Album album;
        for (int i = 0; i < 3; ++i)
            album.add(QStringLiteral("P%1.JPG").arg(i), at(2024, 5, 4, 9, i), QSize(1600, 1200));
        QTemporaryDir config;
        const QString choices = config.filePath("windows.ini");
        Window w({album.file("P0.JPG")}, def_list);
        LargeScreen large(w.main, w.main, w.main.commands(), choices);
        const QStringList fixed = geometries(w.main);
        const QSize box = child(w.main, "Image1")->size();
        const int comment = child(w.main, "comment")->height();

        QVERIFY(w.main.findChild<QAction*>("large_screen_action"));
        const Qt::WindowFlags flags = w.main.windowFlags();
        large.set_on(true);
        QVERIFY(w.main.windowFlags() & Qt::WindowMaximizeButtonHint);
        w.main.resize(1500, 1100);
        QTRY_VERIFY(child(w.main, "Image1")->width() > 1400);
        QVERIFY(child(w.main, "Image1")->height() > box.height());
        QVERIFY(child(w.main, "comment")->height() > 2 * comment);
        QCOMPARE(child<QLabel>(w.main, "large_screen_status")->text(),
                 QStringLiteral("1 / 3 枚目　コメント 0 / 3"));
        // Decoded anew for the larger box, once resizing pauses.
        auto* picture = static_cast<PictureBox*>(child(w.main, "Image1"));
        QTRY_VERIFY(picture->picture().width() > box.width());
        QVERIFY(QSettings(choices, QSettings::IniFormat).value("large_screen/on").toBool());

        large.set_on(false);
        QCOMPARE(geometries(w.main), fixed);
        QCOMPARE(w.main.windowFlags(), flags);
        QTRY_COMPARE(picture->picture().size(), box);  // decoded anew for the box
        QVERIFY(!QSettings(choices, QSettings::IniFormat).value("large_screen/on").toBool());
    }
};

QTEST_MAIN(TestLargeScreen)
#include "test_large_screen.moc"
