#include <QTest>

#include <limits>

#include <sys/stat.h>

#include "album.h"
#include "pictures/capture_cache.h"
#include "pictures/capture_time.h"
#include "pictures/image_table.h"

using namespace fotavi;

namespace {

const QByteArray kOriginal = "2001:09:02 05:10:13";
const QByteArray kDigitized = "2001:09:02 05:10:14";
const QByteArray kDateTime = "2001:09:03 00:00:00";

QByteArray app1(const Exif& exif) { return jpeg_segment(0xE1, exif_block(exif)); }

QString shown(const CaptureTime& time) {
    return time.found() ? format_date(time.date, u"ddddd hh:mm") +
                              QStringLiteral(":%1").arg(to_qdatetime(time.date).time().second(), 2,
                                                        10, QLatin1Char('0'))
                        : QString();
}

// "name file-time [camera-time[.fraction]]", times hh:mm:ss on 2 September 2001.
struct Picture {
    ListedFile file;
    CaptureTime camera;
};
Picture picture(const QString& spec) {
    const QStringList parts = spec.split(QLatin1Char(' '));
    const auto time = [](const QString& text) {
        return to_date_time(QDate(2001, 9, 2),
                            QTime::fromString(text.section(QLatin1Char('.'), 0, 0), "hh:mm:ss"));
    };
    Picture p;
    p.file = {parts[0], time(parts[1])};
    if (parts.size() > 2) {
        p.camera.date = time(parts[2]);
        p.camera.microseconds = parse_sub_seconds(parts[2].section(QLatin1Char('.'), 1).toLatin1());
        p.camera.tag = TimeTag::DateTimeOriginal;
    }
    return p;
}

}  // namespace

class TestCaptureTime : public QObject {
    Q_OBJECT
private slots:
    // Whatever the file holds, the answer is a camera time or none; never a crash.
    void exif_cases_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("time");  // empty: none found, the file time is used
        QTest::addColumn<int>("microseconds");
        const int none = int(TimeTag::None), original = int(TimeTag::DateTimeOriginal),
                  digitized = int(TimeTag::DateTimeDigitized), date_time = int(TimeTag::DateTime);
        const QString at_original = "2001/09/02 05:10:13";
        const Exif all{kOriginal, kDigitized, kDateTime, "25", {}, false};
        Exif big = all;
        big.big_endian = true;
        QTest::newRow("DateTimeOriginal, little-endian")
            << jpeg_with(app1(all)) << original << at_original << 250000;
        QTest::newRow("DateTimeOriginal, big-endian")
            << jpeg_with(app1(big)) << original << at_original << 250000;
        QTest::newRow("only DateTimeDigitized")
            << jpeg_with(app1({{}, kDigitized, {}, {}, {}, true})) << digitized
            << "2001/09/02 05:10:14" << 0;
        QTest::newRow("only IFD0 DateTime") << jpeg_with(app1({{}, {}, kDateTime, {}, {}, false}))
                                            << date_time << "2001/09/03 00:00:00" << 0;
        QTest::newRow("no date in the block") << jpeg_with(app1({})) << none << "" << 0;
        QTest::newRow("no EXIF block") << jpeg_with({}) << none << "" << 0;
        QTest::newRow("time zone offset not applied")
            << jpeg_with(app1({kOriginal, {}, {}, {}, "-05:00", false})) << original << at_original
            << 0;
        QTest::newRow("sub-seconds 5 is half a second")
            << jpeg_with(app1({kOriginal, {}, {}, "5", {}, false})) << original << at_original
            << 500000;
        QTest::newRow("sub-seconds not digits")
            << jpeg_with(app1({kOriginal, {}, {}, "x1", {}, false})) << original << at_original
            << 0;
        QTest::newRow("dashes from a phone app")
            << jpeg_with(app1({"2001-09-02 05:10:13", {}, {}, {}, {}, false})) << original
            << at_original << 0;

