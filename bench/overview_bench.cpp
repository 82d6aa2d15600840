// Measures the overview's thumbnails and the photo diary: 2,000 thumbnails
// with the thumbnail cache empty and full, against the floor of the same
// scaled decodes alone on the machine's cores; the photo diary of 300
// commented 24-megapixel pictures, HTML and PDF, cache empty and full.
// Then the overview's window itself (overview_view_bench.cpp).
// Usage: fotavi_overview_bench [thumbnails] [diary pictures] [pictures scrolled]

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include "bench/overview_bench.h"
#include "photo_diary/diary.h"
#include "time_log/time_log.h"
#include "overview/thumbnailer.h"
#include "platform/picture.h"
#include "platform/worker.h"

namespace fotavi {
namespace {

QTextStream out(stdout);

// A camera-like picture: a sky, some shapes and grain on every pixel, which
// is what makes a camera's JPEG slow to decode.
QImage camera_picture(QSize size, unsigned seed) {
    std::mt19937 random(seed);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor::fromHsv(int(random() % 360), 120, 220));
    sky.setColorAt(1, QColor::fromHsv(int(random() % 360), 160, 90));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 60; ++i) {
        painter.setBrush(QColor::fromHsv(int(random() % 360), 150, int(80 + random() % 170)));
        const int r = int(random() % unsigned(size.width() / 8)) + 8;
        painter.drawEllipse(
            QPoint(int(random() % unsigned(size.width())), int(random() % unsigned(size.height()))),
            r, r * 2 / 3);
    }
    painter.end();
    std::minstd_rand grain(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int g = int(grain() % 24) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + g, 0, 255), std::clamp(qGreen(p) + g, 0, 255),
                           std::clamp(qBlue(p) + g, 0, 255));
        }
    }
    return image;
}

// jpeg with an EXIF block after its start marker that holds, as cameras
// write it, a 160 x 120 thumbnail of picture (little-endian: the first
// directory with Orientation 1, the second with the thumbnail's place).
QByteArray with_exif_thumbnail(const QByteArray& jpeg, const QImage& picture) {
    QByteArray thumbnail;
    QBuffer buffer(&thumbnail);
    buffer.open(QIODevice::WriteOnly);
    picture.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .save(&buffer, "JPG", 75);
    auto bytes = [](std::initializer_list<char> list) {
        return QByteArray(list.begin(), qsizetype(list.size()));
    };
    auto u16 = [&](quint16 v) { return bytes({char(v), char(v >> 8)}); };
    auto u32 = [&](quint32 v) { return u16(quint16(v)) + u16(quint16(v >> 16)); };
    auto entry = [&](quint16 tag, quint16 type, const QByteArray& value) {
        return u16(tag) + u16(type) + u32(1) + value.leftJustified(4, '\0');
    };
    constexpr quint32 kSecond = 8 + 2 + 12 + 4;
    constexpr quint32 kThumbnail = kSecond + 2 + 2 * 12 + 4;
    const QByteArray tiff = QByteArray("II*\0", 4) + u32(8) + u16(1) + entry(0x0112, 3, u16(1)) +
                            u32(kSecond) + u16(2) + entry(0x0201, 4, u32(kThumbnail)) +
                            entry(0x0202, 4, u32(quint32(thumbnail.size()))) + u32(0) + thumbnail;
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(payload.size()) + 2;
    return jpeg.left(2) + bytes({char(0xFF), char(0xE1), char(length >> 8), char(length)}) +
           payload + jpeg.mid(2);
}

}  // namespace

QStringList make_pictures(const QString& folder, int count, QSize size, bool embedded) {
    constexpr int kDistinct = 4;
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/DSC%2.JPG").arg(folder).arg(i, 5, 10, QChar(u'0'));
        if (i < kDistinct) {
            const QImage picture = camera_picture(size, unsigned(i + 1));
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(90);
            if (!writer.write(picture)) qFatal("cannot make %s", qPrintable(path));
            QFile file(path);
            if (embedded) jpeg = with_exif_thumbnail(jpeg, picture);
            if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
                qFatal("cannot write %s", qPrintable(path));
        } else if (::link(QFile::encodeName(paths[i % kDistinct]).constData(),
                          QFile::encodeName(path).constData()) != 0 &&
                   !QFile::copy(paths[i % kDistinct], path)) {
            qFatal("cannot make %s", qPrintable(path));
        }
        paths << path;
    }
    return paths;
}

double seconds(const std::function<void()>& f) {
    QElapsedTimer timer;
    timer.start();
    f();
    return timer.nsecsElapsed() / 1e9;
}

long peak_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

int cores() { return std::max(1, QThread::idealThreadCount()); }

