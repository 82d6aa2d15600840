#include <random>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "log/log_readback.h"
#include "log/old_log.h"
#include "log/time_log.h"
#include "platform/text_file.h"

using namespace fotavi;

namespace {

const QString day2 = QStringLiteral("2001年9月2日(日)");
const QString day3 = QStringLiteral("2001年9月3日(月)");

// Entries are written "day|time|comment" in the rows below.
std::vector<LogEntry> entries_of(const QStringList& rows) {
    std::vector<LogEntry> entries;
    for (const QString& r : rows)
        entries.push_back({r.section(u'|', 0, 0), r.section(u'|', 1, 1), r.section(u'|', 2)});
    return entries;
}

QStringList rows_of(const std::vector<LogEntry>& entries) {
    QStringList rows;
    for (const LogEntry& e : entries) rows << e.day + u'|' + e.time + u'|' + e.comment;
    return rows;
}

QByteArray written(const QStringList& rows) { return log_bytes(entries_of(rows)).bytes; }
QByteArray cp932(const QString& text) { return encode_cp932(text).bytes; }

// Pictures on 2 and 3 September 2001, given as "d hh:mm:ss".
ImageTable pictures(const QStringList& times) {
    ImageTable t;
    for (const QString& s : times) {
        const QDateTime when(QDate(2001, 9, s.section(u' ', 0, 0).toInt()),
                             QTime::fromString(s.section(u' ', 1), QStringLiteral("HH:mm:ss")));
        t.img_name.push_back(QStringLiteral("p%1.jpg").arg(t.img_count()));
        t.img_date.push_back(to_date_time(when));
        t.img_comment.emplace_back();
    }
    return t;
}

// The four pictures of one outing, entry 1 without a comment.
const QString kOuting = QStringLiteral(
    "2001年9月2日(日)\r\n05:10 station\r\n12:15 lunch\r\n2001年9月3日(月)\r\n08:30 home\r\n"
    "\r\n\r\n\r\n<TABLE BORDER=1>\r\n"
    "<TR><TD COLSPAN=\"2\">2001年9月2日(日)</TD></TR>\r\n"
    "<TR><TD>05:10</TD><TD>station</TD></TR>\r\n<TR><TD>12:15</TD><TD>lunch</TD></TR>\r\n"
    "<TR><TD COLSPAN=\"2\">2001年9月3日(月)</TD></TR>\r\n"
    "<TR><TD>08:30</TD><TD>home</TD></TR>\r\n</TABLE>\r\n");

QStringList outing_rows() {
    return {day2 + "|05:10|station", day2 + "|12:15|lunch", day3 + "|08:30|home"};
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
    void keeping_the_old_file_data();
    void keeping_the_old_file();
    void old_file_is_kept_under_a_free_name();
};

void TestLogReadback::round_trip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("the outing, fifteen lines") << cp932(kOuting) << outing_rows();
    QTest::newRow("no comment at all, five lines")
        << QByteArray("\r\n\r\n\r\n<TABLE BORDER=1>\r\n</TABLE>\r\n") << QStringList();

