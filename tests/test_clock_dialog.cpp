#include <QDateTimeEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "app/widgets/clock_dialog.h"
#include "platform/date_time.h"

using namespace fotavi;

// The clock dialog turns what the person enters, a real time or an offset,
// into the seconds added to the camera's times.
class TestClockDialog : public QObject {
    Q_OBJECT
private slots:
    void entry_gives_the_correction_data() {
        QTest::addColumn<qint64>("before");      // the camera's correction now
        QTest::addColumn<QDateTime>("real");     // entered as the real time; invalid: an offset
        QTest::addColumn<QList<int>>("offset");  // days, hours, minutes
        QTest::addColumn<qint64>("seconds");
        const QList<int> none{0, 0, 0};
        QTest::newRow("real time, 7 hours later")
            << qint64(0) << QDateTime(QDate(2026, 11, 3), QTime(12, 30)) << none
            << qint64(7 * 3600);
        QTest::newRow("real time, a day and a minute earlier")
            << qint64(0) << QDateTime(QDate(2026, 11, 2), QTime(5, 29)) << none
            << qint64(-(86400 + 60));
        QTest::newRow("real time kept: the correction there is")
            << qint64(7 * 3600) << QDateTime() << QList<int>{0, 7, 0} << qint64(7 * 3600);
        QTest::newRow("offset back a day, on by 2 h 15 min")
            << qint64(0) << QDateTime() << QList<int>{-1, 2, 15} << qint64(-86400 + 8100);
    }
    void entry_gives_the_correction() {
        QFETCH(qint64, before);
        QFETCH(QDateTime, real);
        QFETCH(QList<int>, offset);
        QFETCH(qint64, seconds);
        const DateTime recorded = to_date_time(QDate(2026, 11, 3), QTime(5, 30));
        ClockDialog dialog({"DSC0002.JPG", "Canon / EOS R6", recorded, before, true});
        // The dialog opens on what the camera has now.
        QCOMPARE(dialog.seconds(), before);
        if (real.isValid()) {
            dialog.findChild<QDateTimeEdit*>("clock_real_time")->setDateTime(real);
        } else {
            dialog.findChild<QRadioButton*>("clock_by_offset")->setChecked(true);
            const char* names[] = {"clock_days", "clock_hours", "clock_minutes"};
            for (int i = 0; i < 3; ++i) dialog.findChild<QSpinBox*>(names[i])->setValue(offset[i]);
        }
        QCOMPARE(dialog.seconds(), seconds);
    }
};

QTEST_MAIN(TestClockDialog)
#include "test_clock_dialog.moc"
