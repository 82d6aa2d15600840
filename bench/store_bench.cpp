// The comments: what one changed comment costs the disk, typing, opening a
// folder of 10,000 commented pictures, List and 小文字 on it, and memory.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "app/commands.h"
#include "bench/bench.h"
#include "comments/sqlite.h"
#include "comments/sqlite_comment_store.h"
#include "platform/file_system.h"

#include <csignal>
#include <numeric>

#include <sys/syscall.h>
#include <unistd.h>

namespace fotavi::bench {

namespace {

// A screen whose waits go on handling events, as the window's do.
class WaitingUi : public QuietUi {
public:
    bool step_progress(int) override {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return false;
    }
};

// The program with its state folder of its own, the Open dialog answered
// with the first picture of folder.
struct Program {
    QTemporaryDir state;
    WaitingUi ui;
    Commands commands{ui, QCoreApplication::applicationDirPath(), state.path(),
                      UserFolders{state.path(), state.path()}};
    explicit Program(const QString& folder) {
        ui.chosen.push_back(folder + QStringLiteral("/DSC00000.JPG"));
    }
};

QString comment_of_length(int length, int i) {
    QString text = QStringLiteral("今日は晴れ、山頂で昼食をとった。") + QString::number(i);
    while (text.size() < length) text += text;
    return text.left(length);
}

// A folder of count copies of picture a minute apart, each commented with
// length characters in the store beside them.
QString commented_folder(const QString& parent, const QString& picture, int count, int length) {
    const QString folder = QStringLiteral("%1/commented%2x%3").arg(parent).arg(count).arg(length);
    copy_pictures(folder, picture, count, QStringLiteral("DSC"),
                  QDateTime(QDate(2024, 5, 3), QTime(6, 0)), 60);
    QTemporaryDir state;
    SqliteCommentStore store(state.path(), capture_seconds);
    const std::vector<ListedFile> files = list_pictures(folder).files;
    store.load(folder, files).get();
    std::vector<CommentChange> changes;
    for (const ListedFile& file : files)
        changes.push_back({file.name,
                           file.size,
                           file.mtime_ns,
                           comment_of_length(length, file.name.mid(3, 5).toInt()),
                           {},
                           {}});
    store.save(folder, std::move(changes));
    store.wait_idle();
    return folder;
}

// count saves of one changed comment each into the store of folder, as the
// typing makes them; bytes holds what each handed to write() and sent to the
// disk, and its time to the commit, fsync included.
void save_changes(const QString& folder, int count, int length, std::vector<double>* bytes,
                  std::vector<double>* disk, std::vector<double>* times) {
    QTemporaryDir state;
    SqliteCommentStore store(state.path(), capture_seconds);
    const std::vector<ListedFile> files = list_pictures(folder).files;
    store.load(folder, files).get();
    for (int i = 0; i < count; ++i) {
        const ListedFile& file = files[size_t(i * 97 % files.size())];
        const qint64 before = bytes_written(), disk_before = disk_bytes_written();
        QElapsedTimer timer;
        timer.start();
        store.save(folder, {{file.name,
                             file.size,
                             file.mtime_ns,
                             comment_of_length(length, i) + QStringLiteral("!"),
                             {},
                             {}}});
        store.wait_idle();
        times->push_back(timer.nsecsElapsed() / 1e6);
        bytes->push_back(double(bytes_written() - before));
        disk->push_back(double(disk_bytes_written() - disk_before));
        ::syscall(SYS_getppid);  // marks the end of a save for syncs_of_saves
    }
}

// The syncs (fsync, fdatasync) of each of count saves but the first (which
// opens the store): this program run again under strace for that part
// alone, each save's end marked by a call of getppid. Empty without strace.
std::vector<double> syncs_of_saves(const QString& folder, int count) {
    std::vector<double> syncs;
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) return syncs;
    QTemporaryDir dir;
    const QString summary = dir.filePath(QStringLiteral("syncs"));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FOTAVI_BENCH_SAVES"),
                       QStringLiteral("%1\n%2").arg(count).arg(folder));
    child.setProcessEnvironment(environment);
    child.start(strace, {QStringLiteral("-f"), QStringLiteral("-o"), summary, QStringLiteral("-e"),
                         QStringLiteral("trace=fsync,fdatasync,getppid"),
                         QCoreApplication::applicationFilePath()});
    if (!child.waitForFinished(600000) || child.exitCode() != 0) return syncs;
    QFile file(summary);
    if (!file.open(QIODevice::ReadOnly)) return syncs;
    int marks = 0, in_save = 0;
    for (const QByteArray& row : file.readAll().split('\n')) {
        if (row.contains("getppid(")) {
            if (marks++ > 0) syncs.push_back(in_save);
            in_save = 0;
        } else if (row.contains("fsync(") || row.contains("fdatasync(")) {
            ++in_save;
        }
    }
    return syncs;
}

