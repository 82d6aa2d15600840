// The picture on screen: the decode against libjpeg-turbo's own floor
// (djpeg), Next to a painted frame, the folder scan, and peak memory.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>

#include "app/widgets/main_window.h"
#include "app/widgets/picture_box.h"
#include "bench/bench.h"
#include "pictures/capture_cache.h"
#include "pictures/image_table.h"
#include "comments/sqlite_comment_store.h"
#include "platform/files.h"
#include "platform/picture.h"

namespace fotavi::bench {

namespace {

// The DCT scale (n/8) Qt's JPEG reader picks: the smallest whose result still
// covers the requested size.
int dct_eighths(QSize stored, QSize target) {
    const double f = std::min(double(stored.width()) / target.width(),
                              double(stored.height()) / target.height());
    return std::clamp(int(std::ceil(8 / f)), 1, 8);
}

struct Row {
    double ours, full, floor8, floor_needed;
    int eighths;
};

void print_decode(const QString& label, QSize box, QSize target, const Row& row) {
    out << QStringLiteral("%1 -> %2x%3 box (%4x%5):")
               .arg(label)
               .arg(box.width())
               .arg(box.height())
               .arg(target.width())
               .arg(target.height())
        << Qt::endl;
    out << QStringLiteral("  (a) load_picture                      %1 ms").arg(ms(row.ours), 7)
        << Qt::endl;
    out << QStringLiteral("  (b) full decode + smooth scale        %1 ms   b/a %2")
               .arg(ms(row.full), 7)
               .arg(row.full / row.ours, 0, 'f', 2)
        << Qt::endl;
    // The floor is djpeg at the scale this box needs (1/8 where that still
    // covers the box, 2/8 for a 12 MP picture in the 640x480 box).
    out << QStringLiteral("  (c) djpeg -scale %1/8, the scale the box needs (floor) %2 ms   a/c %3")
               .arg(row.eighths)
               .arg(ms(row.floor_needed), 7)
               .arg(row.ours / row.floor_needed, 0, 'f', 2)
        << Qt::endl;
    if (row.eighths != 1)
        out << QStringLiteral("      djpeg -scale 1/8, for comparison  %1 ms")
                   .arg(ms(row.floor8), 7)
            << Qt::endl;
}

Row measure_decode(const QString& label, const QString& path, QSize box, double spawn_overhead) {
    const QSize stored = QImageReader(path).size();
    const QSize target = fit_into(stored, box);
    Row row{};
    row.eighths = dct_eighths(stored, target);
    auto djpeg = [&](int eighths) {
        const QString scale =
            eighths == 8 ? QStringLiteral("1/1") : QStringLiteral("%1/8").arg(eighths);
        return spawn_ms({QStringLiteral("djpeg"), QStringLiteral("-scale"), scale,
                         QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path}) -
               spawn_overhead;
    };
    auto ours = [&] {
        QElapsedTimer timer;
        timer.start();
        if (load_picture(path, box).image.size() != target)
            qFatal("load_picture gave the wrong size");
        return timer.nsecsElapsed() / 1e6;
    };
    // Ours and djpeg's take turns, so a busy moment of the machine weighs on both.
    ours();
    djpeg(1);
    std::vector<double> a, c8, c_needed;
    for (int i = 0; i < runs; ++i) {
        a.push_back(ours());
        c8.push_back(djpeg(1));
        c_needed.push_back(row.eighths == 1 ? c8.back() : djpeg(row.eighths));
    }
    row.ours = median(a);
    row.floor8 = std::max(0.01, median(c8));
    row.floor_needed = std::max(0.01, median(c_needed));
    row.full = time_ms(
        [&] {
            QImageReader reader(path);
            reader.setAutoTransform(true);
            const QImage scaled =
                reader.read().scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            if (scaled.isNull()) qFatal("full decode failed");
        },
        std::max(3, runs / 2));
    print_decode(label, box, target, row);
    return row;
}

// An EXIF block holding only DateTimeOriginal, as a camera writes it.
QByteArray exif_with_time(const QDateTime& when) {
    const QByteArray text = when.toString(QStringLiteral("yyyy:MM:dd hh:mm:ss")).toLatin1() + '\0';
    auto u16 = [](quint16 v) { return QByteArray(1, char(v)) + char(v >> 8); };
    auto u32 = [](quint32 v) {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i) b[i] = char(v >> (8 * i));
        return b;
    };
    // IFD0 at 8 with one entry (the EXIF pointer to 26), the EXIF IFD with DateTimeOriginal.
    QByteArray tiff =
        QByteArray("II*\0", 4) + u32(8) + u16(1) + u16(0x8769) + u16(4) + u32(1) + u32(26) + u32(0);
    tiff += u16(1) + u16(0x9003) + u16(2) + u32(quint32(text.size())) + u32(44) + u32(0) + text;
    return QByteArray("Exif\0\0", 6) + tiff;
}

// Next in the real window, rendered offscreen, from the click to the picture
// box painted; with every store write made 100 ms slower (a slow card) or not.
void measure_next(const QString& folder, const QString& first, bool slow_store) {
    QTemporaryDir state;
    MainWindow window(QCoreApplication::applicationDirPath(), folder + QStringLiteral("/config"),
                std::make_unique<SqliteCommentStore>(
                    state.path(), capture_seconds,
                    slow_store ? std::function<void()>([] { QThread::msleep(100); }) : nullptr),
                UserFolders{state.path(), state.path()});
    Commands& commands = window.commands();
    commands.start_up({first}, folder);
    if (commands.picture_box() != QSize(640, 480)) qFatal("the large layout was not read");
    window.show();
    QCoreApplication::processEvents();
    auto* box = window.findChild<PictureBox*>(QStringLiteral("Image1"));
    const int count = commands.table().count();
    std::vector<double> prepared, cold;
    for (int i = 1; i < count; ++i) {
        commands.picture_cache().wait_idle();
        QCoreApplication::processEvents();
        const bool cold_run = i % 2 == 0;
        if (cold_run) commands.picture_cache().clear();
        commands.document().edit_shown(QStringLiteral("comment %1").arg(i));  // stored by Next
        QElapsedTimer timer;
        timer.start();
        const qint64 before = box->picture().cacheKey();
        commands.show_next();
        // A picture not prepared arrives once it is decoded.
        while (box->picture().cacheKey() == before) {
            QThread::usleep(200);
            QCoreApplication::sendPostedEvents();
        }
        box->repaint();  // the frame with the new picture, painted
        (cold_run ? cold : prepared).push_back(timer.nsecsElapsed() / 1e6);
    }
    commands.document().flush();
    out << QStringLiteral(
               "(d) Next, click to the picture box painted (the real window, offscreen), "
               "24 MP pictures, 640x480 box, %1:")
               .arg(slow_store ? QStringLiteral("each store write 100 ms slower")
                               : QStringLiteral("store written as usual"))
        << Qt::endl;
    line(QStringLiteral("prepared in the background"),
         QStringLiteral("%1 ms  (median of %2)").arg(ms(median(prepared))).arg(prepared.size()));
    line(QStringLiteral("not prepared (cache cleared)"),
         QStringLiteral("%1 ms  (median of %2)").arg(ms(median(cold))).arg(cold.size()));
}

// A folder of count small pictures a minute apart, listed newest first so
// the scan has to sort them.
QString scan_folder(const QString& parent, int count, const QString& picture) {
    const QString folder = QStringLiteral("%1/scan%2").arg(parent).arg(count);
    const QDateTime last = QDateTime(QDate(2024, 5, 3), QTime(0, 0)).addSecs(qint64(count) * 60);
    copy_pictures(folder, picture, count, QStringLiteral("P"), last, -60);
    return folder;
}

void measure_scan(const QString& folder, int count) {
    const double scan = time_ms([&] {
        const std::vector<ListedFile> files = list_pictures(folder).files;
        if (table_order(files).size() != size_t(count)) qFatal("scan did not list every picture");
    });
    const double open = time_ms([&] {
        QuietUi ui;
        QTemporaryDir state;
        Commands commands(ui, QCoreApplication::applicationDirPath(),
                          folder + QStringLiteral("/../config"),
                          UserFolders{state.path(), state.path()});
        ui.chosen.push_back(QDir(folder).filePath(QStringLiteral("P00000.JPG")));
        commands.open_picture();
        if (commands.table().count() != count) qFatal("Open did not list every picture");
    });
    out << QStringLiteral("(e) scan of a folder of %1 pictures:").arg(count) << Qt::endl;
    out << QStringLiteral("  list_pictures + table_order           %1 ms").arg(ms(scan), 7)
        << Qt::endl;
    out << QStringLiteral("  Open (scan, sort, first picture shown) %1 ms").arg(ms(open), 6)
        << Qt::endl;
}

// The scan with the capture-time mode on, of count pictures copied at one
// moment with their camera times a minute apart in EXIF blocks of 20 KB (about
// what a camera's block with its thumbnail takes): cold, with the cache empty
// (the pictures in the page cache), and warm, from the cache file of an
// earlier run and from memory within the run.
void measure_capture_scan(const QString& parent, int count, const QString& picture) {
    const QString folder = QStringLiteral("%1/capture%2").arg(parent).arg(count);
    const QString cache_dir = QStringLiteral("%1/capture-cache%2").arg(parent).arg(count);
    QDir().mkpath(folder);
    QFile source(picture);
    source.open(QIODevice::ReadOnly);
    const QByteArray jpeg = source.readAll();
    for (int i = 0; i < count; ++i) {
        const QByteArray block =
            exif_with_time(
                QDateTime(QDate(2024, 5, 3), QTime(6, 0)).addSecs(qint64(count - i) * 60))
                .leftJustified(20 * 1024, '\0');
        const QString name =
            QStringLiteral("%1/P%2.JPG").arg(folder).arg(i, 5, 10, QLatin1Char('0'));
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        const int length = int(block.size()) + 2;
        file.write(jpeg.left(2) + QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length) +
                   block + jpeg.mid(2));
        file.close();
        touch(name, QDateTime(QDate(2024, 6, 1), QTime(20, 0)));
    }
    auto scan = [&](CaptureTimeCache& cache, int expected_reads) {
        const int before = cache.files_read();
        QElapsedTimer timer;
        timer.start();
        std::vector<ListedFile> files = list_pictures(folder).files;
        use_capture_times(files, folder, cache, [](int) { return false; });
        const std::vector<size_t> order = table_order(files);
        const double elapsed = timer.nsecsElapsed() / 1e6;
        if (order.size() != size_t(count) ||
            files[order.front()].name !=
                QStringLiteral("P%1.JPG").arg(count - 1, 5, 10, QLatin1Char('0')))
            qFatal("the capture-time scan gave the wrong order");
        if (cache.files_read() - before != expected_reads)
            qFatal("the capture-time cache read %d pictures, not %d", cache.files_read() - before,
                   expected_reads);
        return elapsed;
    };
    std::vector<double> cold, from_file, in_memory;
    for (int r = 0; r < runs; ++r) {
        QDir(cache_dir).removeRecursively();
        CaptureTimeCache first(cache_dir);
        cold.push_back(scan(first, count));
        in_memory.push_back(scan(first, 0));
        CaptureTimeCache later(cache_dir);
        from_file.push_back(scan(later, 0));
    }
    out << QStringLiteral("(g) scan of %1 pictures with the capture-time mode on:").arg(count)
        << Qt::endl;
    out << QStringLiteral("  cold (cache empty)                    %1 ms").arg(ms(median(cold)), 7)
        << Qt::endl;
    out << QStringLiteral("  warm (cache file of an earlier run)   %1 ms")
               .arg(ms(median(from_file)), 7)
        << Qt::endl;
    out << QStringLiteral("  warm (cached in memory, same run)     %1 ms")
               .arg(ms(median(in_memory)), 7)
        << Qt::endl;
}

