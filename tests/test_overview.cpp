#include <QTest>

#include "overview/overview_grid.h"
#include "overview/overview_model.h"
#include "platform/date_time.h"

using namespace fotavi;

namespace {

// A table of rows "yyyy-MM-dd hh:mm|comment", named P0, P1, ... in that order.
ImageTable table_of(const QStringList& rows) {
    ImageTable table;
    for (const QString& row : rows) {
        const QDateTime when =
            QDateTime::fromString(row.section(u'|', 0, 0), QStringLiteral("yyyy-MM-dd hh:mm"));
        table.names.push_back(QStringLiteral("P%1").arg(table.names.size()));
        table.dates.push_back(when.isValid() ? to_date_time(when.date(), when.time())
                                                : DateTime{999'999'999'999});
        table.comments.push_back(row.section(u'|', 1).replace(QStringLiteral("\\n"), "\n"));
    }
    return table;
}

// The list as "heading: P0 P1 | heading: P3".
QString listed(const OverviewModel& model) {
    QStringList groups;
    for (int g = 0; g < int(model.groups().size()); ++g) {
        const OverviewModel::Group& group = model.groups()[size_t(g)];
        QStringList names;
        for (int p = group.first; p < group.first + group.count; ++p) {
            names << model.name(p);
            if (model.group_of(p) != g) names << "(wrong group)";
        }
        groups << model.heading(g) + ": " + names.join(u' ');
    }
    return groups.join(" | ");
}

// Groups of the given sizes, one after another.
std::vector<OverviewModel::Group> groups_of(const QList<int>& sizes) {
    std::vector<OverviewModel::Group> groups;
    int first = 0;
    for (int n : sizes) {
        groups.push_back({first, n});
        first += n;
    }
    return groups;
}

OverviewGrid grid_of(const QList<int>& sizes, int columns) {
    OverviewGrid grid;
    grid.lay_out(groups_of(sizes), {QSize(100, 150), 40, columns});
    return grid;
}

}  // namespace

class TestOverview : public QObject {
    Q_OBJECT
private slots:
    // Days as the diary writes them: a new day at midnight, also before the
    // date count's first day; dates outside the calendar share one heading.
    void grouped_by_day_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("uncommented_only");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("count");
        const QStringList outing{"2001-09-02 05:10|station", "2001-09-02 10:40|",
                                 "2001-09-02 23:59|late", "2001-09-03 00:00|",
                                 "2001-09-03 08:30|home"};
        QTest::newRow("two days") << outing << false
                                  << "2001年9月2日(日): P0 P1 P2 | 2001年9月3日(月): P3 P4"
                                  << "コメント 3 / 5";
        QTest::newRow("uncommented only")
            << outing << true << "2001年9月2日(日): P1 | 2001年9月3日(月): P3"
            << "コメント 3 / 5";
        QTest::newRow("every picture commented, filtered")
            << QStringList{"2001-09-02 05:10|a", "2001-09-03 05:10|b"} << true << ""
            << "コメント 2 / 2";
        QTest::newRow("before the date count begins")
            << QStringList{"1899-12-29 23:00|", "1899-12-30 00:59|", "1899-12-30 01:00|"} << false
            << "1899年12月29日(金): P0 | 1899年12月30日(土): P1 P2"
            << "コメント 0 / 3";
        QTest::newRow("outside the calendar")
            << QStringList{"2001-09-02 05:10|", "garbage|a", "garbage|"} << false
            << "2001年9月2日(日): P0 | ----年--月--日(-): P1 P2"
            << "コメント 1 / 3";
        QTest::newRow("empty") << QStringList{} << false << ""
                               << "コメント 0 / 0";
    }
    void grouped_by_day() {
        QFETCH(QStringList, rows);
        QFETCH(bool, uncommented_only);
        QFETCH(QString, expected);
        QFETCH(QString, count);
        const ImageTable table = table_of(rows);
        OverviewModel model(table);
        model.set_uncommented_only(uncommented_only);
        QCOMPARE(listed(model), expected);
        QCOMPARE(model.count_text(), count);
        for (int p = 0; p < model.count(); ++p) QCOMPARE(model.position_of(model.picture_at(p)), p);
    }

    void first_line_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << ""
                              << "";
        QTest::newRow("one line") << "station"
                                  << "station";
        QTest::newRow("markup as typed") << "<b>x</b> </TD>"
                                         << "<b>x</b> </TD>";
        QTest::newRow("more lines")
            << QStringLiteral("一行目\n二行目") << QStringLiteral("一行目…");
        QTest::newRow("CR LF") << "a\r\nb" << QStringLiteral("a…");
        QTest::newRow("blank lines first") << "\n \n\tfoo"
                                           << "\tfoo";
        QTest::newRow("blank lines after") << "foo\n\n  "
                                           << "foo";
        QTest::newRow("line separator") << QStringLiteral("a\u2028b") << QStringLiteral("a…");
        QTest::newRow("only line breaks") << "\n\n\n" << QStringLiteral("（空白のみ）");
        QTest::newRow("only spaces")
            << QStringLiteral(" \u3000 ") << QStringLiteral("（空白のみ）");
        QTest::newRow("very long")
            << QString(70000, u'x') << QString(OverviewModel::kFirstLineLimit, u'x') + "…";
        QTest::newRow("just the limit") << QString(OverviewModel::kFirstLineLimit, u'x')
                                        << QString(OverviewModel::kFirstLineLimit, u'x');
    }
    void first_line() {
        QFETCH(QString, comment);
        QFETCH(QString, shown);
        QCOMPARE(OverviewModel::first_line(comment), shown);
    }

