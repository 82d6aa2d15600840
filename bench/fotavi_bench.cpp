// Measures how fast a picture gets on screen: the decode against libjpeg-turbo's
// own floor (djpeg), Next with the picture prepared in the background, the scan
// of a full folder, and the program's peak memory on a 24 MP picture.

#include <fcntl.h>
#include <spawn.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include "app/commands.h"
#include "browse/capture_cache.h"
#include "browse/image_table.h"
#include "browse/picture_cache.h"
#include "journal/sqlite_comment_store.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "platform/text_file.h"
#include "tests/album.h"
#include "tests/fake_ui.h"

extern char** environ;

namespace fotavi {
namespace {

QTextStream out(stdout);
int g_runs = 7;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Median wall time of f in milliseconds, after one warm-up run.
double time_ms(const std::function<void()>& f, int runs = g_runs) {
    f();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// A picture with what makes camera JPEGs slow to decode: smooth areas, edges
// and fine grain everywhere (flat colours would decode far faster).
QImage photo(QSize size, unsigned seed) {
    std::mt19937 random(seed);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(random);
    };
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(70, 120, 200));
    sky.setColorAt(0.55, QColor(200, 210, 230));
    sky.setColorAt(0.56, QColor(90, 110, 60));
    sky.setColorAt(1, QColor(50, 60, 30));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 400; ++i) {
        const QPointF centre(uniform(0, size.width()), uniform(0, size.height()));
        const double radius = uniform(0.01, 0.12) * size.width();
        QRadialGradient blob(centre, radius);
        const QColor colour =
            QColor::fromHsv(int(uniform(0, 359)), int(uniform(40, 220)), int(uniform(40, 250)));
        blob.setColorAt(0, colour);
        blob.setColorAt(0.7, colour.darker(int(uniform(110, 180))));
        blob.setColorAt(1, Qt::transparent);
        painter.setBrush(blob);
        painter.drawEllipse(centre, radius, radius * uniform(0.4, 1.2));
    }
    painter.end();
    // Sensor grain on every channel.
    std::minstd_rand grain(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const unsigned r = unsigned(grain());
            auto add = [&](int c, int shift) {
                return std::clamp(c + int((r >> shift) & 31) - 16, 0, 255);
            };
            const QRgb p = line[x];
            line[x] = qRgb(add(qRed(p), 0), add(qGreen(p), 4), add(qBlue(p), 8));
        }
    }
    return image;
}

void save(const QImage& image, const QString& path) {
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    if (!writer.write(image)) qFatal("cannot write %s", qPrintable(path));
}

// Wall time of one run of a program, its output thrown away.
double spawn_ms(const QStringList& args) {
    std::vector<QByteArray> bytes;
    for (const QString& a : args) bytes.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        qFatal("cannot start %s", argv[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = timer.nsecsElapsed() / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) qFatal("%s failed", argv[0]);
    return ms;
}

// The DCT scale (n/8) Qt's JPEG reader picks: the smallest whose result still
// covers the requested size.
int dct_eighths(QSize stored, QSize target) {
    const double f = std::min(double(stored.width()) / target.width(),
                              double(stored.height()) / target.height());
    return std::clamp(int(std::ceil(8 / f)), 1, 8);
}

QString ms(double v) { return QString::number(v, 'f', v < 10 ? 2 : 1); }

struct Row {
    double ours, full, floor8, floor_needed;
    int eighths;
};

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
    for (int i = 0; i < g_runs; ++i) {
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
        std::max(3, g_runs / 2));
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
    out << QStringLiteral("  (c) djpeg -scale 1/8 (floor)          %1 ms   a/c %2")
               .arg(ms(row.floor8), 7)
               .arg(row.ours / row.floor8, 0, 'f', 2)
        << Qt::endl;
    if (row.eighths != 1) {
        out << QStringLiteral("  (c') djpeg -scale %1/8 (the scale this box needs) %2 ms   a/c' %3")
                   .arg(row.eighths)
                   .arg(ms(row.floor_needed))
                   .arg(row.ours / row.floor_needed, 0, 'f', 2)
            << Qt::endl;
    }
    return row;
}

// A screen that notes when the picture arrives.
class TimedUi : public FakeUi {
public:
    QElapsedTimer clock;
    qint64 shown_at = 0;
    void set_picture(const QImage& image) override {
        shown_at = clock.nsecsElapsed();
        FakeUi::set_picture(image);
    }
};

