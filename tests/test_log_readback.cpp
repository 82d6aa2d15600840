#include <algorithm>
#include <cstring>
#include <random>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "album.h"
#include "time_log/log_readback.h"
#include "time_log/old_log.h"
#include "time_log/time_log.h"
#include "platform/text_file.h"

using namespace fotavi;

namespace {

// Pictures on 2 and 3 September 2001, given as "d hh:mm:ss".
ImageTable pictures(const QStringList& times) {
    ImageTable t;
    for (const QString& s : times) {
        const QDateTime when(QDate(2001, 9, s.section(u' ', 0, 0).toInt()),
                             QTime::fromString(s.section(u' ', 1), QStringLiteral("HH:mm:ss")));
        t.names.push_back(QStringLiteral("p%1.jpg").arg(t.count()));
        t.dates.push_back(to_date_time(when));
        t.comments.emplace_back();
    }
    return t;
}

QByteArray garbage(int size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char& b : bytes) b = char(random() & 0xFF);
    return bytes;
}

}  // namespace

class TestLogReadback : public QObject {
    Q_OBJECT

private slots:
    void round_trip_data();
    void round_trip();
    void damaged_file_data();
    void damaged_file();
    void placing_data();
    void placing();
    void every_cut_keeps_the_entries_before_it();
};

void TestLogReadback::round_trip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("the outing, fifteen lines") << cp932(kOutingLog) << outing_rows();
    QTest::newRow("no comment at all, five lines")
        << QByteArray("\r\n\r\n\r\n<TABLE BORDER=1>\r\n</TABLE>\r\n") << QStringList();

    // Comments hold anything; where a line of one looks like a row, a day or
    // the table's frame, the diary above the table tells what was written.
    const QStringList rows[] = {
        {kDay2 + "|05:10|two\nlines", kDay2 + "|05:10|\nstarts and ends empty\n\n"},
        {kDay2 + "|05:10|<b>A&B</b> < & >", kDay2 + "|06:00|a</TD></TR>\n<TR><TD>06:00</TD><TD>b",
         kDay2 + "|07:00|x</TD></TR>"},
        {kDay2 + "|05:10|\n\n\n\n<TABLE BORDER=1>\n</TABLE>\nend",
         kDay3 + "|05:10|" + kDay2 + "\n08:30 x"},
        {kDay2 + "|05:10|  ", kDay2 + "|05:10| "},
        {kDay2 + "|23:59|night", kDay3 + "|00:00|dawn", kDay3 + "|00:00|dawn"},
    };
    const char* names[] = {"multi-line comments", "markup, even whole rows, in comments",
                           "frame and diary lines in comments", "spaces only",
                           "two days, same minute twice"};
    for (int i = 0; i < 5; ++i) QTest::newRow(names[i]) << written(rows[i]) << rows[i];
}

void TestLogReadback::round_trip() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    const LogRead read = read_log(bytes);
    QCOMPARE(rows_of(read.entries), entries);
    QCOMPARE(log_bytes(read.entries).bytes, bytes);
    QVERIFY(read.faithful);
    QCOMPARE(read.not_understood, 0);
    QVERIFY(!read.cut_short && !read.not_cp932);
}

void TestLogReadback::damaged_file_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("not_understood");  // -1: some
    QTest::addColumn<bool>("not_cp932");
    QTest::addColumn<bool>("cut_short");

    const QByteArray outing = cp932(kOutingLog);
    const QStringList all = outing_rows();
    const qsizetype lunch_row = outing.indexOf("<TR><TD>12:15");

    QTest::newRow("empty") << QByteArray() << QStringList() << 0 << false << true;
    QTest::newRow("LF only") << QByteArray(outing).replace("\r\n", "\n") << all << 0 << false
                             << false;
    QTest::newRow("no line break after </TABLE>")
        << outing.chopped(2) << all << 0 << false << false;
    // The diary, written first, gives what the cut table lacks.
    QTest::newRow("cut in a row") << outing.left(lunch_row + 24) << all << 0 << false << true;
    QTest::newRow("cut before the table")
        << outing.left(outing.indexOf("\r\n\r\n") + 2) << all << 0 << false << true;
    QTest::newRow("cut in the diary")
        << outing.left(outing.indexOf("lunch") + 2) << QStringList{all[0]} << 1 << false << true;
    QTest::newRow("diary edited by hand")
        << QByteArray(outing).replace("05:10 station", "05:10 " + cp932(QStringLiteral("駅")))
        << all << 0 << false << false;
    QTest::newRow("rows not understood, rows before any day")
        << cp932(QStringLiteral("\r\n<TABLE BORDER=1>\r\n<TR><TD>05:10</TD><TD>early</TD></TR>\r\n"
                                "<TR><TD>broken\r\nhello\r\n<TR><TD COLSPAN=\"2\">%1</TD></TR>\r\n"
                                "<TR><TD>05:10</TD><TD>a\r\n<TR><TD>06:00</TD><TD>b</TD></TR>\r\n"
                                "</TABLE>\r\nafter the end\r\n")
                     .arg(kDay2))
        << QStringList{"|05:10|early", kDay2 + "|06:00|b"} << 4 << false << false;
    QTest::newRow("tags in small letters, blanks, times without a zero")
        << QByteArray("<table border=1>\n <tr><td colspan=2>") + cp932(kDay2) +
               "</td></tr>\n <tr><td>5:10</td><td>station</td> </tr>\n</table>\n"
        << QStringList{all[0]} << 0 << false << false;
    QTest::newRow("not code page 932")
        << QByteArray(outing).replace("station", "st\xff\xfe")
        << QStringList{kDay2 + "|05:10|st\uFFFD\uFFFD", all[1], all[2]} << 0 << true << false;
    QTest::newRow("saved as UTF-8") << kOutingLog.toUtf8() << all << 0 << true << false;
    QTest::newRow("random bytes") << garbage(4096, 1) << QStringList() << -1 << true << true;
    QTest::newRow("10 MB of garbage")
        << garbage(10 << 20, 2) << QStringList() << -1 << true << true;
}

