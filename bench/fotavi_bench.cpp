// Measures how fast a picture gets on screen and what keeping the comments
// costs: the decode against libjpeg-turbo's own floor (djpeg), Next to a
// painted frame, the folder scan, the comment store, and peak memory.
// Usage: fotavi_bench [path of the program, for its memory] [runs]
// (FOTAVI_BENCH_ONLY=store, =pictures or =heif runs one part)

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "bench/bench.h"

int main(int argc, char** argv) {
    using namespace fotavi::bench;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("FOTAVI_BENCH_SAVES")) {
        save_for_sync_count(qEnvironmentVariable("FOTAVI_BENCH_SAVES"));
        return 0;
    }
    if (qEnvironmentVariableIsSet("FOTAVI_BENCH_TYPE")) {
        type_until_killed(qEnvironmentVariable("FOTAVI_BENCH_TYPE"));
        return 0;
    }
    const QStringList args = app.arguments();
    const QString program = args.size() > 1 ? QFileInfo(args.at(1)).absoluteFilePath() : QString();
    if (args.size() > 2) runs = std::max(1, args.at(2).toInt());
    // A message box would wait for a click that never comes.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &app, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(200);

    // FOTAVI_BENCH_DIR keeps the drawn pictures there, to look at or decode again.
    if (!qEnvironmentVariableIsEmpty("FOTAVI_BENCH_DIR"))
        QDir().mkpath(qEnvironmentVariable("FOTAVI_BENCH_DIR"));
    QTemporaryDir work(qEnvironmentVariableIsEmpty("FOTAVI_BENCH_DIR")
                           ? QDir::tempPath() + QStringLiteral("/fotavi_bench-XXXXXX")
                           : qEnvironmentVariable("FOTAVI_BENCH_DIR") + QStringLiteral("/XXXXXX"));
    // Without it every folder would be made at the root of the file system.
    if (!work.isValid()) qFatal("no work folder: %s", qPrintable(work.errorString()));
    work.setAutoRemove(qEnvironmentVariableIsEmpty("FOTAVI_BENCH_DIR"));
    // FOTAVI_BENCH_ONLY=store, =pictures or =heif runs one part.
    const QString only = qEnvironmentVariable("FOTAVI_BENCH_ONLY");
    if (only.isEmpty() || only == QLatin1String("store")) measure_store(program, work.path());
    if (only.isEmpty() || only == QLatin1String("pictures")) measure_pictures(program, work.path());
    if (only.isEmpty() || only == QLatin1String("heif")) measure_heif(work.path());
    return 0;
}