namespace {

// The floor: the same decodes and nothing else, one worker a core.
double decode_floor(const QStringList& paths, QSize box) {
    return seconds([&] {
        std::atomic<int> next{0};
        std::vector<std::unique_ptr<Worker>> workers;
        for (int w = 0; w < cores(); ++w) {
            workers.push_back(std::make_unique<Worker>());
            workers.back()->post([&] {
                for (int i = next++; i < paths.size(); i = next++) load_picture(paths[i], box);
            });
        }
        for (auto& worker : workers) worker->wait_idle();
    });
}

// Asks for every thumbnail as a view would, a screenful at a time, and
// waits for each to be final. Returns {first screenful, all} in seconds.
std::pair<double, double> thumbnails_of(const QStringList& paths, const QString& cache) {
    constexpr int kScreenful = 40;
    Thumbnailer::Options options;
    options.cache_root = cache;
    options.decoders = cores();
    Thumbnailer thumbnails(options);
    int final = 0;
    QObject::connect(&thumbnails, &Thumbnailer::ready,
                     [&](const QString&, ThumbnailSize, const Thumbnail& t) {
                         final += t.state != Thumbnail::State::Preview;
                     });
    QElapsedTimer timer;
    timer.start();
    double first = 0;
    for (int i = 0; i < paths.size(); ++i) {
        if (thumbnails.request(paths[i], ThumbnailSize::Large).state == Thumbnail::State::Final)
            ++final;
        if (i + 1 == kScreenful) {
            while (final < kScreenful)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            first = timer.nsecsElapsed() / 1e9;
        }
    }
    while (final < paths.size()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return {first, timer.nsecsElapsed() / 1e9};
}

void bench_thumbnails(int count) {
    QTemporaryDir folder, cache;
    const QSize size(3008, 2000);
    out << "Thumbnails (256 px) of " << count << " pictures of " << size.width() << " x "
        << size.height() << ", " << cores() << " cores\n";
    out.flush();
    const QStringList paths = make_pictures(folder.path(), count, size);
    const double floor = decode_floor(paths, QSize(256, 256));
    out << QStringLiteral("  floor: the scaled decodes alone      %1 s\n").arg(floor, 0, 'f', 2);
    const auto [empty_first, empty_all] = thumbnails_of(paths, cache.path());
    out << QStringLiteral("  cache empty: first screenful (40)    %1 ms\n")
               .arg(empty_first * 1000, 0, 'f', 0);
    out << QStringLiteral("  cache empty: all final, cache written %1 s (%2 % of the floor)\n")
               .arg(empty_all, 0, 'f', 2)
               .arg(100 * empty_all / floor, 0, 'f', 0);
    const auto [full_first, full_all] = thumbnails_of(paths, cache.path());
    out << QStringLiteral("  cache full:  first screenful (40)    %1 ms\n")
               .arg(full_first * 1000, 0, 'f', 0);
    out << QStringLiteral("  cache full:  all final               %1 s\n").arg(full_all, 0, 'f', 2);
    out << QStringLiteral("  peak memory so far                   %1 MiB\n").arg(peak_mib());
    out.flush();
}

void bench_diary(int count) {
    QTemporaryDir folder, cache;
    const QSize size(6000, 4000);
    out << "Photo diary of " << count << " commented pictures of " << size.width() << " x "
        << size.height() << " (24 MP)\n";
    out.flush();
    const QStringList paths = make_pictures(folder.path(), count, size);
    out << QStringLiteral("  one picture                          %1 MB\n")
               .arg(QFileInfo(paths[0]).size() / 1e6, 0, 'f', 1);
    DiaryRequest request;
    request.folder = folder.path();
    request.title = QStringLiteral("ベンチマーク");
    request.thumbnail_root = cache.path();
    request.decoders = cores();
    for (int i = 0; i < count; ++i) {
        const DateTime when = to_date_time(QDate(2024, 5, 3 + i / 50), QTime(8, 0).addSecs(i * 60));
        request.entries.push_back(
            {paths[i], log_day(when), log_time(when),
             QStringLiteral("%1 枚目。海沿いの道を歩いて、灯台まで行った。<b>風</b>が強い。")
                 .arg(i + 1)});
    }
    const double floor = decode_floor(paths, QSize(512, 512));
    out << QStringLiteral("  floor: the scaled decodes alone      %1 s\n").arg(floor, 0, 'f', 2);
    auto run = [&](const char* what, bool html, bool pdf) {
        request.html = html;
        request.pdf = pdf;
        DiaryWrite result;
        const double s = seconds([&] { result = write_photo_diary(request); });
        if (!result.ok()) qFatal("%s not written", qPrintable(result.problem.path));
        qint64 bytes = 0;
        for (const QString& path : result.written) bytes += QFileInfo(path).size();
        out << QStringLiteral("  %1 %2 s (%3 MB)\n")
                   .arg(QLatin1String(what))
                   .arg(s, 0, 'f', 2)
                   .arg(bytes / 1e6, 0, 'f', 1);
        out.flush();
    };
    run("cache empty: HTML and PDF          ", true, true);
    run("cache full:  HTML and PDF          ", true, true);
    run("cache full:  HTML only             ", true, false);
    run("cache full:  PDF only              ", false, true);
    out << QStringLiteral("  peak memory                          %1 MiB\n").arg(peak_mib());
}

}  // namespace
}  // namespace fotavi

int main(int argc, char** argv) {
    // The overview's window is measured as drawn, on no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // What the offscreen platform cannot do for a window is no figure.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith(QLatin1String("This plugin does not support")))
            QTextStream(stderr) << text << Qt::endl;
    });
    const QStringList args = QApplication::arguments();
    if (args.size() > 1 && args[1].startsWith(QLatin1String("--")))
        return fotavi::overview_scroll_child(args);
    const int thumbnails = argc > 1 ? atoi(argv[1]) : 2000;
    const int diary = argc > 2 ? atoi(argv[2]) : 300;
    const int scrolled = argc > 3 ? atoi(argv[3]) : 10000;
    // The memory of a fresh process first: the peak of this one grows below.
    if (scrolled > 0) fotavi::bench_overview_memory(scrolled);
    if (thumbnails > 0) fotavi::bench_overview_window(thumbnails);
    if (thumbnails > 0) fotavi::bench_thumbnails(thumbnails);
    if (diary > 0) fotavi::bench_diary(diary);
    return 0;
}
