// The real window's answers: how long its thread goes without handling
// events while each command runs, on folders of 10,000 and 50,000 small
// pictures with 200-character comments. Nothing here runs events for the
// window: the application's own loop runs, the commands are started from
// timers through the window's buttons, menu entries and drops, and boxes
// they open are answered from timers.
//
// A probe thread posts a stamped event to an object of the window's thread
// every millisecond; how late each is handled (in the loop or in a wait's
// nested one, as a person meets them) gives the longest gap per command.
//
// Usage: fotavi_window_bench [count ...]   (default 10000 50000)
// FOTAVI_BENCH_CACHE: where the pictures are made once and kept
// (default ~/.cache/fotavi-bench); FOTAVI_BENCH_DIARY_S: seconds the photo
// diary runs before its progress is cancelled (default 20).

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "app/widgets/main_window.h"
#include "app/widgets/picture_box.h"
#include "bench/bench.h"
#include "comments/sqlite_comment_store.h"
#include "overview/widgets/overview_window.h"
#include "photo_diary/widgets/diary_dialog.h"

namespace fotavi::bench {

namespace {

constexpr double kGoalMs = 100;

// Posts a stamped event every millisecond from a thread of its own; the
// window's thread notes how late each one is handled, and how much of that
// time it ran itself (the rest it waited: for a lock, the disk, or the CPU
// on a busy machine).
class Probe : public QObject {
public:
    Probe() {
        pthread_getcpuclockid(pthread_self(), &window_clock_);
        clock_.start();
        thread_ = std::thread([this] {
            while (!stop_) {
                QCoreApplication::postEvent(this, new Stamp(clock_.nsecsElapsed(), window_cpu_ns()));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~Probe() override {
        stop_ = true;
        thread_.join();
        QCoreApplication::removePostedEvents(this);
    }
    void reset() { worst_ns_ = worst_ran_ns_ = 0; }
    double worst_ms() const { return worst_ns_ / 1e6; }
    double worst_ran_ms() const { return worst_ran_ns_ / 1e6; }

protected:
    void customEvent(QEvent* event) override {
        const auto* stamp = static_cast<Stamp*>(event);
        const qint64 late = clock_.nsecsElapsed() - stamp->posted_ns;
        if (late > worst_ns_) {
            worst_ns_ = late;
            worst_ran_ns_ = window_cpu_ns() - stamp->window_cpu_ns;
        }
    }

private:
    struct Stamp : QEvent {
        Stamp(qint64 ns, qint64 cpu_ns) : QEvent(QEvent::User), posted_ns(ns), window_cpu_ns(cpu_ns) {}
        qint64 posted_ns;
        qint64 window_cpu_ns;
    };
    qint64 window_cpu_ns() const {
        timespec now{};
        clock_gettime(window_clock_, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    clockid_t window_clock_{};
    QElapsedTimer clock_;
    std::atomic<bool> stop_{false};
    qint64 worst_ns_ = 0;
    qint64 worst_ran_ns_ = 0;
    std::thread thread_;
};

QString comment_of(int i) {
    QString text = QStringLiteral("今日は晴れ、山頂で昼食をとった。") + QString::number(i);
    while (text.size() < 200) text += text;
    return text.left(200);
}

// count small pictures a minute apart, made once under cache and kept; the
// third in date order is a 24 MP picture, for Next onto a picture that
// takes a while to decode.
QString cached_pictures(const QString& cache, int count) {
    const QString folder = QStringLiteral("%1/window-%2").arg(cache).arg(count);
    if (QFile::exists(folder + QStringLiteral("/complete"))) return folder;
    out << "making " << count << " pictures in " << folder << " (once)" << Qt::endl;
    QDir(folder).removeRecursively();
    const QString small = cache + QStringLiteral("/small.jpg");
    const QString large = cache + QStringLiteral("/large.jpg");
    if (!QFile::exists(small)) save_jpeg(photo(QSize(160, 120), 5), small);
    if (!QFile::exists(large)) save_jpeg(photo(QSize(6000, 4000), 6), large);
    const QDateTime first(QDate(2024, 5, 3), QTime(6, 0));
    copy_pictures(folder, small, count, QStringLiteral("DSC"), first, 60);
    const QString third = folder + QStringLiteral("/DSC00002.JPG");
    QFile::remove(third);
    QFile::copy(large, third);
    touch(third, first.addSecs(120));
    QFile(folder + QStringLiteral("/complete")).open(QIODevice::WriteOnly);
    return folder;
}

// A folder to work in: the cached pictures linked into it (the commands
// rename and write beside them, never into them), each commented in its store.
QString working_folder(const QString& cached, const QString& parent) {
    const QString folder = parent + QStringLiteral("/album");
    QDir().mkpath(folder);
    for (const QString& name : QDir(cached).entryList({QStringLiteral("*.JPG")}, QDir::Files))
        ::link(QFile::encodeName(cached + u'/' + name).constData(),
               QFile::encodeName(folder + u'/' + name).constData());
    QTemporaryDir state;
    SqliteCommentStore store(state.path(), capture_seconds);
    const std::vector<ListedFile> files = list_pictures(folder).files;
    store.load(folder, files).get();
    std::vector<CommentChange> changes;
    for (const ListedFile& file : files)
        changes.push_back({file.name, file.size, file.mtime_ns,
                           comment_of(file.name.mid(3, 5).toInt()), {}, {}});
    store.save(folder, std::move(changes));
    store.wait_idle();
    return folder;
}

// One command: started from a timer, finished once done says so.
struct Step {
    QString name;
    std::function<void()> start;
    std::function<bool()> done = [] { return true; };
};

// Runs the steps one after another in the application's own loop, each
// command's longest gap and its whole time noted.
class Script : public QObject {
public:
    Script(std::vector<Step> steps, Probe& probe) : steps_(std::move(steps)), probe_(probe) {}
    struct Result {
        double gap = 0, ran = 0, whole = 0;  // ms
    };
    std::vector<Result> results;

    void run_from(size_t i) {
        if (i == steps_.size()) return QCoreApplication::exit(0);
        QTimer::singleShot(300, this, [this, i] {  // the window settles first
            probe_.reset();
            clock_.start();
            steps_[i].start();
            wait_done(i);
        });
    }

private:
    void wait_done(size_t i) {
        if (!steps_[i].done()) {
            QTimer::singleShot(2, this, [this, i] { wait_done(i); });
            return;
        }
        const double whole = clock_.nsecsElapsed() / 1e6;
        // What the command left to do right after (painting) counts too.
        QTimer::singleShot(50, this, [this, i, whole] {
            results.push_back({probe_.worst_ms(), probe_.worst_ran_ms(), whole});
            QTextStream(stderr) << steps_[i].name << " done" << Qt::endl;
            run_from(i + 1);
        });
    }

    std::vector<Step> steps_;
    Probe& probe_;
    QElapsedTimer clock_;
};

// Boxes the commands open are answered from a timer: messages closed,
// Yes only while yes is set, the photo diary's dialog accepted, its
// progress cancelled once it has run diary_ms.
struct Answers {
    bool yes = false;
    qint64 diary_ms = 20000;
    QElapsedTimer diary_clock;
    bool diary_cancelled = false;

    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* diary = qobject_cast<DiaryDialog*>(modal)) {
            diary->accept();
            diary_clock.start();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            for (QAbstractButton* button : box->buttons()) {
                if (yes && box->buttonRole(button) == QMessageBox::YesRole) return button->click();
            }
            box->close();
        } else if (auto* progress = qobject_cast<QProgressDialog*>(modal)) {
            if (diary_clock.isValid() && diary_clock.elapsed() > diary_ms) {
                progress->cancel();
                diary_cancelled = true;
            }
        }
    }
};

QAction* action(MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QLatin1String(name));
}

QPushButton* button(MainWindow& window, const char* name) {
    return window.findChild<QPushButton*>(QLatin1String(name));
}

void drop(MainWindow& window, const QString& folder) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // The window's own handler: the application routes a drop only while a drag runs.
    static_cast<QObject&>(window).event(&event);
}

std::vector<Step> commands_of(MainWindow& window, const QString& folder, Answers& answers) {
    auto* box = window.findChild<PictureBox*>(QStringLiteral("Image1"));
    auto* comment = window.findChild<QPlainTextEdit*>(QStringLiteral("comment"));
    auto trigger = [&window](const char* name) { return [&window, name] { action(window, name)->trigger(); }; };
    return {
        {QStringLiteral("opening the folder"),
         [&window, folder] {
             drop(window, folder);
             if (window.commands().table().count() == 0) qFatal("the folder did not open");
         }},
        {QStringLiteral("List, after typing a comment"),
         [&window, comment] {
             comment->insertPlainText(QStringLiteral("灯台まで歩いた"));
             button(window, "list")->click();
         }},
        {QStringLiteral("capture time on"), trigger("capture_time_action")},
        {QStringLiteral("capture time off"), trigger("capture_time_action")},
        {QStringLiteral("the overview (Ctrl+I)"), trigger("overview_action"),
         [&window] { return window.overview() && window.overview()->isVisible(); }},
        // Twice at once: the second Next meets the 24 MP picture still being decoded.
        {QStringLiteral("Next onto a picture not yet decoded ahead"),
         [&window] {
             action(window, "first_action")->trigger();
             button(window, "next")->click();
             button(window, "next")->click();
         },
         [box] {  // the 24 MP picture is 3:2, the others 4:3
             const QSize size = box->picture().size();
             return !size.isEmpty() && std::abs(size.width() * 2 - size.height() * 3) <= 4;
         }},
        {QStringLiteral("the photo diary"), trigger("photo_diary_action")},
        {QStringLiteral("小文字"), [&window] { button(window, "lower_case")->click(); }},
        {QStringLiteral("start afresh (日誌を新しく始める)"),
         [&window, &answers] {
             answers.yes = true;
             action(window, "start_afresh_action")->trigger();
             answers.yes = false;
         }},
    };
}

void measure_window(const QString& cache, int count, Answers& answers) {
    const QString cached = cached_pictures(cache, count);
    QTemporaryDir run(cache + QStringLiteral("/run-XXXXXX"));
    const QString folder = working_folder(cached, run.path());
    const QString state = run.path() + QStringLiteral("/state");
    QDir().mkpath(state);
    Probe probe;
    std::vector<Step> steps;
    std::unique_ptr<Script> script;
    {
        MainWindow window(QCoreApplication::applicationDirPath(), state, {},
                          UserFolders{state, state});
        window.show();
        steps = commands_of(window, folder, answers);
        script = std::make_unique<Script>(steps, probe);
        script->run_from(0);
        QApplication::exec();
    }
    QFile load(QStringLiteral("/proc/loadavg"));
    load.open(QIODevice::ReadOnly);
    out << QStringLiteral("The window at %L1 pictures: the longest time its thread went without "
                          "handling events per command, how much of that gap it ran itself (the "
                          "rest it waited: for the CPU on a busy machine, a lock, the disk), and "
                          "the command's whole time (load average after: %2)")
               .arg(count)
               .arg(QString::fromLatin1(load.readAll().left(14)))
        << Qt::endl;
    for (size_t i = 0; i < steps.size() && i < script->results.size(); ++i) {
        const auto [gap, ran, whole] = script->results[i];
        QString name = steps[i].name;
        if (name == QLatin1String("the photo diary") && answers.diary_cancelled)
            name += QStringLiteral(" (cancelled after %1 s)").arg(answers.diary_ms / 1000);
        line(name, QStringLiteral("%1 ms, ran %2 ms of it (goal %3 ms)%4  took %5 ms")
                       .arg(ms(gap), -5)
                       .arg(ms(ran), -5)
                       .arg(kGoalMs)
                       .arg(gap > kGoalMs ? QStringLiteral(" OVER") : QString())
                       .arg(ms(whole)));
    }
}

}  // namespace

}  // namespace fotavi::bench

int main(int argc, char** argv) {
    using namespace fotavi::bench;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The desktop's caches and settings stay the bench's own.
    QTemporaryDir home;
    for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        qputenv(name, home.path().toLocal8Bit() + '/' + name);
    QApplication app(argc, argv);
    const QString cache = qEnvironmentVariableIsEmpty("FOTAVI_BENCH_CACHE")
                              ? QDir::homePath() + QStringLiteral("/.cache/fotavi-bench")
                              : qEnvironmentVariable("FOTAVI_BENCH_CACHE");
    QDir().mkpath(cache);
    Answers answers;
    if (!qEnvironmentVariableIsEmpty("FOTAVI_BENCH_DIARY_S"))
        answers.diary_ms = qEnvironmentVariableIntValue("FOTAVI_BENCH_DIARY_S") * 1000;
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, &app, [&answers] { answers.answer(); });
    answering.start(20);
    QStringList counts = app.arguments().mid(1);
    if (counts.isEmpty()) counts = {QStringLiteral("10000"), QStringLiteral("50000")};
    for (const QString& count : counts) {
        answers.diary_cancelled = false;
        answers.diary_clock.invalidate();
        measure_window(cache, count.toInt(), answers);
    }
    return 0;
}