    // Comments hold anything; where a line of one looks like a row, a day or
    // the table's frame, the diary above the table tells what was written.
    const QStringList rows[] = {
        {day2 + "|05:10|two\nlines", day2 + "|05:10|\nstarts and ends empty\n\n"},
        {day2 + "|05:10|<b>A&B</b> < & >", day2 + "|06:00|a</TD></TR>\n<TR><TD>06:00</TD><TD>b",
         day2 + "|07:00|x</TD></TR>"},
        {day2 + "|05:10|\n\n\n\n<TABLE BORDER=1>\n</TABLE>\nend",
         day3 + "|05:10|" + day2 + "\n08:30 x"},
        {day2 + "|05:10|  ", day2 + "|05:10| "},
        {day2 + "|23:59|night", day3 + "|00:00|dawn", day3 + "|00:00|dawn"},
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

    const QByteArray outing = cp932(kOuting);
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
                     .arg(day2))
        << QStringList{"|05:10|early", day2 + "|06:00|b"} << 4 << false << false;
    QTest::newRow("tags in small letters, blanks, times without a zero")
        << QByteArray("<table border=1>\n <tr><td colspan=2>") + cp932(day2) +
               "</td></tr>\n <tr><td>5:10</td><td>station</td> </tr>\n</table>\n"
        << QStringList{all[0]} << 0 << false << false;
    QTest::newRow("not code page 932")
        << QByteArray(outing).replace("station", "st\xff\xfe")
        << QStringList{day2 + "|05:10|st\uFFFD\uFFFD", all[1], all[2]} << 0 << true << false;
    QTest::newRow("saved as UTF-8") << kOuting.toUtf8() << all << 0 << true << false;
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
        << QStringList{day2 + "|05:10|a", day2 + "|10:40|b", day3 + "|08:30|d", day2 + "|10:40|c"}
        << QStringList{"a", "b", "c", "d"} << 0;
    QTest::newRow("fewer entries than pictures: none of that minute")
        << QStringList{"2 10:40:01", "2 10:40:02", "2 10:40:03", "2 12:15:00"}
        << QStringList{day2 + "|10:40|x", day2 + "|10:40|y", day2 + "|12:15|lunch"}
        << QStringList{"", "", "", "lunch"} << 2;
    QTest::newRow("more entries than pictures")
        << QStringList{"2 10:40:00"} << QStringList{day2 + "|10:40|x", day2 + "|10:40|y"}
        << QStringList{""} << 2;
    QTest::newRow("minutes without a picture, no day")
        << QStringList{"2 10:40:00"}
        << QStringList{day3 + "|10:40|next day", day2 + "|10:41|next minute", "|10:40|no day"}
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

void TestLogReadback::keeping_the_old_file_data() {
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QStringList>("fresh");   // the entries the new file holds
    QTest::addColumn<QStringList>("logged");  // each picture's comment as last logged
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("dropped");

    const QStringList all = outing_rows();
    const QByteArray outing = cp932(kOuting);
    const QString x = day2 + "|10:40|x";

    QTest::newRow("unchanged") << outing << all << all << false << 0;
    QTest::newRow("a comment changed")
        << outing << QStringList{all[0], day2 + "|12:15|昼食", all[2]} << all << false << 0;
    QTest::newRow("a comment cleared")
        << outing << QStringList{all[0], all[2]} << all << false << 0;
    QTest::newRow("picture gone from the folder")
        << outing << QStringList{all[0], all[1]} << QStringList{all[0], all[1]} << true << 1;
    QTest::newRow("entries that could not be placed")
        << written({x, x}) << QStringList{day2 + "|10:40|a", day2 + "|10:40|b"} << QStringList()
        << true << 2;
    // Two equal entries count twice: the one of a picture still commented
    // does not explain the other, of a picture gone.
    QTest::newRow("same entry twice, one picture gone")
        << written({x, x}) << QStringList{x} << QStringList{x} << true << 1;
    QTest::newRow("same entry twice, one cleared")
        << written({x, x}) << QStringList{x} << QStringList{x, x} << false << 0;
    QTest::newRow("written as ?, then changed")
        << written({day2 + "|10:40|晴れ\U0001F600"}) << QStringList{day2 + "|10:40|雨"}
        << QStringList{day2 + "|10:40|晴れ\U0001F600"} << false << 0;
    QTest::newRow("edited by hand, all carried over")
        << QByteArray(outing).replace("\r\n", "\n") << all << all << true << 0;
    QTest::newRow("empty old file") << QByteArray() << all << QStringList() << false << 0;
}

void TestLogReadback::keeping_the_old_file() {
    QFETCH(QByteArray, old);
    QFETCH(QStringList, fresh);
    QFETCH(QStringList, logged);
    QFETCH(bool, keep);
    QFETCH(int, dropped);
    const OldLogCheck check = check_old_log(old, entries_of(fresh), entries_of(logged));
    QCOMPARE(check.keep, keep);
    QCOMPARE(check.dropped, dropped);
}

void TestLogReadback::old_file_is_kept_under_a_free_name() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDateTime modified(QDate(2024, 5, 3), QTime(10, 15, 0));
    QCOMPARE(backup_log_name(dir.path(), modified), QStringLiteral("time_log_20240503-101500.txt"));
    QVERIFY(write_file_atomically(dir.filePath("time_log_20240503-101500.txt"), "other").isEmpty());
    // A link to nothing takes a name too.
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("time_log_20240503-101500-2.txt")));
    QCOMPARE(backup_log_name(dir.path(), modified),
             QStringLiteral("time_log_20240503-101500-3.txt"));

    QCOMPARE(keep_old_log(dir.path()).name, QString());  // no log, nothing to keep
    const QString log = dir.filePath("time_log.txt");
    QVERIFY(write_file_atomically(log, "old log").isEmpty());
    {
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    const KeptLog kept = keep_old_log(dir.path());
    QVERIFY2(kept.ok(), qPrintable(kept.error));
    QCOMPARE(kept.name, QStringLiteral("time_log_20240503-101500-3.txt"));

    // The next List replaces time_log.txt; what was kept stays as it was.
    QVERIFY(write_file_atomically(log, "new log").isEmpty());
    QFile backup(dir.filePath(kept.name));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), QByteArray("old log"));
    QCOMPARE(QFileInfo(backup).lastModified(), modified);
    QCOMPARE(QFile(dir.filePath("time_log_20240503-101500.txt")).size(), 5);
}

QTEST_GUILESS_MAIN(TestLogReadback)
#include "test_log_readback.moc"