// Each store write takes 100 ms longer, as on a slow card whose fsync waits.
void slow_write() { QThread::msleep(100); }

void measure_next(const QString& folder, const QString& first, bool slow_journal) {
    TimedUi ui;
    ui.clock.start();
    QTemporaryDir state;
    Commands commands(ui, QCoreApplication::applicationDirPath(),
                      folder + QStringLiteral("/config"), UserFolders{state.path(), state.path()},
                      std::make_unique<SqliteCommentStore>(
                          state.path(), capture_seconds,
                          slow_journal ? std::function<void()>(slow_write) : nullptr));
    commands.start_up({}, folder);
    if (commands.picture_box() != QSize(640, 480)) qFatal("the large layout was not read");
    ui.chosen_pictures.push_back(first);
    commands.k_open();
    const int count = commands.table().img_count();
    std::vector<double> prepared, cold;
    for (int i = 1; i < count; ++i) {
        commands.picture_cache().wait_idle();
        const bool cold_run = i % 2 == 0;
        if (cold_run) commands.picture_cache().clear();
        ui.comment_text = QStringLiteral("comment %1").arg(i);  // stored and saved by Next
        const qint64 start = ui.clock.nsecsElapsed();
        commands.k_incre();
        if (ui.picture.isNull()) qFatal("Next showed no picture");
        (cold_run ? cold : prepared).push_back((ui.shown_at - start) / 1e6);
    }
    commands.document().flush();
    out << QStringLiteral("(d) Next to picture on screen, 24 MP pictures, 640x480 box, %1:")
               .arg(slow_journal ? QStringLiteral("each journal write 100 ms slower")
                                 : QStringLiteral("journal written as usual"))
        << Qt::endl;
    out << QStringLiteral("  prepared in the background            %1 ms  (median of %2)")
               .arg(ms(median(prepared)), 7)
               .arg(prepared.size())
        << Qt::endl;
    out << QStringLiteral("  not prepared (cache cleared)          %1 ms  (median of %2)")
               .arg(ms(median(cold)), 7)
               .arg(cold.size())
        << Qt::endl;
}

// A folder of count small pictures, a minute apart, listed against their times.
QString scan_folder(const QString& parent, int count, const QString& picture) {
    const QString folder = QStringLiteral("%1/scan%2").arg(parent).arg(count);
    QDir().mkpath(folder);
    const QDateTime start = at(2024, 5, 3, 0, 0);
    for (int i = 0; i < count; ++i) {
        const QString name =
            QStringLiteral("%1/P%2.JPG").arg(folder).arg(i, 5, 10, QLatin1Char('0'));
        QFile::copy(picture, name);
        const timeval times[2] = {{time_t(start.toSecsSinceEpoch() + qint64(count - i) * 60), 0},
                                  {time_t(start.toSecsSinceEpoch() + qint64(count - i) * 60), 0}};
        ::utimes(QFile::encodeName(name).constData(), times);
    }
    return folder;
}

void measure_scan(const QString& folder, int count) {
    const double scan = time_ms([&] {
        ImageTable table;
        fill_table(table, list_pictures(folder).files);
        if (table.img_count() != count) qFatal("scan did not list every picture");
    });
    const double open = time_ms([&] {
        FakeUi ui;
        Commands commands(ui, QCoreApplication::applicationDirPath(),
                          folder + QStringLiteral("/../config"));
        ui.chosen_pictures.push_back(QDir(folder).filePath(QStringLiteral("P00000.JPG")));
        commands.k_open();
        if (commands.table().img_count() != count) qFatal("Open did not list every picture");
    });
    out << QStringLiteral("(e) scan of a folder of %1 pictures:").arg(count) << Qt::endl;
    out << QStringLiteral("  list_pictures + fill_table            %1 ms").arg(ms(scan), 7)
        << Qt::endl;
    out << QStringLiteral("  Open (scan, sort, first picture shown) %1 ms").arg(ms(open), 6)
        << Qt::endl;
}