        // Impossible dates are skipped for the next tag, else the file time.
        const QList<QByteArray> impossible = {
            "0000:00:00 00:00:00", "2001:13:02 05:10:13", "2001:02:30 05:10:13",
            "2001:09:02 24:00:00", "1899:12:31 23:59:59", "2101:01:01 00:00:00",
            "    :  :     :  :  ", "not a date, garbage", "2001:09:02 05:10:13xyz",
            "2001:09:02",          "2001:09:02 05:1a:13"};
        for (const QByteArray& text : impossible) {
            QTest::addRow("impossible %s", text.constData())
                << jpeg_with(app1({text, {}, {}, {}, {}, false})) << none << "" << 0;
        }
        QTest::newRow("impossible original, digitized used")
            << jpeg_with(app1({"2001:13:02 05:10:13", kDigitized, {}, {}, {}, false})) << digitized
            << "2001/09/02 05:10:14" << 0;
        QTest::newRow("year 1900 is real")
            << jpeg_with(app1({"1900:01:01 00:00:00", {}, {}, {}, {}, false})) << original
            << "1900/01/01 00:00:00" << 0;
        QTest::newRow("year 2100 is real")
            << jpeg_with(app1({{}, {}, "2100:12:31 23:59:59", {}, {}, false})) << date_time
            << "2100/12/31 23:59:59" << 0;

