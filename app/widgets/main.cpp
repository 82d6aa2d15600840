#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/export_command.h"
#include "app/widgets/main_window.h"
#include "platform/files.h"
#include "settings/settings.h"

int main(int argc, char* argv[]) {
    // Commands that run without a window (and without a display) end here.
    if (const std::optional<int> exit_code = fotavi::run_export_pictures_command(argc, argv))
        return *exit_code;
    // Relative paths on the command line are taken against the folder the
    // program was started in, before start-up moves to the program folder.
    const QString start_dir = QDir::currentPath();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fotavi"));
    // The installed desktop entry's name, so the desktop matches the window to it.
    QApplication::setDesktopFileName(QStringLiteral(FOTAVI_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/fotavi.png")));

    // Japanese glyph forms: the generic CJK fallback may draw some kanji in their Chinese forms.
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        QFont font(QStringLiteral("Noto Sans CJK JP"));
        font.setPointSize(9);
        QApplication::setFont(font);
    }
    // Qt's own dialogs (the Open dialog) in Japanese where the translations are installed.
    QTranslator qt_translator;
    if (qt_translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt_translator);

    const QString program_dir = fotavi::program_folder();
    fotavi::Main window(program_dir, fotavi::config_folder(program_dir));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    window.commands().start_up(args, start_dir);
    window.show();
    return app.exec();
}