// Peak memory while the picture on screen has a hostile neighbour, which is
// prepared in the background at once: a sparse 3 GB file named x.jpg, the
// largest progressive JPEG the decode budget admits, a header that claims
// 60000 x 60000 pixels.
void measure_hostile_neighbours(const QString& program, const QString& parent,
                                const QString& shown) {
    out << QStringLiteral("(i) peak memory (VmHWM) with the 24 MP picture shown and next to it:")
        << Qt::endl;
    const QImage progressive = photo(QSize(6000, 4000), 5);
    for (const QString& kind : {QStringLiteral("a sparse 3 GB x.jpg (no JPEG)"),
                                QStringLiteral("a 24 MP progressive JPEG, 4:2:0"),
                                QStringLiteral("a JPEG claiming 60000 x 60000")}) {
        QTemporaryDir folder(parent + QStringLiteral("/hostile-XXXXXX"));
        const QString first = folder.filePath(QStringLiteral("a.jpg"));
        const QString next = folder.filePath(QStringLiteral("x.jpg"));
        QFile::copy(shown, first);
        if (kind.contains(QLatin1String("sparse"))) {
            QFile file(next);
            if (!file.open(QIODevice::WriteOnly) || !file.resize(3LL << 30))
                qFatal("cannot make the sparse file");
        } else if (kind.contains(QLatin1String("progressive"))) {
            QImageWriter writer(next, "jpeg");
            writer.setQuality(90);
            writer.setProgressiveScanWrite(true);
            if (!writer.write(progressive)) qFatal("cannot write %s", qPrintable(next));
        } else {
            QFile::copy(shown, next);
            QFile file(next);
            file.open(QIODevice::ReadWrite);
            const QByteArray head = file.read(64 * 1024);
            const qsizetype sof = head.indexOf("\xFF\xC0");
            if (sof < 0) qFatal("no frame header in %s", qPrintable(next));
            file.seek(sof + 5);
            file.write(QByteArray::fromHex("ea60ea60"));  // 60000 x 60000
        }
        const timeval earlier[2] = {{0, 0}, {0, 0}};
        ::utimes(QFile::encodeName(first).constData(), earlier);
        const qint64 peak = peak_kib(program, {first});
        out << QStringLiteral("  %1 %2 MiB").arg(kind, -38).arg(peak / 1024.0, 7, 'f', 1)
            << Qt::endl;
    }
}