// Whatever the file holds, what can be read is read, the rest is counted,
// and the file is never taken for one the writer made.
void TestLogReadback::damaged_file() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    QFETCH(int, not_understood);
    QFETCH(bool, not_cp932);
    QFETCH(bool, cut_short);
    const LogRead read = read_log(bytes);
    QCOMPARE(rows_of(read.entries), entries);
    if (not_understood < 0)
        QVERIFY(read.not_understood > 0);
    else
        QCOMPARE(read.not_understood, not_understood);
    QCOMPARE(read.not_cp932, not_cp932);
    QCOMPARE(read.cut_short, cut_short);
    QVERIFY(!read.faithful);
}

void TestLogReadback::placing_data() {
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("comments");
    QTest::addColumn<int>("unplaced");

    QTest::newRow("as many entries as pictures, in table order")
        << QStringList{"2 05:10:13", "2 10:40:05", "2 10:40:50", "3 08:30:00"}
        << QStringList{kDay2 + "|05:10|a", kDay2 + "|10:40|b", kDay3 + "|08:30|d",
                       kDay2 + "|10:40|c"}
        << QStringList{"a", "b", "c", "d"} << 0;
    QTest::newRow("fewer entries than pictures: none of that minute")
        << QStringList{"2 10:40:01", "2 10:40:02", "2 10:40:03", "2 12:15:00"}
        << QStringList{kDay2 + "|10:40|x", kDay2 + "|10:40|y", kDay2 + "|12:15|lunch"}
        << QStringList{"", "", "", "lunch"} << 2;
    QTest::newRow("more entries than pictures")
        << QStringList{"2 10:40:00"} << QStringList{kDay2 + "|10:40|x", kDay2 + "|10:40|y"}
        << QStringList{""} << 2;
    QTest::newRow("minutes without a picture, no day")
        << QStringList{"2 10:40:00"}
        << QStringList{kDay3 + "|10:40|next day", kDay2 + "|10:41|next minute", "|10:40|no day"}
        << QStringList{""} << 3;
}

void TestLogReadback::placing() {
    QFETCH(QStringList, times);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, comments);
    QFETCH(int, unplaced);
    const Placement placement = place_entries(pictures(times), entries_of(entries));
    QCOMPARE(QStringList(placement.comments.begin(), placement.comments.end()), comments);
    QCOMPARE(int(placement.unplaced.size()), unplaced);
}

// A diary cut anywhere, as a full disk or a pulled card leaves it, still
// gives every entry whose line was whole, and nothing that was not written.
void TestLogReadback::every_cut_keeps_the_entries_before_it() {
    const QByteArray outing = cp932(kOutingLog);
    const std::vector<LogEntry> all = entries_of(outing_rows());
    std::vector<qsizetype> line_ends;  // where each entry's diary line ends
    for (const char* line : {"05:10 station\r\n", "12:15 lunch\r\n", "08:30 home\r\n"})
        line_ends.push_back(outing.indexOf(line) + qsizetype(std::strlen(line)));
    for (qsizetype cut = 0; cut <= outing.size(); ++cut) {
        const LogRead read = read_log(outing.left(cut));
        const auto whole = std::count_if(line_ends.begin(), line_ends.end(),
                                         [cut](qsizetype end) { return end <= cut; });
        const std::vector<LogEntry> prefix(all.begin(),
                                           all.begin() + qsizetype(read.entries.size()));
        QVERIFY2(
            read.entries.size() >= size_t(whole) && read.entries.size() <= all.size() &&
                read.entries == prefix,
            qPrintable(
                QStringLiteral("cut at %1: %2").arg(cut).arg(rows_of(read.entries).join(u" / "))));
        QCOMPARE(read.faithful, cut == outing.size());
    }
}

QTEST_GUILESS_MAIN(TestLogReadback)
#include "test_log_readback.moc"