// One changed comment in a store of many: bytes handed to write() and sent
// to the disk, syncs, and the time to its commit.
void measure_one_change(const QString& folder, int count, int length) {
    std::vector<double> bytes, disk, times;
    save_changes(folder, 60, length, &bytes, &disk, &times);
    const std::vector<double> syncs = syncs_of_saves(folder, 61);
    out << QStringLiteral(
               "(s) the store, %1 pictures x %2 Japanese characters (%3, "
               "synchronous FULL), 60 saves:")
               .arg(count)
               .arg(length)
               .arg(is_local_file_system(folder) ? QStringLiteral("write-ahead log")
                                                 : QStringLiteral("rollback journal"))
        << Qt::endl;
    line(QStringLiteral("one changed comment: bytes handed to write()"),
         QStringLiteral("%1 KB median, %2 KB most")
             .arg(median(bytes) / 1024, 0, 'f', 1)
             .arg(maximum(bytes) / 1024, 0, 'f', 1));
    line(QStringLiteral("one changed comment: bytes sent to the disk"),
         QStringLiteral("%1 KB median, %2 KB most  (goal <= 24 KB)")
             .arg(median(disk) / 1024, 0, 'f', 1)
             .arg(maximum(disk) / 1024, 0, 'f', 1));
    line(QStringLiteral("one changed comment: syncs (fsync, fdatasync)"),
         syncs.empty()
             ? QStringLiteral("not counted: strace is missing")
             : QStringLiteral("%1 median, %2 most, %3 on average  (goal <= 2)")
                   .arg(median(syncs))
                   .arg(maximum(syncs))
                   .arg(std::accumulate(syncs.begin(), syncs.end(), 0.0) / double(syncs.size()), 0,
                        'f', 2));
    line(QStringLiteral("one changed comment: to its commit, fsync included"),
         QStringLiteral("%1 ms median, %2 ms most  (goal < 20 ms)")
             .arg(ms(median(times)), ms(maximum(times))));
}

// Typing for seconds at keys a second into the document of folder, on its
// first picture; watch (when given) is asked after each pause.
void type_into(const QString& folder, double seconds, int keys_per_second,
               const std::function<void()>& watch, std::vector<qint64>* key_times,
               const QElapsedTimer& clock) {
    Program program(folder);
    program.commands.open_picture();
    FolderDocument& document = program.commands.document();
    const QString base = document.comment(0);
    const qint64 start = clock.nsecsElapsed();
    const qint64 step = 1000000000LL / keys_per_second;
    for (int k = 1; clock.nsecsElapsed() - start < qint64(seconds * 1e9); ++k) {
        key_times->push_back(clock.nsecsElapsed());
        document.edit_shown(base + QString(k, u'あ'));
        // Asleep between keys, as the window is, but for the watcher's looks.
        while (clock.nsecsElapsed() < key_times->back() + step) {
            const qint64 left = key_times->back() + step - clock.nsecsElapsed();
            QEventLoop pause;
            QTimer::singleShot(int(std::min<qint64>(watch ? 5 : 1000, left / 1000000 + 1)), &pause,
                               &QEventLoop::quit);
            pause.exec();
            if (watch) watch();
        }
    }
    document.flush();
}

