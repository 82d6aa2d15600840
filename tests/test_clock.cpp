#include <QTest>

#include "comments/store_file.h"
#include "pictures/clock_correction.h"
#include "app/command_line.h"
#include "app/without_window.h"
#include "run.h"
#include "store_helpers.h"

using namespace fotavi;

namespace {

// A camera left 7 hours behind (on home time abroad) and a phone whose
// clock was right, both on one day's outing.
struct Shot {
    const char* name;
    int hour, minute;  // as the device's clock gave it
    bool camera;       // else the phone
};
const Shot kShots[] = {{"DSC0001.JPG", 2, 0, true},
                       {"DSC0002.JPG", 5, 30, true},
                       {"IMG_0001.JPG", 10, 0, false},
                       {"IMG_0002.JPG", 13, 0, false}};

// In capture-time mode the times are in the EXIF blocks and the files carry
// the copy's time; in file-time mode the files carry them.
void make_outing(const Album& album, bool capture_time) {
    for (const Shot& shot : kShots) {
        ExifCamera device;
        device.make = shot.camera ? "Canon" : "Apple";
        device.model = shot.camera ? "EOS R6" : "iPhone 15";
        if (shot.camera) device.serial = "012345";
        const QDateTime taken = at(2026, 11, 3, shot.hour, shot.minute);
        const QByteArray text = taken.toString("yyyy:MM:dd HH:mm:ss").toLatin1();
        const Exif exif{capture_time ? text : QByteArray(), {}, {}, {}, {}, false};
        album.add_bytes(shot.name, jpeg_with(jpeg_segment(0xE1, exif_block(exif, {}, device))),
                        capture_time ? at(2026, 12, 8, 20, 0) : taken);
    }
}

QStringList pictures_of(const Album& album) {
    QStringList lines;
    for (const Shot& shot : kShots) lines << read_all(album.file(shot.name)).toBase64();
    return lines;
}

}  // namespace

Q_DECLARE_METATYPE(fotavi::ExifCamera)

// A camera's clock set right for a folder: kept in the store, never in the
// pictures, in either time mode; changed and taken away again.
class TestClock : public QObject {
    Q_OBJECT
private slots:
    void camera_behind_is_corrected_into_one_order_data() {
        QTest::addColumn<bool>("capture_time");
        QTest::newRow("capture times") << true;
        QTest::newRow("file times") << false;
    }
    void camera_behind_is_corrected_into_one_order() {
        QFETCH(bool, capture_time);
        Album album;
        make_outing(album, capture_time);
        const QStringList before = pictures_of(album);
        const QStringList uncorrected{"DSC0001.JPG", "DSC0002.JPG", "IMG_0001.JPG", "IMG_0002.JPG"};
        const QStringList corrected{"DSC0001.JPG", "IMG_0001.JPG", "DSC0002.JPG", "IMG_0002.JPG"};
        QByteArray settings;
        {
            Run run;
            run.start(album.path());
            if (capture_time != run.commands.settings().capture_time) run.commands.toggle_capture_time();
            QCOMPARE(run.names(), uncorrected);
            run.commands.show_at(1);
            run.ui.clock_answers = {ClockAnswer{7 * 3600, false}};
            run.commands.correct_clock();
            QCOMPARE(int(run.ui.clock_questions.size()), 1);
            const ClockQuestion& asked = run.ui.clock_questions[0];
            QCOMPARE(asked.camera, QStringLiteral("Canon / EOS R6 / 012345"));
            QCOMPARE(asked.recorded, to_date_time(at(2026, 11, 3, 5, 30)));
            QCOMPARE(asked.capture_time, capture_time);
            QCOMPARE(run.names(), corrected);
            QCOMPARE(run.ui.file_name, QStringLiteral("DSC0002.JPG"));  // still shown
            QCOMPARE(run.ui.file_date, QStringLiteral("2026/11/03(火)12:30"));
            run.type("museum");
            run.commands.write_time_log();
            QVERIFY(read_all(album.file("time_log.txt")).contains("12:30 museum"));
            QVERIFY(run.commands.may_quit());
            settings = read_all(run.program.filePath("def_list.txt"));
        }
        QCOMPARE(pictures_of(album), before);

        // Opened again: the correction is the store's; then changed, then taken away.
        Run again;
        QVERIFY(put_file(again.program.filePath("def_list.txt"), settings));
        again.start(album.file("DSC0002.JPG"));
        QCOMPARE(again.names(), corrected);
        // The diary written without a window follows the same corrected clocks.
        QString out, err;
        QTextStream to_out(&out), to_err(&err);
        const QStringList diary{"--write-diary", album.path(), "--format", "csv"};
        QCOMPARE(run_without_window(read_command_line(diary), album.path(), again.program.path(),
                                    again.folders, to_out, to_err),
                 0);
        const QString csv = QString::fromUtf8(read_all(album.file("photo_diary.csv")));
        QVERIFY2(csv.contains(QStringLiteral("12:30")) && csv.contains(QStringLiteral("museum")),
                 qPrintable(csv));
        again.commands.show_at(again.commands.document().index_of("DSC0002.JPG"));
        again.ui.clock_answers = {ClockAnswer{6 * 3600 + 45 * 60, false}, ClockAnswer{0, true}};
        again.commands.correct_clock();
        QCOMPARE(again.ui.clock_questions[0].seconds, qint64(7 * 3600));
        QCOMPARE(again.ui.file_date, QStringLiteral("2026/11/03(火)12:15"));
        again.commands.correct_clock();
        QCOMPARE(again.names(), uncorrected);
        QCOMPARE(again.ui.file_date, QStringLiteral("2026/11/03(火)05:30"));
        QCOMPARE(again.comment_of("DSC0002.JPG"), QStringLiteral("museum"));
        QCOMPARE(pictures_of(album), before);
    }

