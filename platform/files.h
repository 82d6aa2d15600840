#pragma once

#include <QString>

#include <vector>

#include "platform/date_time.h"

namespace fotavi {

// One picture file as the folder listing reports it.
struct ListedFile {
    QString name;
    DateTime date = 0;
    qint64 size = -1;      // bytes
    qint64 mtime_ns = 0;   // modification time, nanoseconds since 1970: with the size, tells a changed file
};

struct FolderListing {
    std::vector<ListedFile> files;  // in the order the file system lists them
    int undecodable = 0;            // names that are not valid UTF-8, left out
    QString error;                  // the folder could not be listed
};

// Where the program keeps what is not a setting, never in a picture folder:
// the capture-time cache ($XDG_CACHE_HOME/fotavi) and records of its own, such
// as the journals of picture folders that cannot be written ($XDG_STATE_HOME/fotavi).
struct UserFolders {
    QString cache_dir;
    QString state_dir;
};
UserFolders user_folders();

// Lists the regular files of folder whose names end in ".jpg" in any letter
// case, with their modification times (date: whole seconds, local time).
FolderListing list_pictures(const QString& folder);

// Makes path the current folder; returns an error text, or empty.
QString z_change_dir(const QString& path);

// The folder of the program's executable.
QString program_folder();

// Renames old_name to new_name without ever replacing another file, also
// where only the letter case changes on a case-insensitive file system.
// Returns an error text, or empty.
QString rename_file(const QString& old_name, const QString& new_name);

// A path in folder for "<base><suffix>" that names nothing yet: base itself,
// else "<base>-2<suffix>", "<base>-3<suffix>", ...; for keeping a file aside.
QString unused_path(const QString& folder, const QString& base, const QString& suffix);

}  // namespace fotavi