// 小文字 on a folder of thousands of pictures: every file is renamed (and
// then back, so the folder stays as it was).
void measure_lower_case(const QString& folder) {
    FakeUi ui;
    QTemporaryDir state;
    Commands commands(ui, QCoreApplication::applicationDirPath(),
                      folder + QStringLiteral("/../config"),
                      UserFolders{state.path(), state.path()});
    ui.chosen_pictures.push_back(QDir(folder).filePath(QStringLiteral("P00000.JPG")));
    commands.k_open();
    const int count = commands.table().img_count();
    QElapsedTimer timer;
    timer.start();
    commands.k_komoji();
    const double lower = timer.nsecsElapsed() / 1e6;
    if (commands.table().img_name.front() != commands.table().img_name.front().toLower())
        qFatal("小文字 renamed nothing");
    for (const QString& name : commands.table().img_name)
        QFile::rename(QDir(folder).filePath(name), QDir(folder).filePath(name.toUpper()));
    out << QStringLiteral("(h) 小文字 on %1 pictures (every file renamed)  %2 ms")
               .arg(count)
               .arg(ms(lower), 7)
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
        Exif exif;
        exif.original = at(2024, 5, 3, 6, 0)
                            .addSecs(qint64(count - i) * 60)
                            .toString(QStringLiteral("yyyy:MM:dd hh:mm:ss"))
                            .toLatin1();
        const QByteArray block = exif_block(exif).leftJustified(20 * 1024, '\0');
        const QString name =
            QStringLiteral("%1/P%2.JPG").arg(folder).arg(i, 5, 10, QLatin1Char('0'));
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        file.write(jpeg.left(2) + jpeg_segment(0xE1, block) + jpeg.mid(2));
        file.close();
        const timeval times[2] = {{time_t(at(2024, 6, 1, 20, 0).toSecsSinceEpoch()), 0},
                                  {time_t(at(2024, 6, 1, 20, 0).toSecsSinceEpoch()), 0}};
        ::utimes(QFile::encodeName(name).constData(), times);
    }
    auto scan = [&](CaptureTimeCache& cache, int expected_reads) {
        const int before = cache.files_read();
        QElapsedTimer timer;
        timer.start();
        std::vector<ListedFile> files = list_pictures(folder).files;
        use_capture_times(files, folder, cache, [](int) { return false; });
        ImageTable table;
        fill_table(table, files);
        const double elapsed = timer.nsecsElapsed() / 1e6;
        if (table.img_count() != count ||
            table.img_name.front() !=
                QStringLiteral("P%1.JPG").arg(count - 1, 5, 10, QLatin1Char('0')))
            qFatal("the capture-time scan gave the wrong order");
        if (cache.files_read() - before != expected_reads)
            qFatal("the capture-time cache read %d pictures, not %d", cache.files_read() - before,
                   expected_reads);
        return elapsed;
    };
    std::vector<double> cold, from_file, in_memory;
    for (int run = 0; run < g_runs; ++run) {
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

// Peak resident memory (VmHWM) of the program after it has run for a while.
qint64 peak_kib(const QString& program, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    if (!process.waitForStarted()) qFatal("cannot start %s", qPrintable(program));
    QThread::sleep(3);
    QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
    qint64 kib = -1;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                kib = line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    process.kill();
    process.waitForFinished();
    return kib;
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

}  // namespace
}  // namespace fotavi