        // Where the block sits among the segments.
        const QByteArray jfif = jpeg_segment(0xE0, QByteArray("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
        const QByteArray xmp = jpeg_segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>");
        QTest::newRow("after JFIF and XMP")
            << jpeg_with(jfif + xmp + app1(all)) << original << at_original << 250000;
        QTest::newRow("fill bytes before the marker")
            << jpeg_with(QByteArray("\xFF\xFF\xFF") + app1(all)) << original << at_original
            << 250000;
        QTest::newRow("after the picture data")
            << QByteArray("\xFF\xD8\xFF\xDA\x00\x04\x00\x00", 8) + app1(all) << none << "" << 0;
        QByteArray padded = exif_block(all);
        padded = padded.leftJustified(65533, '\0');  // the largest segment there can be
        QTest::newRow("huge APP1, 64 KB")
            << jpeg_with(jpeg_segment(0xE1, padded)) << original << at_original << 250000;

        // Damaged and cut short.
        QTest::newRow("cut-short EXIF")
            << jpeg_with(jpeg_segment(0xE1, exif_block(all).left(40))) << none << "" << 0;
        QTest::newRow("APP1 claims more than the file has")
            << QByteArray("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + exif_block(all) << none << "" << 0;
        QTest::newRow("segment length below two")
            << QByteArray("\xFF\xD8\xFF\xE1\x00\x01", 6) + exif_block(all) << none << "" << 0;
        QByteArray wild = exif_block(all);
        wild.replace(
            10, 4, QByteArray("\xFF\xFF\xFF\x7F", 4));  // the first directory far outside the block
        QTest::newRow("directory offset outside")
            << jpeg_with(jpeg_segment(0xE1, wild)) << none << "" << 0;
        QTest::newRow("not a TIFF header")
            << jpeg_with(jpeg_segment(
                   0xE1, QByteArray("Exif\0\0XX*\0\x08\0\0\0", 14) + QByteArray(64, '\x41')))
            << none << "" << 0;
        QTest::newRow("PNG named .jpg")
            << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << none << "" << 0;
        QTest::newRow("empty file") << QByteArray() << none << "" << 0;
        QTest::newRow("only the start marker") << QByteArray("\xFF\xD8") << none << "" << 0;
    }
    void exif_cases() {
        QFETCH(QByteArray, file);
        QFETCH(int, tag);
        QFETCH(QString, time);
        QFETCH(int, microseconds);
        Album album;
        album.add_bytes("P.JPG", file, at(2024, 6, 1, 20, 0));
        const CaptureTime read = read_capture_time(album.file("P.JPG"));
        QCOMPARE(int(read.tag), tag);
        QCOMPARE(shown(read), time);
        QCOMPARE(read.microseconds, microseconds);
    }

    // The order the table shows: camera time, then sub-second, then listing order.
    void ordering_data() {
        QTest::addColumn<QStringList>("listing");  // in listing order
        QTest::addColumn<QStringList>("shown");    // "name hh:mm:ss" in table order
        QTest::newRow("copies ordered by the camera")
            << QStringList{"A 20:00:00 09:00:00", "B 20:00:00 08:00:00", "C 20:00:00 10:00:00"}
            << QStringList{"B 08:00:00", "A 09:00:00", "C 10:00:00"};
        QTest::newRow("one second, sub-seconds decide")
            << QStringList{"A 20:00:00 09:00:00.7", "B 20:00:00 09:00:00.25", "C 20:00:00 09:00:00"}
            << QStringList{"C 09:00:00", "B 09:00:00", "A 09:00:00"};
        QTest::newRow("equal times keep listing order")
            << QStringList{"C 20:00:00 09:00:00.5", "A 20:00:00 09:00:00.5",
                           "B 20:00:00 09:00:00.5"}
            << QStringList{"C 09:00:00", "A 09:00:00", "B 09:00:00"};
        QTest::newRow("mixed camera and file times")
            << QStringList{"A 20:00:00 10:00:00", "B 09:30:00", "C 20:00:00 09:00:00"}
            << QStringList{"C 09:00:00", "B 09:30:00", "A 10:00:00"};
        QTest::newRow("file time equal to a camera time")
            << QStringList{"A 09:00:00 09:00:00", "B 09:00:00", "C 20:00:00 09:00:00"}
            << QStringList{"A 09:00:00", "B 09:00:00", "C 09:00:00"};
        QTest::newRow("a sub-second never moves the minute")
            << QStringList{"A 20:00:00 05:09:59.9999", "B 20:00:00 05:09:59.1"}
            << QStringList{"B 05:09:59", "A 05:09:59"};
    }
    void ordering() {
        QFETCH(QStringList, listing);
        QFETCH(QStringList, shown);
        std::vector<ListedFile> files;
        std::vector<CaptureTime> times;
        for (const QString& spec : listing) {
            const Picture p = picture(spec);
            files.push_back(p.file);
            times.push_back(p.camera);
        }
        const std::vector<ListedFile> ordered = order_by_capture_time(files, times);
        QStringList got;
        for (size_t at : table_order(ordered)) {
            const ListedFile& file = ordered[at];
            got << file.name + ' ' + format_date(file.date, u"hh:mm") +
                       QStringLiteral(":%1").arg(to_qdatetime(file.date).time().second(), 2, 10,
                                                 QLatin1Char('0'));
        }
        QCOMPARE(got, shown);
    }

    // The hint: file times of a copy, camera times of a trip.
    void looks_copied_data() {
        QTest::addColumn<QList<int>>("file_minutes");
        QTest::addColumn<QList<int>>("camera_minutes");  // -1: no EXIF time
        QTest::addColumn<bool>("copied");
        QTest::newRow("cp: one minute, a day's trip")
            << QList<int>{0, 0, 0, 1} << QList<int>{0, 90, 300, 600} << true;
        QTest::newRow("times kept by the copy")
            << QList<int>{0, 90, 300, 600} << QList<int>{0, 90, 300, 600} << false;
        QTest::newRow("a burst, camera agrees")
            << QList<int>{0, 0, 0, 0, 120} << QList<int>{0, 0, 0, 1, 120} << false;
        QTest::newRow("most in one minute, camera spread")
            << QList<int>{0, 0, 0, 500, 900} << QList<int>{0, 200, 400, 500, 900} << true;
        QTest::newRow("only half bunched")
            << QList<int>{0, 0, 500, 900} << QList<int>{0, 200, 500, 900} << false;
        QTest::newRow("copied, no EXIF") << QList<int>{0, 0, 0} << QList<int>{-1, -1, -1} << false;
        QTest::newRow("copied, one EXIF")
            << QList<int>{0, 0, 0} << QList<int>{-1, 300, -1} << false;
        QTest::newRow("camera spans exactly an hour")
            << QList<int>{0, 2, 9} << QList<int>{0, 30, 60} << false;
        QTest::newRow("camera spans 61 minutes")
            << QList<int>{0, 2, 9} << QList<int>{0, 30, 61} << true;
        QTest::newRow("copy took eleven minutes")
            << QList<int>{0, 11} << QList<int>{0, 300} << false;
        QTest::newRow("one picture") << QList<int>{0} << QList<int>{300} << false;
        QList<int> many_files(1000, 0), many_cameras;
        for (int i = 0; i < 1000; ++i) many_cameras << i;
        QTest::newRow("a thousand copies") << many_files << many_cameras << true;
    }
    void looks_copied() {
        QFETCH(QList<int>, file_minutes);
        QFETCH(QList<int>, camera_minutes);
        QFETCH(bool, copied);
        const DateTime base = to_date_time(QDate(2024, 6, 1), QTime(8, 0));
        std::vector<ListedFile> files;
        for (int minute : file_minutes)
            files.push_back({"P.JPG", {base.seconds + minute * kSecondsPerMinute}});
        int reads = 0;
        const auto camera = [&](size_t i) {
            ++reads;
            CaptureTime time;
            if (camera_minutes[qsizetype(i)] >= 0) {
                time.date = {base.seconds - 3 * kSecondsPerDay +
                             camera_minutes[qsizetype(i)] * kSecondsPerMinute};
                time.tag = TimeTag::DateTimeOriginal;
            }
            return time;
        };
        QCOMPARE(fotavi::looks_copied(files, camera), copied);
        QVERIFY2(reads <= 24, qPrintable(QString::number(reads)));
    }

    // A cache file is input: an entry holding what no reading of a picture
    // gives, or a file that is no cache file, means the picture is read again
    // (a damaged value once showed as the date 0000/00/00 and reached the log).
    void cache_values_are_checked_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("micro");
        QTest::addColumn<int>("tag");
        QTest::addColumn<qint64>("size");   // -2: the picture's own
        QTest::addColumn<QString>("file");  // what the cache file is: "" a file, "fifo", "zero"
        const qint64 nine = to_date_time(QDate(2001, 9, 2), QTime(9, 0)).seconds;
        const int original = int(TimeTag::DateTimeOriginal);
        QTest::newRow("trusted when sound") << nine << 0 << original << -2LL << "";
        QTest::newRow("year 9999") << to_date_time(QDate(9999, 12, 31), QTime(9, 0)).seconds << 0
                                   << original << -2LL << "";
        QTest::newRow("year 1899") << -1LL << 0 << original << -2LL << "";
        QTest::newRow("negative seconds")
            << std::numeric_limits<qint64>::min() << 0 << original << -2LL << "";
        QTest::newRow("huge seconds")
            << std::numeric_limits<qint64>::max() << 0 << original << -2LL << "";
        QTest::newRow("negative size") << nine << 0 << original << -1LL << "";
        QTest::newRow("unknown tag") << nine << 0 << 9 << -2LL << "";
        QTest::newRow("no tag, yet a date") << nine << 0 << 0 << -2LL << "";
        QTest::newRow("sub-second of a second") << nine << 1000000 << original << -2LL << "";
        QTest::newRow("negative sub-second") << nine << -1 << original << -2LL << "";
        QTest::newRow("cache file is a FIFO") << nine << 0 << original << -2LL << "fifo";
        QTest::newRow("cache file links to /dev/zero") << nine << 0 << original << -2LL << "zero";
    }
    void cache_values_are_checked() {
        QFETCH(qint64, seconds);
        QFETCH(int, micro);
        QFETCH(int, tag);
        QFETCH(qint64, size);
        QFETCH(QString, file);
        Album album;
        QTemporaryDir cache_dir;
        album.add_exif("P.JPG", at(2024, 6, 1, 20, 0),
                       {"2001:09:02 07:00:00", {}, {}, {}, {}, false});
        std::vector<ListedFile> files = list_pictures(album.path()).files;
        CaptureTimeCache first(cache_dir.path());
        QVERIFY(use_capture_times(files, album.path(), first, [](int) { return false; }));
        const QString path =
            QDir(cache_dir.filePath("capture-times")).entryInfoList(QDir::Files)[0].filePath();
        QVERIFY(QFile::remove(path));
        if (file == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        } else if (file == "zero") {
            QVERIFY(QFile::link("/dev/zero", path));
        } else {
            const CaptureTime time{DateTime{seconds}, micro, TimeTag(tag)};
            const qint64 stored = size == -2 ? files[0].size : size;
            album.add_bytes(
                QFileInfo(path).fileName(),
                capture_cache_bytes(album.path(), {{"P.JPG", {stored, files[0].mtime_ns, time}}}),
                at(2024, 6, 1, 20, 0));
            QVERIFY(QFile::rename(album.file(QFileInfo(path).fileName()), path));
        }

        CaptureTimeCache later(cache_dir.path());
        files = list_pictures(album.path()).files;
        QVERIFY(use_capture_times(files, album.path(), later, [](int) { return false; }));
        const bool trusted = QByteArray(QTest::currentDataTag()).startsWith("trusted");
        QCOMPARE(later.files_read(), trusted ? 0 : 1);
        QCOMPARE(format_date(files[0].date, u"dddddd(aaa) hh:mm"),
                 trusted ? QStringLiteral("2001年9月2日(日) 09:00")
                         : QStringLiteral("2001年9月2日(日) 07:00"));
    }

    // A picture is read again only when its size or modification time changed.
    void cache_reads_each_picture_once() {
        Album album;
        QTemporaryDir cache_dir;
        for (int i = 0; i < 3; ++i) {
            album.add_exif(QStringLiteral("P%1.JPG").arg(i), at(2024, 6, 1, 20, 0),
                           {QByteArray("2001:09:02 0") + QByteArray::number(7 - i) + ":00:00",
                            {},
                            {},
                            {},
                            {},
                            false});
        }
        const auto scan = [&](CaptureTimeCache& cache) {
            std::vector<ListedFile> files = list_pictures(album.path()).files;
            const bool done =
                use_capture_times(files, album.path(), cache, [](int) { return false; });
            QStringList names;
            for (const ListedFile& f : files) names << f.name + ' ' + format_date(f.date, u"hh:mm");
            return done ? names : QStringList();
        };
        const QStringList camera_order = {"P2.JPG 05:00", "P1.JPG 06:00", "P0.JPG 07:00"};

        CaptureTimeCache first(cache_dir.path());
        QCOMPARE(scan(first), camera_order);
        QCOMPARE(first.files_read(), 3);
        QCOMPARE(scan(first), camera_order);
        QCOMPARE(first.files_read(), 3);

        // A later run reads the cache file, not the pictures; the cache lies outside the picture
        // folder.
        CaptureTimeCache later(cache_dir.path());
        QCOMPARE(scan(later), camera_order);
        QCOMPARE(later.files_read(), 0);
        QCOMPARE(QDir(album.path()).entryList(QDir::Files).size(), 3);

        // Same size and time: taken as known. A new time: read again.
        album.add_exif("P0.JPG", at(2024, 6, 1, 20, 0),
                       {"2001:09:02 04:00:00", {}, {}, {}, {}, false});
        CaptureTimeCache again(cache_dir.path());
        QCOMPARE(scan(again), camera_order);
        album.touch("P0.JPG", at(2024, 6, 1, 20, 5));
        QCOMPARE(scan(again), QStringList({"P0.JPG 04:00", "P2.JPG 05:00", "P1.JPG 06:00"}));
        QCOMPARE(again.files_read(), 1);

        // A damaged cache file costs a new reading, nothing more.
        for (const QFileInfo& file :
             QDir(cache_dir.filePath("capture-times")).entryInfoList(QDir::Files)) {
            QFile damaged(file.filePath());
            QVERIFY(damaged.open(QIODevice::ReadWrite));
            damaged.seek(30);
            damaged.write("\xFF\xFF\xFF\xFF garbage");
        }
        CaptureTimeCache after_damage(cache_dir.path());
        QCOMPARE(scan(after_damage), QStringList({"P0.JPG 04:00", "P2.JPG 05:00", "P1.JPG 06:00"}));
        QCOMPARE(after_damage.files_read(), 3);

        // Cancelled at the second picture: the listing is left as it was.
        CaptureTimeCache cancelled(QString{});
        std::vector<ListedFile> files = list_pictures(album.path()).files;
        const std::vector<ListedFile> before = files;
        QVERIFY(
            !use_capture_times(files, album.path(), cancelled, [](int done) { return done == 2; }));
        QCOMPARE(files.size(), before.size());
        for (size_t i = 0; i < files.size(); ++i)
            QVERIFY(files[i].name == before[i].name && files[i].date == before[i].date);
    }
};

QTEST_GUILESS_MAIN(TestCaptureTime)
#include "test_capture_time.moc"
