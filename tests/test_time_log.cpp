#include <initializer_list>
#include <limits>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "album.h"
#include "app/messages.h"
#include "pictures/image_table.h"
#include "platform/date_time.h"
#include "time_log/old_log.h"
#include "time_log/time_log.h"

using namespace fotavi;

namespace {

struct Entry {
    QDateTime when;
    QString comment;
};


ImageTable table_of(std::initializer_list<Entry> entries) {
    ImageTable t;
    for (const Entry& e : entries) {
        t.names.push_back(QStringLiteral("p%1.jpg").arg(t.count()));
        t.dates.push_back(to_date_time(e.when));
        t.comments.push_back(e.comment);
    }
    return t;
}

// The four pictures of one outing: two commented on 2 September, one left
// uncommented between them, one commented the next morning.
ImageTable outing() {
    return table_of({{at(2001, 9, 2, 5, 10, 13), QStringLiteral("station")},
                     {at(2001, 9, 2, 10, 40), QString()},
                     {at(2001, 9, 2, 12, 15), QStringLiteral("lunch")},
                     {at(2001, 9, 3, 8, 30), QStringLiteral("home")}});
}


QString log_path(const QTemporaryDir& dir) { return dir.filePath(QStringLiteral("time_log.txt")); }

}  // namespace

Q_DECLARE_METATYPE(ImageTable)

class TestTimeLog : public QObject {
    Q_OBJECT

private slots:
    void outing_is_written_byte_for_byte();
    void lines_data();
    void lines();
    void no_comment_gives_five_lines();
    void line_break_in_a_comment_is_written_as_crlf();
    void characters_outside_cp932_are_counted();
    void second_list_replaces_the_first();
    void failing_write_names_the_file();
    void date_outside_the_calendar_is_refused();
};

void TestTimeLog::outing_is_written_byte_for_byte() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const LogWrite w = write_log_file(dir.path(), log_entries(outing()));
    QVERIFY2(w.ok(), qPrintable(log_failure_text(dir.path(), w)));
    QCOMPARE(w.replaced, 0);

    // 年 94 4E, 月 8C 8E, 日 93 FA in code page 932.
    const QByteArray day2 =
        "2001\x94\x4e"
        "9\x8c\x8e"
        "2\x93\xfa(\x93\xfa)";
    const QByteArray day3 =
        "2001\x94\x4e"
        "9\x8c\x8e"
        "3\x93\xfa(\x8c\x8e)";
    const QByteArray expected = day2 +
                                "\r\n"
                                "05:10 station\r\n"
                                "12:15 lunch\r\n" +
                                day3 +
                                "\r\n"
                                "08:30 home\r\n"
                                "\r\n"
                                "\r\n"
                                "\r\n"
                                "<TABLE BORDER=1>\r\n"
                                "<TR><TD COLSPAN=\"2\">" +
                                day2 +
                                "</TD></TR>\r\n"
                                "<TR><TD>05:10</TD><TD>station</TD></TR>\r\n"
                                "<TR><TD>12:15</TD><TD>lunch</TD></TR>\r\n"
                                "<TR><TD COLSPAN=\"2\">" +
                                day3 +
                                "</TD></TR>\r\n"
                                "<TR><TD>08:30</TD><TD>home</TD></TR>\r\n"
                                "</TABLE>\r\n";
    QCOMPARE(read_all(log_path(dir)), expected);
}

