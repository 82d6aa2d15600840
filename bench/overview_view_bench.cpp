// The overview's window as a person opens it, drawn on no screen: from
// opening to the first painted frame and to every thumbnail on screen final;
// the peak memory of a process that scrolls it from end to end.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

#include "bench/overview_bench.h"
#include "overview/widgets/overview_view.h"
#include "overview/widgets/overview_window.h"

namespace fotavi {

namespace {

QTextStream out(stdout);

// The pictures at paths as the document lists them: a minute apart, 150 a
// day, every third one commented.
ImageTable table_of(const QStringList& paths) {
    ImageTable table;
    for (int i = 0; i < paths.size(); ++i) {
        table.names.push_back(QFileInfo(paths[i]).fileName());
        table.dates.push_back(
            to_date_time(QDate(2024, 5, 3).addDays(i / 150), QTime(7, 0).addSecs(60 * (i % 150))));
        table.comments.push_back(i % 3 ? QString()
                                          : QStringLiteral("%1 枚目。灯台まで歩いた。").arg(i + 1));
    }
    return table;
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

Thumbnailer::Options options_for(const QString& cache) {
    Thumbnailer::Options options;
    options.cache_root = cache;
    options.decoders = cores();
    return options;
}

struct Opened {
    double first_frame = 0;   // seconds from opening to the first frame painted
    double every_cell = 0;    // ... to a picture in every cell on screen, a preview or final
    double screen_final = 0;  // ... to every thumbnail on screen final
    int on_screen = 0;
};

// Opens the overview on table and waits for its first frame; with
// wait_final, also until every thumbnail on screen is final.
Opened open_overview(OverviewWindow& window, const QString& folder, bool wait_final) {
    QElapsedTimer timer;
    timer.start();
    PaintCounter counter;
    window.view().viewport()->installEventFilter(&counter);
    window.pictures_changed(folder, 0);
    window.open_at(0);
    Opened opened;
    // processEvents returns once the paint it delivered is done.
    while (counter.paints == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    opened.first_frame = timer.nsecsElapsed() / 1e9;
    for (; wait_final;) {
        const OverviewView::OnScreen seen = window.view().on_screen();
        opened.on_screen = seen.cells;
        if (opened.every_cell == 0 && seen.pictures == seen.cells)
            opened.every_cell = timer.nsecsElapsed() / 1e9;
        if (seen.final == seen.cells) break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    opened.screen_final = timer.nsecsElapsed() / 1e9;
    window.view().viewport()->removeEventFilter(&counter);
    return opened;
}

Opened open_once(const ImageTable& table, const QString& folder, const QString& cache) {
    OverviewWindow window(table, options_for(cache));
    window.resize(1000, 800);
    return open_overview(window, folder, true);
}

// Every thumbnail of the overview's size, made into the cache.
void fill_cache(const QStringList& paths, const QString& cache) {
    Thumbnailer thumbnails(options_for(cache));
    int final = 0;
    QObject::connect(&thumbnails, &Thumbnailer::ready,
                     [&](const QString&, ThumbnailSize, const Thumbnail& t) {
                         final += t.state != Thumbnail::State::Preview;
                     });
    for (const QString& path : paths)
        final += thumbnails.request(path, ThumbnailSize::Normal).state == Thumbnail::State::Final;
    while (final < paths.size()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QString ms(double s) { return QString::number(s * 1000, 'f', 1) + QStringLiteral(" ms"); }

void say(const char* what, const Opened& o) {
    out << QStringLiteral(
               "  %1 first frame %2, a picture in each of the %3 cells %4, all final %5\n")
               .arg(QLatin1String(what), ms(o.first_frame))
               .arg(o.on_screen)
               .arg(ms(o.every_cell), ms(o.screen_final));
    out.flush();
}

}  // namespace

void bench_overview_window(int count) {
    QTemporaryDir folder, cameras, cache, cameras_cache;
    out << "The overview's window on " << count << " pictures of 3008 x 2000 (1000 x 800, "
        << cores() << " cores)\n";
    out.flush();
    const QStringList paths = make_pictures(folder.path(), count, QSize(3008, 2000));
    const ImageTable table = table_of(paths);
    say("cache empty:                ", open_once(table, folder.path(), cache.path()));
    make_pictures(cameras.path(), count, QSize(3008, 2000), true);
    say("cache empty, EXIF thumbnails:", open_once(table, cameras.path(), cameras_cache.path()));
    fill_cache(paths, cache.path());
    say("cache full:                 ", open_once(table, folder.path(), cache.path()));
}

namespace {

// Runs this program as the child of mode on folder and prints what it says.
void run_child(const char* mode, const QString& folder, const QString& cache) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QLatin1String(mode), folder, cache});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) qFatal("the %s run failed", mode);
    out << child.readAllStandardOutput();
    out.flush();
}

}  // namespace

void bench_overview_memory(int count) {
    QTemporaryDir folder, cache, large;
    out << "The overview's memory, " << count << " pictures of 3008 x 2000 (a process each)\n";
    out.flush();
    make_pictures(folder.path(), count, QSize(3008, 2000));
    for (const char* mode : {"--open", "--scroll"})
        run_child(mode, folder.path(), cache.filePath(QLatin1String(mode)));
    // The listing at any size: every picture an empty file, so only the list is measured.
    constexpr int kLarge = 50000;
    for (int i = 0; i < kLarge; ++i)
        QFile(large.filePath(QStringLiteral("P%1.jpg").arg(i, 5, 10, QChar(u'0'))))
            .open(QIODevice::WriteOnly);
    out << "The overview on " << kLarge << " pictures (empty files)\n";
    run_child("--open", large.path(), cache.filePath(QStringLiteral("large")));
}

// Opens the overview on the folder's pictures; with "--scroll" scrolls it a
// page a frame (16 ms) from the top to the end, each frame painted at once,
// then waits for the last screen's thumbnails. Prints its figures.
int overview_scroll_child(const QStringList& args) {
    if (args.size() < 4) return 2;
    const QString folder = args[2];
    QStringList paths;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
        paths << QDir(folder).filePath(name);
    const ImageTable table = table_of(paths);
    OverviewWindow window(table, options_for(args[3]));
    window.resize(1000, 800);
    QElapsedTimer timer;
    timer.start();
    const bool scroll = args[1] == QLatin1String("--scroll");
    const Opened opened = open_overview(window, folder, !scroll);
    std::vector<double> frames;
    if (scroll) {
        QScrollBar* bar = window.view().verticalScrollBar();
        while (bar->value() < bar->maximum()) {
            bar->setValue(bar->value() + bar->pageStep());
            QElapsedTimer frame;
            frame.start();
            window.view().viewport()->repaint();
            frames.push_back(frame.nsecsElapsed() / 1e9);
            while (frame.elapsed() < 16)
                QCoreApplication::processEvents(QEventLoop::AllEvents, int(16 - frame.elapsed()));
        }
        while (window.view().on_screen().final < window.view().on_screen().cells)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    std::sort(frames.begin(), frames.end());
    if (scroll && !frames.empty())
        out << QStringLiteral(
                   "  scrolled end to end: %1 pages in %2 s, each painted in %3 (median), "
                   "%4 (longest); peak memory %5 MiB\n")
                   .arg(frames.size())
                   .arg(timer.nsecsElapsed() / 1e9, 0, 'f', 1)
                   .arg(ms(frames[frames.size() / 2]), ms(frames.back()))
                   .arg(peak_mib());
    else
        out << QStringLiteral(
                   "  opened: first frame %1, the first screen final %2; peak memory %3 MiB\n")
                   .arg(ms(opened.first_frame), ms(opened.screen_final))
                   .arg(peak_mib());
    out.flush();
    return 0;
}

}  // namespace fotavi
