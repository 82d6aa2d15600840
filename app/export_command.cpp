#include "app/export_command.h"

#include <QDir>
#include <QFile>

#include <cstdio>

#include "app/messages.h"
#include "exchange/folder_comments.h"

namespace fotavi {

namespace {

const QString kOption = QStringLiteral("--export-pictures");
const QString kAll = QStringLiteral("--all");

CommandLineRun usage() {
    return {
        2, {}, QStringLiteral("使い方: fotavi --export-pictures フォルダ 書き出し先 [--all]\n")};
}

}  // namespace

std::optional<CommandLineRun> export_pictures_command(const QStringList& args,
                                                      const QString& start_dir,
                                                      const UserFolders& folders) {
    const qsizetype at = args.indexOf(kOption);
    if (at < 0) return std::nullopt;
    QStringList rest = args;
    rest.removeAt(at);
    const bool all = rest.removeAll(kAll) > 0;
    if (rest.size() != 2 || rest[0].startsWith(QLatin1Char('-')) ||
        rest[1].startsWith(QLatin1Char('-')))
        return usage();
    const QDir start(start_dir);
    const QString folder = QDir::cleanPath(start.absoluteFilePath(rest[0]));
    const QString destination = QDir::cleanPath(start.absoluteFilePath(rest[1]));

    const FolderComments comments = read_folder_comments(folder, folders.state_dir, all);
    if (!comments.listing_error.isEmpty())
        return CommandLineRun{1,
                              {},
                              QStringLiteral("%1: %2\n")
                                  .arg(QDir::toNativeSeparators(folder), comments.listing_error)};
    if (comments.store_issue)
        return CommandLineRun{1, {}, store_issue_text(*comments.store_issue) + QLatin1Char('\n')};
    if (comments.pictures.empty())
        return CommandLineRun{1, {}, export_nothing_text() + QLatin1Char('\n')};

    const ExportReport report = export_pictures({folder, destination, comments.pictures}, {});
    const QString text = export_report_text(destination, report) + QLatin1Char('\n');
    if (report.ok()) return CommandLineRun{0, text, {}};
    return CommandLineRun{1, {}, text};
}

std::optional<int> run_export_pictures_command(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QFile::decodeName(argv[i]);
    const std::optional<CommandLineRun> run =
        export_pictures_command(args, QDir::currentPath(), user_folders());
    if (!run) return std::nullopt;
    std::fputs(run->out.toUtf8().constData(), stdout);
    std::fputs(run->err.toUtf8().constData(), stderr);
    return run->exit_code;
}

}  // namespace fotavi
