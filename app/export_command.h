#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "platform/files.h"

namespace fotavi {

// What a command run without a window printed and how it ended.
struct CommandLineRun {
    int exit_code = 0;
    QString out;  // for standard output
    QString err;  // for standard error
};

// `--export-pictures FOLDER DEST [--all]`: copies FOLDER's commented pictures
// (or all) into DEST with their comments in them, reading the comments from
// the store without writing to it; never replaces a file in DEST. Nothing
// when args (the arguments after the program name) do not ask for it.
// Relative paths are taken against start_dir. Exit code 0 when every picture
// was written; 1 when some were not or nothing could be; 2 for a wrong
// command line.
std::optional<CommandLineRun> export_pictures_command(const QStringList& args,
                                                      const QString& start_dir,
                                                      const UserFolders& folders);

// Runs export_pictures_command on the program's own arguments and prints;
// nothing when they do not ask for it. Needs no display.
std::optional<int> run_export_pictures_command(int argc, char* argv[]);

}  // namespace fotavi
