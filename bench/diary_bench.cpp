// The photo diary's peak memory as a person meets it, each figure the peak
// (VmHWM, getrusage) of a process of its own: the real window (offscreen) with
// the folder open, the same window once it has written the diary (HTML and
// PDF, the thumbnail cache empty, the dialog answered with Return), and the
// program run as `fotavi --write-diary` (the cache then full), for 300 and
// 2,000 commented 24-megapixel pictures, beside the goal: at most 100 MiB
// above the program with the folder open.
// Usage: fotavi_diary_bench PROGRAM [pictures ...]   (default 300 2000)
// The pictures are made once into $FOTAVI_BENCH_CACHE (default
// ~/.cache/fotavi-bench) and used again: a few distinct 24 MP JPEGs, each
// with many names (hard links), a comment for each in the folder's store.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>


#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "app/widgets/main_window.h"
#include "bench/bench.h"
#include "comments/sqlite_comment_store.h"
#include "platform/files.h"

namespace fotavi::bench {
namespace {

const QSize kPictureSize(6000, 4000);
constexpr int kDistinct = 8;
constexpr qint64 kGoalMiB = 100;

QString cache_root() {
    const QString set = qEnvironmentVariable("FOTAVI_BENCH_CACHE");
    return set.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                               QStringLiteral("/fotavi-bench")
                         : set;
}

// The distinct pictures: a camera-like scene drawn small and enlarged, so
// that each is a real 24 MP JPEG to decode, cheap to make, and its diary
// picture has a photo's detail (and a photo's JPEG size).
QStringList originals() {
    const QString folder = cache_root() + QStringLiteral("/diary-originals");
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < kDistinct; ++i) {
        const QString path = QStringLiteral("%1/P%2.JPG").arg(folder).arg(i);
        if (!QFileInfo::exists(path)) {
            const QImage small = photo(QSize(1500, 1000), unsigned(i + 11));
            save_jpeg(small.scaled(kPictureSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                      path + QStringLiteral(".part"));
            QFile::rename(path + QStringLiteral(".part"), path);
        }
        paths << path;
    }
    return paths;
}

// A folder of count pictures with a comment each, made once.
QString album(int count) {
    const QString folder = cache_root() + QStringLiteral("/diary-%1").arg(count);
    const QString ready = folder + QStringLiteral("/.ready");
    if (QFileInfo::exists(ready)) return folder;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QStringList sources = originals();
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1/DSC%2.JPG").arg(folder).arg(i, 5, 10, QChar(u'0'));
        if (::link(QFile::encodeName(sources[i % kDistinct]).constData(),
                   QFile::encodeName(name).constData()) != 0 &&
            !QFile::copy(sources[i % kDistinct], name))
            qFatal("cannot make %s", qPrintable(name));
    }
    QTemporaryDir state;
    SqliteCommentStore store(state.path(), [](const QString&) { return std::nullopt; });
    const std::vector<ListedFile> files = list_pictures(folder).files;
    store.load(folder, files).get();
    std::vector<CommentChange> changes;
    for (const ListedFile& file : files)
        changes.push_back(
            {file.name, file.size, file.mtime_ns,
             QStringLiteral("%1。海沿いの道を歩いて、灯台まで行った。<b>風</b>が強い。")
                 .arg(file.name),
             {}, {}});
    store.save(folder, changes);
    store.wait_idle();
    QFile(ready).open(QIODevice::WriteOnly);
    return folder;
}

qint64 vm_hwm_kib() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Runs the window's events until its peak has stood still for a second.
void settle() {
    QElapsedTimer still;
    still.start();
    for (qint64 peak = vm_hwm_kib(); still.elapsed() < 1000;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (const qint64 now = vm_hwm_kib(); now != peak) {
            peak = now;
            still.restart();
        }
    }
}

// The child: the program's window as main() makes it, the folder opened at
// its first picture; then the diary through its menu item, the dialog
// answered as a person pressing Return would, the message at the end closed.
// Prints "open KIB diary KIB SECONDS".
int window_child(const QString& folder) {
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        QFont font(QStringLiteral("Noto Sans CJK JP"));
        font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Color Emoji")});
        font.setPointSize(9);
        QApplication::setFont(font);
    }
    QTemporaryDir program, config;
    MainWindow window(program.path(), config.path());
    window.commands().start_up({folder + QStringLiteral("/DSC00000.JPG")}, folder);
    window.show();
    settle();
    const qint64 open = vm_hwm_kib();
    bool done = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            done = true;
            box->accept();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal);
                   dialog && !qobject_cast<QProgressDialog*>(modal)) {
            dialog->accept();
        }
    });
    answer.start(100);
    QElapsedTimer timer;
    timer.start();
    QTimer::singleShot(0, &window, [&] {
        window.findChild<QAction*>(QStringLiteral("photo_diary_action"))->trigger();
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QTextStream(stdout) << "open " << open << " diary " << vm_hwm_kib() << ' '
                        << timer.nsecsElapsed() / 1e9 << Qt::endl;
    return 0;
}

struct WindowPeaks {
    qint64 open_kib = 0, diary_kib = 0;
    double seconds = 0;
};

QProcessEnvironment environment_with_cache(const QString& cache) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    return env;
}