    // A comment typed elsewhere: the counts follow; with the filter on, the
    // picture leaves the list or comes back, and the one after it stands in.
    void follows_comments() {
        ImageTable table =
            table_of({"2001-09-02 05:10|", "2001-09-02 06:00|", "2001-09-03 07:00|x"});
        OverviewModel model(table);
        model.set_uncommented_only(true);
        QCOMPARE(listed(model), "2001年9月2日(日): P0 P1");
        table.comments[1] = "typed";
        QVERIFY(model.comment_changed(1));
        QCOMPARE(listed(model), "2001年9月2日(日): P0");
        QCOMPARE(model.count_text(), "コメント 2 / 3");
        QCOMPARE(model.position_of(1), -1);
        QCOMPARE(model.nearest_position(1), 0);  // none after it: the one before
        table.comments[1] = "typed more";
        QVERIFY(!model.comment_changed(1));
        table.comments[2].clear();
        QVERIFY(model.comment_changed(2));
        QCOMPARE(listed(model), "2001年9月2日(日): P0 | 2001年9月3日(月): P2");
        QCOMPARE(model.nearest_position(1), 1);  // P2
        model.set_uncommented_only(false);
        table.comments[0] = "a";
        QVERIFY(!model.comment_changed(0));
        QCOMPARE(model.count_text(), "コメント 2 / 3");
        // Listed anew with fewer pictures.
        table = table_of({"2001-09-04 07:00|"});
        model.reset();
        QCOMPARE(listed(model), "2001年9月4日(火): P0");
        QVERIFY(!model.comment_changed(5));
    }

    // Groups of 5, 2 and 7 pictures in 3 columns: positions 0-4, 5-6, 7-13.
    void grid_moves_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("move");
        QTest::addColumn<int>("to");
        using M = OverviewGrid::Move;
        QTest::newRow("right across a day") << 4 << int(M::Right) << 5;
        QTest::newRow("left at the start") << 0 << int(M::Left) << 0;
        QTest::newRow("right at the end") << 13 << int(M::Right) << 13;
        QTest::newRow("down a row") << 1 << int(M::Down) << 4;
        QTest::newRow("down to a shorter row") << 2 << int(M::Down) << 4;
        QTest::newRow("down into the next day") << 4 << int(M::Down) << 6;
        QTest::newRow("down into a day too short") << 6 << int(M::Down) << 8;
        QTest::newRow("down on the last row") << 13 << int(M::Down) << 13;
        QTest::newRow("up into the day before") << 5 << int(M::Up) << 3;
        QTest::newRow("up to a shorter row") << 9 << int(M::Up) << 6;
        QTest::newRow("up a row") << 12 << int(M::Up) << 9;
        QTest::newRow("up on the first row") << 2 << int(M::Up) << 2;
        QTest::newRow("page down") << 0 << int(M::PageDown) << 5;
        QTest::newRow("page up") << 13 << int(M::PageUp) << 7;
        QTest::newRow("home") << 9 << int(M::Home) << 0;
        QTest::newRow("end") << 1 << int(M::End) << 13;
    }
    void grid_moves() {
        QFETCH(int, from);
        QFETCH(int, move);
        QFETCH(int, to);
        const OverviewGrid grid = grid_of({5, 2, 7}, 3);
        QCOMPARE(grid.moved(from, OverviewGrid::Move(move), 300), to);  // a page of two rows
    }

    // Hit testing and the cells said to be in a band agree with the cells'
    // rectangles, whatever the columns, for bands across headings and rows.
    void grid_geometry_data() {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<int>("columns");
        QTest::newRow("days of many rows") << QList<int>{5, 2, 7} << 3;
        QTest::newRow("one column") << QList<int>{3, 1} << 1;
        QTest::newRow("wider than every day") << QList<int>{1, 4, 2} << 6;
        QTest::newRow("nothing") << QList<int>{} << 4;
    }
    void grid_geometry() {
        QFETCH(QList<int>, sizes);
        QFETCH(int, columns);
        const OverviewGrid grid = grid_of(sizes, columns);
        int rows = 0;
        for (int n : sizes) rows += (n + columns - 1) / columns;
        QCOMPARE(grid.height(), 40 * int(sizes.size()) + 150 * rows);
        for (int p = 0; p < grid.count(); ++p) {
            const QRect cell = grid.cell_rect(p);
            QCOMPARE(grid.position_at(cell.center()), p);
            QCOMPARE(grid.position_at(cell.topLeft()), p);
            QCOMPARE(grid.position_at(cell.bottomRight()), p);
        }
        for (int g = 0; g < int(sizes.size()); ++g)
            QCOMPARE(grid.position_at(grid.heading_rect(g).center()), -1);
        QCOMPARE(grid.position_at(QPoint(grid.width(), 45)), -1);
        for (int top = -50; top < grid.height() + 50; top += 35) {
            for (int height : {1, 40, 151, 400}) {
                QList<int> expected, cells, headings, expected_headings;
                for (int p = 0; p < grid.count(); ++p)
                    if (grid.cell_rect(p).intersects(QRect(-1, top, grid.width() + 2, height)))
                        expected << p;
                const auto [first, last] = grid.positions_between(top, top + height);
                for (int p = first; p <= last; ++p) cells << p;
                QCOMPARE(cells, expected);
                for (int g = 0; g < int(sizes.size()); ++g)
                    if (grid.heading_rect(g).intersects(QRect(0, top, grid.width(), height)))
                        expected_headings << g;
                const auto [from, to] = grid.groups_between(top, top + height);
                for (int g = from; g <= to; ++g) headings << g;
                QCOMPARE(headings, expected_headings);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestOverview)
#include "test_overview.moc"
