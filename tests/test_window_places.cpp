#include <QTest>

#include "screen/window_places.h"

using namespace fotavi;

// Where the overview opens: inside the screen's free area, beside the main
// window where there is room.
class TestWindowPlaces : public QObject {
    Q_OBJECT
private slots:
    void beside_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("main");  // the main window's frame
        QTest::addColumn<QSize>("wanted");
        QTest::addColumn<QRect>("placed");  // the contents' geometry
        const QSize overview(948, 760);
        QTest::newRow("1024x768: smaller, at the right edge, over the main window")
            << QRect(0, 0, 1024, 740) << QRect(0, 0, 680, 620) << overview
            << QRect(1024 - 949, 30, 948, 740 - 31);
        QTest::newRow("1600x1200: beside the main window, on its right")
            << QRect(0, 0, 1600, 1170) << QRect(0, 100, 600, 620) << overview
            << QRect(601, 130, 948, 760);
        QTest::newRow("1600x1200, no room beside: inside the screen, at its right edge")
            << QRect(0, 0, 1600, 1170) << QRect(0, 100, 660, 620) << overview
            << QRect(1600 - 949, 130, 948, 760);
        QTest::newRow("main window on the right: on its left")
            << QRect(0, 0, 1920, 1050) << QRect(1200, 0, 700, 600) << overview
            << QRect(1200 - 949, 30, 948, 760);
        QTest::newRow("low on the screen: moved up to fit")
            << QRect(0, 0, 1600, 1170) << QRect(0, 900, 600, 200) << overview
            << QRect(601, 1170 - 761, 948, 760);
        QTest::newRow("a second screen's area")
            << QRect(1920, 0, 1280, 1000) << QRect(1920, 0, 300, 300) << overview
            << QRect(2221, 30, 948, 760);
        QTest::newRow("never below the minimum")
            << QRect(0, 0, 300, 200) << QRect(0, 0, 100, 100) << overview
            << QRect(1, 30, 356, 320);
    }
    void beside() {
        QFETCH(QRect, available);
        QFETCH(QRect, main);
        QFETCH(QSize, wanted);
        QFETCH(QRect, placed);
        QCOMPARE(place_beside(available, main, wanted, QSize(356, 320), QMargins(1, 30, 1, 1)),
                 placed);
    }
};

QTEST_GUILESS_MAIN(TestWindowPlaces)
#include "test_window_places.moc"