// CPU the whole program takes per second of typing; then, typing again while
// another connection watches the store, each key's way to the disk.
void measure_typing(const QString& folder, double seconds, int keys_per_second) {
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> keys;
    const double cpu_before = cpu_seconds();
    const qint64 wall_before = clock.nsecsElapsed();
    type_into(folder, seconds, keys_per_second, nullptr, &keys, clock);
    const double cpu = (cpu_seconds() - cpu_before) / ((clock.nsecsElapsed() - wall_before) / 1e9);
    line(QStringLiteral("typing %1 keys a second for %2 s: CPU per second of typing")
             .arg(keys_per_second)
             .arg(seconds),
         QStringLiteral("%1 CPU-s/s  (goal < 0.02)").arg(cpu, 0, 'f', 4));

    keys.clear();
    Db reader;
    reader.open(folder + QStringLiteral("/fotavi_comments.sqlite"), false, false);
    std::vector<std::pair<qint64, qint64>> seen;  // (time, keys stored)
    const qint64 base = reader
                            .integer(
                                "SELECT length(comment) FROM picture WHERE name = "
                                "CAST('DSC00000.JPG' AS BLOB)")
                            .value_or(0);
    type_into(
        folder, seconds, keys_per_second,
        [&] {
            const qint64 length = reader
                                      .integer(
                                          "SELECT length(comment) FROM picture WHERE name = "
                                          "CAST('DSC00000.JPG' AS BLOB)")
                                      .value_or(0);
            if (seen.empty() || seen.back().second != length - base)
                seen.emplace_back(clock.nsecsElapsed(), length - base);
        },
        &keys, clock);
    std::vector<double> latencies;
    for (size_t k = 0; k < keys.size(); ++k) {
        for (const auto& [when, stored] : seen) {
            if (stored < qint64(k) + 1 || when < keys[k]) continue;
            latencies.push_back((when - keys[k]) / 1e9);
            break;
        }
    }
    line(QStringLiteral("keystroke to disk (committed, seen by another connection)"),
         QStringLiteral("%1 s median, %2 s most  (goal < 1.1 s)")
             .arg(median(latencies), 0, 'f', 2)
             .arg(maximum(latencies), 0, 'f', 2));
}

// The longest time the window's thread went without handling events while
// command ran, and command's whole time.
std::pair<double, double> stall_and_time(const std::function<void()>& command) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        longest = std::max(longest, clock.nsecsElapsed() - last);
        last = clock.nsecsElapsed();
    });
    ticker.start();
    QCoreApplication::processEvents();
    last = clock.nsecsElapsed();
    const qint64 start = last;
    command();
    const qint64 whole = clock.nsecsElapsed() - start;
    longest = std::max(longest, clock.nsecsElapsed() - last);
    return {longest / 1e6, whole / 1e6};
}

// Open, List and 小文字 on the commented folder, in the commands as the window
// runs them: the whole time and the longest stretch without handling events.
void measure_commands(const QString& folder, int count) {
    std::vector<double> open_stall, open_time, list_stall, list_time;
    // The store with its log, should one be left.
    const auto store_size = [store = folder + QStringLiteral("/fotavi_comments.sqlite")] {
        return QFileInfo(store).size() + QFileInfo(store + QStringLiteral("-wal")).size();
    };
    const qint64 size_before = store_size();
    for (int r = 0; r < runs; ++r) {
        Program program(folder);
        Commands& commands = program.commands;
        auto [stall, time] = stall_and_time([&] { commands.open_picture(); });
        if (program.ui.comment_text.isEmpty()) qFatal("the first comment did not come back");
        open_stall.push_back(stall);
        open_time.push_back(time);
        std::tie(stall, time) = stall_and_time([&] { commands.write_time_log(); });
        list_stall.push_back(stall);
        list_time.push_back(time);
        QFile::remove(folder + QStringLiteral("/time_log.txt"));
        commands.document().flush();
    }
    const qint64 size_after = store_size();
    line(QStringLiteral("Open, first picture and its comment shown, %1 commented").arg(count),
         QStringLiteral("%1 ms, longest stall %2 ms  (goal < 150 ms)")
             .arg(ms(median(open_time)), ms(median(open_stall))));
    line(QStringLiteral("List of %1 commented pictures").arg(count),
         QStringLiteral("%1 ms, longest stall %2 ms  (goal: stall < 100 ms)")
             .arg(ms(median(list_time)), ms(median(list_stall))));
    line(QStringLiteral("the store before and after List, %1 commented").arg(count),
         QStringLiteral("%1 MB, %2 MB: %3 % more  (goal <= 10 %)")
             .arg(size_before / 1e6, 0, 'f', 1)
             .arg(size_after / 1e6, 0, 'f', 1)
             .arg(100.0 * double(size_after - size_before) / double(size_before), 0, 'f', 1));
}