    void older_store_is_upgraded_and_keeps_comments_data() {
        QTest::addColumn<int>("version");
        QTest::newRow("before clock corrections") << 1;
        QTest::newRow("logged texts written out") << 2;
    }

    // A store of an older version keeps its comments and what time_log.txt
    // holds once it is opened again, and takes a clock correction.
    void older_store_is_upgraded_and_keeps_comments() {
        QFETCH(int, version);
        Album album;
        make_outing(album, false);
        {
            Run run;
            run.start(album.path());
            run.type("station");
            run.commands.write_time_log();
            QVERIFY(run.commands.may_quit());
        }
        // The same rows in a store made by that version's own statements.
        const QString path = album.file(kStoreName), current = path + ".current";
        QVERIFY(QFile::rename(path, current));
        const QByteArray copy =
            StoreFile::schema_text(version) +
            "PRAGMA user_version = " + QByteArray::number(version) + "; ATTACH '" +
            QFile::encodeName(current) +
            R"(' AS current; INSERT INTO picture SELECT id, name, size, mtime_ns, capture,
            capture_read, comment, CASE WHEN logged_is_comment THEN comment ELSE logged END,
            version, base, writer, changed_at FROM current.picture;
            UPDATE meta SET value = (SELECT value FROM current.meta WHERE key = 'counter')
            WHERE key = 'counter';)";
        QVERIFY(sql(path, copy.constData()));
        Run again;
        again.start(album.path());
        QCOMPARE(again.comment_of("DSC0001.JPG"), QStringLiteral("station"));
        QVERIFY(again.commands.document().log_is_current());
        again.commands.show_at(again.commands.document().index_of("DSC0002.JPG"));
        again.ui.clock_answers = {ClockAnswer{7 * 3600, false}};
        again.commands.correct_clock();
        QVERIFY(again.ui.events.filter("message|").isEmpty());
        QCOMPARE(again.ui.file_date, QStringLiteral("2026/11/03(火)12:30"));
    }

    void picture_without_camera_cannot_be_corrected() {
        Album album;
        album.add("DSC0001.JPG", at(2026, 11, 3, 9, 0));
        Run run;
        run.start(album.path());
        run.commands.correct_clock();
        QVERIFY(run.ui.clock_questions.empty());
        QVERIFY(run.ui.events.join('\n').contains("メーカーと機種"));
    }

    void camera_names_data() {
        QTest::addColumn<ExifCamera>("device");
        QTest::addColumn<QString>("camera");
        ExifCamera phone, body, none;
        phone.make = "Apple";
        phone.model = "iPhone 15";
        body.make = "  Canon ";
        body.model = "EOS R6\x01";
        body.serial = "012345";
        QTest::newRow("phone") << phone << "Apple / iPhone 15";
        QTest::newRow("body with serial, padded") << body << "Canon / EOS R6 / 012345";
        QTest::newRow("no make nor model") << none << "";
    }
    void camera_names() {
        QFETCH(ExifCamera, device);
        QFETCH(QString, camera);
        QCOMPARE(camera_of(exif_block({"2026:11:03 09:00:00", {}, {}, {}, {}, false}, {}, device)),
                 camera);
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "test_clock.moc"
