#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/command_line.h"
#include "app/widgets/large_screen.h"
#include "app/widgets/main_window.h"
#include "app/without_window.h"
#include "platform/files.h"
#include "settings/settings.h"

int main(int argc, char* argv[]) {
    // Relative paths on the command line are taken against the folder the
    // program was started in, before start-up moves to the program folder.
    const QString start_dir = QDir::currentPath();
    // The arguments are read before anything needs a display: --help,
    // --version and --write-diary work where there is none.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const fotavi::CommandLine line = fotavi::read_command_line(arguments);
    if (line.action != fotavi::CommandLine::Action::Open) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("fotavi"));
        QTextStream out(stdout), err(stderr);
        const bool reads_folder = line.action == fotavi::CommandLine::Action::WriteDiary ||
                                  line.action == fotavi::CommandLine::Action::ExportPictures;
        const QString config_dir =
            reads_folder ? fotavi::config_folder(fotavi::program_folder()) : QString();
        return fotavi::run_without_window(line, start_dir, config_dir, fotavi::user_folders(), out,
                                          err);
    }
    if (!line.problem.isEmpty()) QTextStream(stderr) << "fotavi: " << line.problem << Qt::endl;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fotavi"));
    // The installed desktop entry's name, so the desktop matches the window to it.
    QApplication::setDesktopFileName(QStringLiteral(FOTAVI_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/fotavi.png")));

    // Japanese glyph forms: the generic CJK fallback may draw some kanji in their Chinese forms.
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        QFont font(QStringLiteral("Noto Sans CJK JP"));
        // Emoji in colour where the colour font is installed, before any
        // outline emoji font the system falls back to.
        font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Color Emoji")});
        font.setPointSize(9);
        QApplication::setFont(font);
    }
    // Qt's own dialogs (the Open dialog) in Japanese where the translations are installed.
    QTranslator qt_translator;
    if (qt_translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt_translator);

    const QString program_dir = fotavi::program_folder();
    fotavi::MainWindow window(program_dir, fotavi::config_folder(program_dir));
    window.commands().start_up(line.path.isEmpty() ? QStringList() : QStringList{line.path},
                               start_dir);
    // After start-up has applied the fixed layout: the mode starts from it.
    fotavi::LargeScreen large_screen(window, window, window.commands());
    window.show();
    return app.exec();
}