// A folder of 24 MP pictures for Next: copies, a minute apart, and the large
// layout in its settings.
void measure_next_in(const QString& work, const QString& mp24) {
    const QString next = work + QStringLiteral("/next");
    QDir().mkpath(next + QStringLiteral("/config"));
    const int copies = std::max(5, 2 * runs + 1);
    for (int i = 0; i < copies; ++i) {
        const QString name =
            QStringLiteral("%1/DSC%2.JPG").arg(next).arg(i, 4, 10, QLatin1Char('0'));
        QFile::copy(mp24, name);
        touch(name, QDateTime(QDate(2024, 5, 3), QTime(9, i)));
    }
    QFile config(next + QStringLiteral("/config/def_list.txt"));
    config.open(QIODevice::WriteOnly);
    config.write("True\r\na\r\nb\r\nc\r\nd\r\n");
    config.close();
    measure_next(next, next + QStringLiteral("/DSC0000.JPG"), false);
    measure_next(next, next + QStringLiteral("/DSC0000.JPG"), true);
}

void measure_memory(const QString& program, const QString& work, const QString& mp24,
                    const QString& largest) {
    const qint64 idle = peak_kib(program, {});
    const QString alone = work + QStringLiteral("/alone");
    QDir().mkpath(alone);  // alone in its folder, so the 24 MP picture is the one shown
    QFile::copy(mp24, alone + QStringLiteral("/24mp.jpg"));
    const qint64 shown = peak_kib(program, {alone + QStringLiteral("/24mp.jpg")});
    out << QStringLiteral("(f) peak memory (VmHWM) of %1, offscreen, after 3 s:").arg(program)
        << Qt::endl;
    line(QStringLiteral("without a picture"),
         QStringLiteral("%1 MiB").arg(idle / 1024.0, 0, 'f', 1));
    line(QStringLiteral("showing the 24 MP picture"),
         QStringLiteral("%1 MiB  (its full decode alone would be %2 MiB)")
             .arg(shown / 1024.0, 0, 'f', 1)
             .arg(6000.0 * 4000 * 4 / 1048576, 0, 'f', 0));
    const qint64 listed = peak_kib(program, {largest});
    line(QStringLiteral("with 10000 pictures listed, no comments"),
         QStringLiteral("%1 MiB").arg(listed / 1024.0, 0, 'f', 1));
    measure_hostile_neighbours(program, work, mp24);
}

}  // namespace