WindowPeaks window_peaks(const QString& folder, const QString& cache) {
    QProcess child;
    child.setProcessEnvironment(environment_with_cache(cache));
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--window"), folder});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) qFatal("the window's run failed");
    const QStringList words = QString::fromUtf8(child.readAllStandardOutput()).split(u' ');
    if (words.size() < 5) qFatal("the window's run said nothing");
    return {words[1].toLongLong(), words[3].toLongLong(), words[4].toDouble()};
}

// The peak of `program --write-diary folder`, from the kernel's account of
// the finished child; and its wall time.
std::pair<qint64, double> command_line_peak(const QString& program, const QString& folder,
                                            const QString& cache) {
    const Spawned run = spawn_quietly(
        {program, QStringLiteral("--write-diary"), folder, QStringLiteral("--format"),
         QStringLiteral("html,pdf")},
        environment_with_cache(cache).toStringList());
    return {run.peak_kib, run.ms / 1e3};
}

QString mib(qint64 kib) { return QString::number(double(kib) / 1024, 'f', 0) + QStringLiteral(" MiB"); }

void measure(const QString& program, int count) {
    out << "Photo diary of " << count << " commented pictures of 6000 x 4000 (24 MP), HTML and "
        << "PDF, " << QThread::idealThreadCount() << " cores; each figure a process's peak memory" << Qt::endl;
    const QString folder = album(count);
    QTemporaryDir cache;
    const WindowPeaks window = window_peaks(folder, cache.path());
    const qint64 above = window.diary_kib - window.open_kib;
    line(QStringLiteral("the window with the folder open"), mib(window.open_kib));
    line(QStringLiteral("the window after writing the diary (cache empty)"),
         QStringLiteral("%1 in %2 s").arg(mib(window.diary_kib)).arg(window.seconds, 0, 'f', 1));
    line(QStringLiteral("  the diary above the folder open (goal <= %1 MiB)").arg(kGoalMiB),
         mib(above) + (above <= kGoalMiB * 1024 ? QStringLiteral("  met") : QStringLiteral("  NOT MET")));
    qint64 written = 0;
    for (const char* name : {"photo_diary.html", "photo_diary.pdf"})
        written += QFileInfo(QDir(folder).filePath(QLatin1String(name))).size();
    line(QStringLiteral("  files written"), QStringLiteral("%1 MB").arg(written / 1e6, 0, 'f', 1));
    if (!program.isEmpty()) {
        const auto [peak, seconds] = command_line_peak(program, folder, cache.path());
        line(QStringLiteral("fotavi --write-diary (cache full)"),
             QStringLiteral("%1 in %2 s").arg(mib(peak)).arg(seconds, 0, 'f', 1));
        line(QStringLiteral("  above the window with the folder open"),
             mib(peak - window.open_kib) +
                 (peak - window.open_kib <= kGoalMiB * 1024 ? QStringLiteral("  met") : QStringLiteral("  NOT MET")));
    }
}

}  // namespace
}  // namespace fotavi::bench

int main(int argc, char** argv) {
    using namespace fotavi::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() > 2 && args[1] == QLatin1String("--window")) return window_child(args[2]);
    const QString program = args.size() > 1 ? QFileInfo(args[1]).absoluteFilePath() : QString();
    QList<int> counts;
    for (int i = 2; i < args.size(); ++i) counts << args[i].toInt();
    if (counts.isEmpty()) counts = {300, 2000};
    for (int count : counts) measure(program, count);
    return 0;
}