void TestTimeLog::lines_data() {
    QTest::addColumn<ImageTable>("table");
    QTest::addColumn<QStringList>("expected");

    const QString tail_start = QStringLiteral("<TABLE BORDER=1>");
    const QString end = QStringLiteral("</TABLE>");
    auto day_row = [](const QString& day) {
        return QStringLiteral("<TR><TD COLSPAN=\"2\">") + day + QStringLiteral("</TD></TR>");
    };
    auto entry_row = [](const QString& time, const QString& comment) {
        return QStringLiteral("<TR><TD>") + time + QStringLiteral("</TD><TD>") + comment +
               QStringLiteral("</TD></TR>");
    };
    const QString sep2 = QStringLiteral("2001年9月2日(日)");
    const QString sep4 = QStringLiteral("2001年9月4日(火)");

    QTest::newRow("no comment at all")
        << table_of({{at(2001, 9, 2, 5, 10), QString()}, {at(2001, 9, 3, 6, 0), QString()}})
        << QStringList{QString(), QString(), QString(), tail_start, end};

    QTest::newRow("one comment") << table_of({{at(2001, 9, 2, 5, 10), QStringLiteral("駅")}})
                                 << QStringList{
                                        sep2,
                                        QStringLiteral("05:10 駅"),
                                        QString(),
                                        QString(),
                                        QString(),
                                        tail_start,
                                        day_row(sep2),
                                        entry_row(QStringLiteral("05:10"), QStringLiteral("駅")),
                                        end};

    QTest::newRow("same minute: one day line, two entries")
        << table_of({{at(2001, 9, 2, 10, 40, 5), QStringLiteral("a")},
                     {at(2001, 9, 2, 10, 40, 50), QStringLiteral("b")}})
        << QStringList{sep2,
                       QStringLiteral("10:40 a"),
                       QStringLiteral("10:40 b"),
                       QString(),
                       QString(),
                       QString(),
                       tail_start,
                       day_row(sep2),
                       entry_row(QStringLiteral("10:40"), QStringLiteral("a")),
                       entry_row(QStringLiteral("10:40"), QStringLiteral("b")),
                       end};

    // The uncommented entries, a whole day of them included, leave no trace:
    // 3 September gets neither a day line nor a day row.
    QTest::newRow("two days with uncommented entries between")
        << table_of({{at(2001, 9, 2, 23, 59), QStringLiteral("night")},
                     {at(2001, 9, 3, 0, 0), QString()},
                     {at(2001, 9, 3, 12, 0), QString()},
                     {at(2001, 9, 4, 0, 0), QStringLiteral("dawn")}})
        << QStringList{sep2,
                       QStringLiteral("23:59 night"),
                       sep4,
                       QStringLiteral("00:00 dawn"),
                       QString(),
                       QString(),
                       QString(),
                       tail_start,
                       day_row(sep2),
                       entry_row(QStringLiteral("23:59"), QStringLiteral("night")),
                       day_row(sep4),
                       entry_row(QStringLiteral("00:00"), QStringLiteral("dawn")),
                       end};

    const QString raw = QStringLiteral("<b>A&B</b>\n二行目");
    QTest::newRow("markup and line breaks unchanged")
        << table_of({{at(2001, 9, 2, 5, 10), raw}})
        << QStringList{sep2,
                       QStringLiteral("05:10 ") + raw,
                       QString(),
                       QString(),
                       QString(),
                       tail_start,
                       day_row(sep2),
                       entry_row(QStringLiteral("05:10"), raw),
                       end};

    QTest::newRow("spaces-only comment is kept")
        << table_of(
               {{at(2001, 9, 2, 5, 10), QStringLiteral("  ")}, {at(2001, 9, 2, 6, 0), QString()}})
        << QStringList{sep2,
                       QStringLiteral("05:10   "),
                       QString(),
                       QString(),
                       QString(),
                       tail_start,
                       day_row(sep2),
                       entry_row(QStringLiteral("05:10"), QStringLiteral("  ")),
                       end};
}

void TestTimeLog::lines() {
    QFETCH(ImageTable, table);
    QFETCH(QStringList, expected);
    QCOMPARE(log_lines(log_entries(table)), expected);
}

void TestTimeLog::no_comment_gives_five_lines() {
    QTemporaryDir dir;
    ImageTable t = outing();
    for (QString& c : t.comments) c.clear();
    QVERIFY(write_log_file(dir.path(), log_entries(t)).ok());
    QCOMPARE(read_all(log_path(dir)), QByteArray("\r\n\r\n\r\n<TABLE BORDER=1>\r\n</TABLE>\r\n"));
}