void measure_pictures(const QString& program, const QString& work) {
    const QString mp12 = work + QStringLiteral("/12mp.jpg");
    const QString mp24 = work + QStringLiteral("/24mp.jpg");
    const QString tiny = work + QStringLiteral("/tiny.jpg");
    out << "Drawing the test pictures in " << work << " ..." << Qt::endl;
    save_jpeg(photo(QSize(4000, 3000), 12), mp12);
    save_jpeg(photo(QSize(6000, 4000), 24), mp24);
    save_jpeg(QImage(8, 8, QImage::Format_RGB32), tiny);
    out << QStringLiteral(
               "12 MP 4000x3000: %1 MB, 24 MP 6000x4000: %2 MB (quality 90, drawn with grain)")
               .arg(QFileInfo(mp12).size() / 1e6, 0, 'f', 1)
               .arg(QFileInfo(mp24).size() / 1e6, 0, 'f', 1)
        << Qt::endl;
    out << QStringLiteral("Times are medians of %1 runs, files in the page cache.").arg(runs)
        << Qt::endl;
    const double spawn_overhead = time_ms(
        [&] {
            spawn_ms({QStringLiteral("djpeg"), QStringLiteral("-outfile"),
                      QStringLiteral("/dev/null"), tiny});
        },
        15);
    out << QStringLiteral(
               "djpeg figures are the process's wall time minus %1 ms, its wall time "
               "on an 8x8 JPEG.")
               .arg(ms(spawn_overhead))
        << Qt::endl
        << Qt::endl;
    measure_decode(QStringLiteral("12 MP"), mp12, QSize(640, 480), spawn_overhead);
    measure_decode(QStringLiteral("12 MP"), mp12, QSize(480, 360), spawn_overhead);
    const Row large =
        measure_decode(QStringLiteral("24 MP"), mp24, QSize(640, 480), spawn_overhead);
    measure_decode(QStringLiteral("24 MP"), mp24, QSize(480, 360), spawn_overhead);
    out << Qt::endl;
    measure_next_in(work, mp24);
    const QString small = work + QStringLiteral("/small.jpg");
    save_jpeg(photo(QSize(320, 240), 7), small);
    QString largest;
    for (const int count : {201, 2000, 10000})
        measure_scan(largest = scan_folder(work, count, small), count);
    for (const int count : {201, 2000}) measure_capture_scan(work, count, small);
    if (!program.isEmpty()) measure_memory(program, work, mp24, largest);
    out << Qt::endl;
    out << QStringLiteral("ratio_to_floor %1").arg(large.ours / large.floor_needed, 0, 'f', 2)
        << Qt::endl;
    out << QStringLiteral("speedup_vs_full %1").arg(large.full / large.ours, 0, 'f', 2) << Qt::endl;
}

}  // namespace fotavi::bench
