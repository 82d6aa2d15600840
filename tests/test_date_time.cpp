#include <QTest>

#include <limits>

#include "platform/date_time.h"

using namespace fotavi;

class TestDateTime : public QObject {
    Q_OBJECT
private slots:
    void formats_by_pattern_data() {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        const QDateTime sunday(QDate(2001, 9, 2), QTime(5, 10, 13));
        QTest::newRow("date label")
            << sunday << "ddddd(aaa)hh:mm" << QStringLiteral("2001/09/02(日)05:10");
        QTest::newRow("day text") << sunday << "dddddd(aaa)" << QStringLiteral("2001年9月2日(日)");
        QTest::newRow("time text") << sunday << "hh:nn"
                                   << "05:10";
        QTest::newRow("mm without an hour is the month") << sunday << "mm/ddddd"
                                                         << "09/2001/09/02";
        QTest::newRow("two-digit month and day")
            << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 0)) << "dddddd(aaa) ddddd hh:nn"
            << QStringLiteral("2024年12月31日(火) 2024/12/31 23:59");
        QTest::newRow("midnight") << QDateTime(QDate(2000, 2, 29), QTime(0, 0, 0))
                                  << "ddddd(aaa)hh:mm" << QStringLiteral("2000/02/29(火)00:00");
        QTest::newRow("every weekday")
            << QDateTime(QDate(2026, 12, 7), QTime(12, 0)) << "aaa" << QStringLiteral("月");
        QTest::newRow("saturday") << QDateTime(QDate(2026, 12, 12), QTime(12, 0)) << "aaa"
                                  << QStringLiteral("土");
        QTest::newRow("literal text passes") << sunday << "(hh)"
                                             << "(05)";
    }
    void formats_by_pattern() {
        QFETCH(QDateTime, when);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(format_date(to_date_time(when), pattern), expected);
    }

    // A value from a damaged file formats as dashes, never indexes past the
    // weekday names; the calendar's first and last seconds still format.
    void outside_the_calendar_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("expected");
        const qint64 first = to_date_time(QDate(1, 1, 1), QTime(0, 0)).seconds;
        const qint64 last = to_date_time(QDate(9999, 12, 31), QTime(23, 59, 59)).seconds;
        const QString dashes = QStringLiteral("----/--/--(-)--:-- ----年--月--日");
        QTest::newRow("first second") << first << QStringLiteral("0001/01/01(月)00:00 1年1月1日");
        QTest::newRow("before it") << first - 1 << dashes;
        QTest::newRow("last second")
            << last << QStringLiteral("9999/12/31(金)23:59 9999年12月31日");
        QTest::newRow("after it") << last + 1 << dashes;
        QTest::newRow("a second before the epoch")
            << qint64(-1) << QStringLiteral("1899/12/29(金)23:59 1899年12月29日");
        QTest::newRow("least") << std::numeric_limits<qint64>::min() << dashes;
        QTest::newRow("greatest") << std::numeric_limits<qint64>::max() << dashes;
    }
    void outside_the_calendar() {
        QFETCH(qint64, seconds);
        QFETCH(QString, expected);
        QCOMPARE(format_date(DateTime{seconds}, u"ddddd(aaa)hh:mm dddddd"), expected);
        QCOMPARE(in_calendar(DateTime{seconds}), !expected.startsWith(u'-'));
    }

    // A time just short of a minute must not print as the minute before.
    void rounds_to_the_nearest_second() {
        const DateTime almost = to_date_time(QDate(2001, 9, 2), QTime(5, 9, 59, 999));
        QCOMPARE(format_date(almost, u"hh:nn"), QStringLiteral("05:10"));
    }

    void seconds_since_1899() {
        QCOMPARE(to_date_time(QDateTime(QDate(1899, 12, 30), QTime(0, 0))).seconds, 0);
        QCOMPARE(to_date_time(QDateTime(QDate(1900, 1, 1), QTime(18, 0))).seconds,
                 2 * kSecondsPerDay + 18 * 3600);
        const QDateTime when(QDate(2001, 9, 2), QTime(5, 10, 13));
        QCOMPARE(to_qdatetime(to_date_time(when)), when);
        QVERIFY(to_date_time(when) < to_date_time(when.addSecs(1)));
    }
};

QTEST_GUILESS_MAIN(TestDateTime)
#include "test_date_time.moc"
