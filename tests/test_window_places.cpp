#include <QTest>

#include "settings/large_layout.h"
#include "settings/window_places.h"

using namespace fotavi;

class TestWindowPlaces : public QObject {
    Q_OBJECT
private slots:
    // The large-screen mode's controls: inside the window, apart, the picture
    // taking the room and the comment box growing with the window.
    void large_layout_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("picture");  // at least
        QTest::addColumn<int>("comment");    // the comment box's height, at least
        QTest::newRow("the smallest") << QSize(495, 445) << QSize(479, 300) << 60;
        QTest::newRow("1024x768") << QSize(1000, 700) << QSize(984, 500) << 120;
        QTest::newRow("1600x1200") << QSize(1580, 1120) << QSize(1560, 820) << 220;
        QTest::newRow("smaller than the smallest: as the smallest")
            << QSize(200, 100) << QSize(479, 300) << 60;
    }
    void large_layout() {
        QFETCH(QSize, client);
        QFETCH(QSize, picture);
        QFETCH(int, comment);
        const LargeLayout at = fotavi::large_layout(client);
        const QRect area(QPoint(0, 0), client.expandedTo(kLargeLayoutMinimum));
        const QRect all[] = {at.file_name,  at.file_date,  at.list,       at.picture,
                             at.comment,    at.presets[0], at.presets[1], at.presets[2],
                             at.presets[3], at.lower_case};
        for (size_t i = 0; i < std::size(all); ++i) {
            QVERIFY2(area.contains(all[i]) && !all[i].isEmpty(), qPrintable(QString::number(i)));
            for (size_t j = 0; j < i; ++j)
                QVERIFY2(!all[i].intersects(all[j]),
                         qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
        }
        QVERIFY(at.picture.width() >= picture.width() && at.picture.height() >= picture.height());
        QVERIFY(at.comment.height() >= comment);
    }

    // Where the overview opens: inside the screen's free area, beside the main
    // window where there is room.
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
            << QRect(0, 0, 300, 200) << QRect(0, 0, 100, 100) << overview << QRect(1, 30, 356, 320);
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
