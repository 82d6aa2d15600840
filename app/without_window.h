#pragma once

#include <QString>
#include <QTextStream>

#include "app/command_line.h"
#include "pictures/image_table.h"
#include "platform/files.h"

namespace fotavi {

// A picture folder as the window shows it: its pictures in the window's
// order, each with the comment the window would give it (from the store, or
// read back from time_log.txt), read without writing to the store.
struct FolderRead {
    QString folder;
    ImageTable table;
    QString diary_title;  // the title kept for the folder's photo diary; empty if none
    QString problem;      // why the folder could not be read, in one line; empty when it was
};

// Reads the picture or folder named (relative to start_dir) as the window
// would open it; capture_time sorts by the cameras' times, as the window's
// capture-time mode does.
FolderRead read_folder(const QString& named, const QString& start_dir, const UserFolders& folders,
                       bool capture_time);

// Runs a command that needs no window (--help, --version, --write-diary,
// --export-pictures) and returns the
// program's exit status; paths written go to out, reasons to err, one line
// each, after "fotavi: ". config_dir holds def_list.txt (its capture-time
// mode orders the pictures as the window does).
int run_without_window(const CommandLine& line, const QString& start_dir, const QString& config_dir,
                       const UserFolders& folders, QTextStream& out, QTextStream& err);

}  // namespace fotavi