// The comment box on Linux gives bare LF; the file keeps one kind of line end.
void TestTimeLog::line_break_in_a_comment_is_written_as_crlf() {
    QTemporaryDir dir;
    const ImageTable t = table_of({{at(2001, 9, 2, 5, 10), QStringLiteral("a\nb")}});
    QVERIFY(write_log_file(dir.path(), log_entries(t)).ok());
    const QByteArray bytes = read_all(log_path(dir));
    QVERIFY(bytes.contains("\r\n05:10 a\r\nb\r\n\r\n"));
    QVERIFY(bytes.contains("<TR><TD>05:10</TD><TD>a\r\nb</TD></TR>\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
}

void TestTimeLog::characters_outside_cp932_are_counted() {
    QTemporaryDir dir;
    const ImageTable t = table_of({{at(2001, 9, 2, 5, 10), QStringLiteral("\U0001F600 맛집")}});
    const LogWrite w = write_log_file(dir.path(), log_entries(t));
    QVERIFY(w.ok());
    QCOMPARE(w.replaced, 3);  // three characters, counted once though written in both sections
    QVERIFY(read_all(log_path(dir)).contains("05:10 ? ??\r\n"));
}

void TestTimeLog::second_list_replaces_the_first() {
    QTemporaryDir dir;
    ImageTable t = outing();
    QVERIFY(write_log_file(dir.path(), log_entries(t)).ok());
    t.comments[0].clear();
    t.comments[2].clear();
    t.comments[3].clear();
    QVERIFY(write_log_file(dir.path(), log_entries(t)).ok());
    QCOMPARE(read_all(log_path(dir)), QByteArray("\r\n\r\n\r\n<TABLE BORDER=1>\r\n</TABLE>\r\n"));
}

void TestTimeLog::failing_write_names_the_file() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("not_a_folder"));
    {
        QFile f(folder);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const LogWrite w = write_log_file(folder, log_entries(outing()));
    QVERIFY(!w.ok());
    const QString text = log_failure_text(folder, w);
    QVERIFY2(text.contains(QStringLiteral("time_log.txt")), qPrintable(text));
}

// A date-time no clock gives (a damaged file time) is never written as a day
// line of dashes: List refuses, names the picture, and touches nothing.
void TestTimeLog::date_outside_the_calendar_is_refused() {
    for (const qint64 seconds : {std::numeric_limits<qint64>::max(), qint64(-694000000000)}) {
        QTemporaryDir dir;
        ImageTable t = outing();
        t.dates[2] = DateTime{seconds};
        QVERIFY(QFile(log_path(dir)).open(QIODevice::WriteOnly));
        const QString refused = QStringLiteral(
            "p2.jpg の日時が正しくない（西暦 1 年から 9999 年の外）ため、time_log.txt "
            "を書き込みませんでした。\nファイルの日時を直してから、もう一度試して下さい。");
        const LogWrite direct = write_log_file(dir.path(), log_entries(t));
        QCOMPARE(log_failure_text(dir.path(), direct), refused);
        QCOMPARE(direct.outside_calendar, QStringLiteral("p2.jpg"));
        const LogWrite keeping = write_log_keeping_old(dir.path(), log_entries(t), {});
        QVERIFY(!keeping.ok());
        QCOMPARE(log_failure_text(dir.path(), keeping), refused);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"time_log.txt"});
        QCOMPARE(read_all(log_path(dir)), QByteArray());
        // Without a comment the picture is not written, so nothing is refused.
        t.comments[2].clear();
        QVERIFY(write_log_file(dir.path(), log_entries(t)).ok());
    }
}

QTEST_GUILESS_MAIN(TestTimeLog)
#include "test_time_log.moc"
