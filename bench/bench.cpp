#include "bench/bench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <random>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QThread>

extern char** environ;

namespace fotavi::bench {

QTextStream out(stdout);
int runs = 7;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double maximum(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double time_ms(const std::function<void()>& f, int count) {
    f();
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

QString ms(double value) { return QString::number(value, 'f', value < 10 ? 2 : 1); }

void line(const QString& label, const QString& value) {
    out << QStringLiteral("  %1 %2").arg(label, -52).arg(value) << Qt::endl;
}

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

void save_jpeg(const QImage& image, const QString& path) {
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    if (!writer.write(image)) qFatal("cannot write %s", qPrintable(path));
}

void touch(const QString& path, const QDateTime& when) {
    const timeval times[2] = {{time_t(when.toSecsSinceEpoch()), 0},
                              {time_t(when.toSecsSinceEpoch()), 0}};
    ::utimes(QFile::encodeName(path).constData(), times);
}

void copy_pictures(const QString& folder, const QString& picture, int count, const QString& prefix,
                   const QDateTime& first, int step_seconds) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QString name =
            QStringLiteral("%1/%2%3.JPG").arg(folder, prefix).arg(i, 5, 10, QLatin1Char('0'));
        QFile::copy(picture, name);
        touch(name, first.addSecs(qint64(i) * step_seconds));
    }
}

Spawned spawn_quietly(const QStringList& args, const QStringList& environment) {
    std::vector<QByteArray> bytes;
    for (const QString& a : args) bytes.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> env_bytes;
    for (const QString& pair : environment) env_bytes.push_back(pair.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& b : env_bytes) envp.push_back(b.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                     environment.isEmpty() ? environ : envp.data()) != 0)
        qFatal("cannot start %s", argv[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double ms = timer.nsecsElapsed() / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) qFatal("%s failed", argv[0]);
    return {ms, usage.ru_maxrss};
}

double spawn_ms(const QStringList& args) { return spawn_quietly(args).ms; }

qint64 peak_kib(const QString& program, const QStringList& args, const QStringList& environment) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString& pair : environment)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
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

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double thread_cpu_seconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

namespace {

qint64 io_figure(const QByteArray& key) {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& entry : io.readAll().split('\n'))
        if (entry.startsWith(key)) return entry.mid(key.size()).trimmed().toLongLong();
    return -1;
}

}  // namespace

qint64 bytes_written() { return io_figure("wchar:"); }

qint64 disk_bytes_written() { return io_figure("write_bytes:"); }

QString QuietUi::choose_picture(const QString&) {
    if (chosen.empty()) return {};
    const QString path = chosen.front();
    chosen.pop_front();
    return path;
}

}  // namespace fotavi::bench