void measure_lower_case(const QString& folder, int count) {
    Program program(folder);
    Commands& commands = program.commands;
    commands.open_picture();
    const auto [stall, time] = stall_and_time([&] { commands.lower_case_names(); });
    if (commands.document().name(0) != QStringLiteral("dsc00000.jpg"))
        qFatal("小文字 renamed nothing");
    line(QStringLiteral("小文字 on %1 commented pictures (files and rows)").arg(count),
         QStringLiteral("%1 ms, longest stall %2 ms  (goal: stall < 100 ms)")
             .arg(ms(time), ms(stall)));
}

qint64 first_comment_length(const QString& folder) {
    Db reader;
    reader.open(folder + QStringLiteral("/fotavi_comments.sqlite"), false, false);
    return reader
        .integer("SELECT length(comment) FROM picture WHERE name = CAST('DSC00000.JPG' AS BLOB)")
        .value_or(0);
}

// The program killed (SIGKILL) while typing, kills times, each later after
// its first key: how old the oldest key the store did not hold was.
void measure_kill_loop(const QString& folder, int kills) {
    std::vector<double> losses;
    for (int n = 0; n < kills; ++n) {
        const qint64 base = first_comment_length(folder);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FOTAVI_BENCH_TYPE"), folder);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QElapsedTimer clock;
        clock.start();
        std::vector<qint64> typed;  // when each key was said
        const qint64 kill_after = (700 + 300 * n) * 1000000LL;
        while (typed.empty() || clock.nsecsElapsed() - typed.front() < kill_after) {
            if (child.state() == QProcess::NotRunning) qFatal("the typing program ended");
            child.waitForReadyRead(20);
            while (child.canReadLine()) {
                child.readLine();
                typed.push_back(clock.nsecsElapsed());
            }
        }
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();
        const qint64 killed = clock.nsecsElapsed();
        const qint64 stored = first_comment_length(folder) - base;
        losses.push_back(stored >= qint64(typed.size()) ? 0.0
                                                        : (killed - typed[size_t(stored)]) / 1e9);
    }
    line(QStringLiteral("killed while typing 10 keys a second, %1 times: oldest key lost")
             .arg(kills),
         QStringLiteral("%1 s most, %2 s median  (goal <= 2 s)")
             .arg(maximum(losses), 0, 'f', 2)
             .arg(median(losses), 0, 'f', 2));
}

}  // namespace

void type_until_killed(const QString& folder) {
    Program program(folder);
    program.commands.open_picture();
    FolderDocument& document = program.commands.document();
    const QString base = document.comment(0);
    QTextStream said(stdout);
    for (int k = 1;; ++k) {
        document.edit_shown(base + QString(k, u'あ'));
        said << k << Qt::endl;
        QEventLoop pause;
        QTimer::singleShot(100, &pause, &QEventLoop::quit);
        pause.exec();
    }
}

void save_for_sync_count(const QString& order) {
    std::vector<double> bytes, disk, times;
    save_changes(order.section(u'\n', 1), order.section(u'\n', 0, 0).toInt(), 200, &bytes, &disk,
                 &times);
}

void measure_store(const QString& program, const QString& work) {
    const QString picture = work + QStringLiteral("/store-picture.jpg");
    save_jpeg(photo(QSize(320, 240), 9), picture);
    const QString folder = commented_folder(work, picture, 10000, 200);
    measure_one_change(folder, 10000, 200);
    measure_typing(folder, 10, 8);
    measure_kill_loop(commented_folder(work + QStringLiteral("/killed"), picture, 200, 200), 12);
    measure_commands(folder, 10000);
    measure_lower_case(commented_folder(work + QStringLiteral("/lower"), picture, 10000, 200),
                       10000);
    const QString huge = commented_folder(work, picture, 50000, 500);
    measure_commands(huge, 50000);
    if (!program.isEmpty()) {
        QTemporaryDir state;
        const qint64 peak = peak_kib(program, {folder + QStringLiteral("/DSC00000.JPG")},
                                     {QStringLiteral("XDG_STATE_HOME=") + state.path()});
        line(QStringLiteral("(f) peak memory with 10000 commented pictures"),
             QStringLiteral("%1 MiB").arg(peak / 1024.0, 0, 'f', 1));
    }
    out << Qt::endl;
}

}  // namespace fotavi::bench