int main(int argc, char** argv) {
    using namespace fotavi;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString program = args.size() > 1 ? QFileInfo(args.at(1)).absoluteFilePath() : QString();
    if (args.size() > 2) g_runs = std::max(1, args.at(2).toInt());

    // FOTAVI_BENCH_DIR keeps the drawn pictures there, to look at or decode again.
    QTemporaryDir work(qEnvironmentVariableIsEmpty("FOTAVI_BENCH_DIR")
                           ? QDir::tempPath() + QStringLiteral("/fotavi_bench-XXXXXX")
                           : qEnvironmentVariable("FOTAVI_BENCH_DIR") + QStringLiteral("/XXXXXX"));
    work.setAutoRemove(qEnvironmentVariableIsEmpty("FOTAVI_BENCH_DIR"));
    const QString mp12 = work.filePath(QStringLiteral("12mp.jpg"));
    const QString mp24 = work.filePath(QStringLiteral("24mp.jpg"));
    const QString tiny = work.filePath(QStringLiteral("tiny.jpg"));
    out << "Drawing the test pictures in " << work.path() << " ..." << Qt::endl;
    save(photo(QSize(4000, 3000), 12), mp12);
    save(photo(QSize(6000, 4000), 24), mp24);
    save(QImage(8, 8, QImage::Format_RGB32), tiny);
    out << QStringLiteral(
               "12 MP 4000x3000: %1 MB, 24 MP 6000x4000: %2 MB (quality 90, drawn with grain)")
               .arg(QFileInfo(mp12).size() / 1e6, 0, 'f', 1)
               .arg(QFileInfo(mp24).size() / 1e6, 0, 'f', 1)
        << Qt::endl;
    out << QStringLiteral("Times are medians of %1 runs, files in the page cache.").arg(g_runs)
        << Qt::endl;

    const double spawn_overhead = time_ms(
        [&] {
            spawn_ms({QStringLiteral("djpeg"), QStringLiteral("-outfile"),
                      QStringLiteral("/dev/null"), tiny});
        },
        15);
    out << QStringLiteral(
               "djpeg figures are the process's wall time minus %1 ms, its wall time on an 8x8 "
               "JPEG.")
               .arg(ms(spawn_overhead))
        << Qt::endl
        << Qt::endl;

    measure_decode(QStringLiteral("12 MP"), mp12, QSize(640, 480), spawn_overhead);
    measure_decode(QStringLiteral("12 MP"), mp12, QSize(480, 360), spawn_overhead);
    const Row large =
        measure_decode(QStringLiteral("24 MP"), mp24, QSize(640, 480), spawn_overhead);
    measure_decode(QStringLiteral("24 MP"), mp24, QSize(480, 360), spawn_overhead);
    out << Qt::endl;

    // A folder of 24 MP pictures for Next: copies, a minute apart.
    Album next;
    QDir(next.path()).mkdir(QStringLiteral("config"));
    const int copies = std::max(5, 2 * g_runs + 1);
    for (int i = 0; i < copies; ++i) {
        const QString name = QStringLiteral("DSC%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        QFile::copy(mp24, next.file(name));
        next.touch(name, at(2024, 5, 3, 9, i));
    }
    // The settings start with the small layout; Next is measured in the large one.
    {
        QFile config(next.file(QStringLiteral("config/def_list.txt")));
        config.open(QIODevice::WriteOnly);
        config.write("True\r\na\r\nb\r\nc\r\nd\r\n");
    }
    measure_next(next.path(), next.file(QStringLiteral("DSC0000.JPG")), false);
    measure_next(next.path(), next.file(QStringLiteral("DSC0000.JPG")), true);

    Album scan;
    const QString small = scan.file(QStringLiteral("small.jpg"));
    save(photo(QSize(320, 240), 7), small);
    QString largest;
    for (const int count : {201, 2000, 10000})
        measure_scan(largest = scan_folder(scan.path(), count, small), count);
    measure_lower_case(largest);
    for (const int count : {201, 2000}) measure_capture_scan(scan.path(), count, small);

    if (!program.isEmpty()) {
        const qint64 idle = peak_kib(program, {});
        // Alone in its folder, so the 24 MP picture is the one shown.
        const QString alone = work.filePath(QStringLiteral("alone"));
        QDir().mkpath(alone);
        QFile::copy(mp24, alone + QStringLiteral("/24mp.jpg"));
        const qint64 shown = peak_kib(program, {alone + QStringLiteral("/24mp.jpg")});
        out << QStringLiteral("(f) peak memory (VmHWM) of %1, offscreen, after 3 s:").arg(program)
            << Qt::endl;
        out << QStringLiteral("  without a picture                     %1 MiB")
                   .arg(idle / 1024.0, 7, 'f', 1)
            << Qt::endl;
        out << QStringLiteral(
                   "  showing the 24 MP picture             %1 MiB  (its full decode alone would "
                   "be %2 MiB)")
                   .arg(shown / 1024.0, 7, 'f', 1)
                   .arg(6000.0 * 4000 * 4 / 1048576, 0, 'f', 0)
            << Qt::endl;
        const qint64 listed = peak_kib(program, {largest});
        out << QStringLiteral("  with 10000 pictures listed            %1 MiB")
                   .arg(listed / 1024.0, 7, 'f', 1)
            << Qt::endl;
        measure_hostile_neighbours(program, work.path(), mp24);
    }
    out << Qt::endl;
    out << QStringLiteral("ratio_to_floor %1").arg(large.ours / large.floor8, 0, 'f', 2)
        << Qt::endl;
    out << QStringLiteral("speedup_vs_full %1").arg(large.full / large.ours, 0, 'f', 2) << Qt::endl;
    return 0;
}
