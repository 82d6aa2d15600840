// HEIF pictures (what phones save as HEIC): the picture on screen against
// libheif's own decode of the same file, Next across HEICs with the decode
// ahead, and the overview's thumbnail from the file's own thumbnail image
// against the cost of reading that image and against a decode of the whole.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <libheif/heif.h>

#include "app/widgets/main_window.h"
#include "app/widgets/picture_box.h"
#include "bench/bench.h"
#include "comments/sqlite_comment_store.h"
#include "overview/exif_thumbnail.h"
#include "platform/heif.h"
#include "platform/picture.h"

namespace fotavi::bench {

namespace {

// A phone's HEIC made from a drawn picture by heif-enc, with its own
// thumbnail of 320 pixels a side as phones store one.
QString make_heic(const QString& folder, QSize size, unsigned seed) {
    const QString jpeg = QStringLiteral("%1/source%2.jpg").arg(folder).arg(seed);
    const QString heic =
        QStringLiteral("%1/IMG_%2.HEIC").arg(folder).arg(seed, 4, 10, QLatin1Char('0'));
    save_jpeg(photo(size, seed), jpeg);
    if (QProcess::execute(QStringLiteral("heif-enc"),
                          {QStringLiteral("-q"), QStringLiteral("50"), QStringLiteral("-t"),
                           QStringLiteral("320"), jpeg, QStringLiteral("-o"), heic}) != 0)
        qFatal("heif-enc failed on %s", qPrintable(jpeg));
    QFile::remove(jpeg);
    return heic;
}

// libheif on its own, as a small C program uses it: the file read, the
// primary picture decoded to interleaved RGB at full size.
double libheif_decode_ms(const QString& path, bool thumbnail) {
    QElapsedTimer timer;
    timer.start();
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code ||
        heif_context_get_primary_image_handle(context, &handle).code)
        qFatal("libheif cannot read %s", qPrintable(path));
    heif_image_handle* decoded = handle;
    heif_item_id id = 0;
    if (thumbnail) {
        if (heif_image_handle_get_list_of_thumbnail_IDs(handle, &id, 1) != 1 ||
            heif_image_handle_get_thumbnail(handle, id, &decoded).code)
            qFatal("no thumbnail in %s", qPrintable(path));
    }
    if (heif_decode_image(decoded, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          nullptr)
            .code)
        qFatal("libheif cannot decode %s", qPrintable(path));
    heif_image_release(image);
    if (decoded != handle) heif_image_handle_release(decoded);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return timer.nsecsElapsed() / 1e6;
}

void measure_on_screen(const QString& path) {
    const QSize box(640, 480);
    std::vector<double> ours, theirs;
    libheif_decode_ms(path, false);
    load_picture(path, box);
    // Taking turns, so a busy moment of the machine weighs on both.
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (load_picture(path, box).image.size() != QSize(640, 480))
            qFatal("load_picture gave the wrong size");
        ours.push_back(timer.nsecsElapsed() / 1e6);
        theirs.push_back(libheif_decode_ms(path, false));
    }
    out << QStringLiteral("(h1) a 12 MP HEIC (4032x3024) on screen, 640x480 box:") << Qt::endl;
    line(QStringLiteral("load_picture (decode, shrink, fit)"),
         ms(median(ours)) + QStringLiteral(" ms"));
    line(QStringLiteral("libheif's own full decode to RGB"),
         QStringLiteral("%1 ms   ours/libheif %2")
             .arg(ms(median(theirs)))
             .arg(median(ours) / median(theirs), 0, 'f', 2));
}

void measure_thumbnails(const QString& path) {
    std::vector<double> own, reading, whole;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!read_heif_thumbnail(path, 256).covers) qFatal("the own thumbnail was not taken");
        own.push_back(timer.nsecsElapsed() / 1e6);
        reading.push_back(libheif_decode_ms(path, true));
        timer.restart();
        load_picture(path, QSize(256, 256));
        whole.push_back(timer.nsecsElapsed() / 1e6);
    }
    out << QStringLiteral("(h2) the overview's 256 thumbnail of that HEIC (its own is 320 wide):")
        << Qt::endl;
    line(QStringLiteral("read_heif_thumbnail"), ms(median(own)) + QStringLiteral(" ms"));
    line(QStringLiteral("libheif reading the thumbnail alone"),
         QStringLiteral("%1 ms   ours/libheif %2")
             .arg(ms(median(reading)))
             .arg(median(own) / median(reading), 0, 'f', 2));
    line(QStringLiteral("a decode of the whole picture instead"),
         ms(median(whole)) + QStringLiteral(" ms"));
}

// Next in the real window, offscreen, from the click to the picture box
// painted, across HEICs: decoded ahead, and with the cache cleared.
void measure_next(const QString& folder, const QString& first) {
    QTemporaryDir state;
    MainWindow window(QCoreApplication::applicationDirPath(), folder + QStringLiteral("/config"),
                std::make_unique<SqliteCommentStore>(state.path(), capture_seconds),
                UserFolders{state.path(), state.path()});
    Commands& commands = window.commands();
    commands.start_up({first}, folder);
    window.show();
    QCoreApplication::processEvents();
    auto* box = window.findChild<PictureBox*>(QStringLiteral("Image1"));
    std::vector<double> prepared, cold;
    for (int i = 1; i < commands.table().count(); ++i) {
        commands.picture_cache().wait_idle();
        QCoreApplication::processEvents();
        const bool cold_run = i % 2 == 0;
        if (cold_run) commands.picture_cache().clear();
        QElapsedTimer timer;
        timer.start();
        const qint64 before = box->picture().cacheKey();
        commands.show_next();
        // A picture not prepared arrives once it is decoded.
        while (box->picture().cacheKey() == before) {
            QThread::usleep(200);
            QCoreApplication::sendPostedEvents();
        }
        box->repaint();
        (cold_run ? cold : prepared).push_back(timer.nsecsElapsed() / 1e6);
    }
    out << QStringLiteral("(h3) Next across 12 MP HEICs, click to the picture box painted:")
        << Qt::endl;
    line(QStringLiteral("prepared in the background"),
         QStringLiteral("%1 ms  (median of %2)").arg(ms(median(prepared))).arg(prepared.size()));
    line(QStringLiteral("not prepared (cache cleared)"),
         QStringLiteral("%1 ms  (median of %2)").arg(ms(median(cold))).arg(cold.size()));
}

}  // namespace

void measure_heif(const QString& work) {
    const QString folder = work + QStringLiteral("/heif");
    QDir().mkpath(folder + QStringLiteral("/config"));
    // One picture encoded (x265 takes a while), copied a minute apart.
    const QString first = make_heic(folder, QSize(4032, 3024), 1);
    touch(first, QDateTime(QDate(2024, 5, 3), QTime(9, 0)));
    for (int i = 1; i < std::max(5, 2 * runs + 1); ++i) {
        const QString copy =
            QStringLiteral("%1/IMG_%2.HEIC").arg(folder).arg(i + 1, 4, 10, QLatin1Char('0'));
        QFile::copy(first, copy);
        touch(copy, QDateTime(QDate(2024, 5, 3), QTime(9, i)));
    }
    measure_on_screen(first);
    measure_thumbnails(first);
    QFile config(folder + QStringLiteral("/config/def_list.txt"));
    config.open(QIODevice::WriteOnly);
    config.write("True\r\na\r\nb\r\nc\r\nd\r\n");  // the large layout: a 640x480 box
    config.close();
    measure_next(folder, first);
}

}  // namespace fotavi::bench
