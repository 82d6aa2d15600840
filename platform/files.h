#pragma once

#include <QString>

#include <vector>

#include "platform/date_time.h"

namespace fotavi {

// One picture file as the folder listing reports it.
struct ListedFile {
    QString name;
    DateTime date = 0;
    // Size in bytes and modification time in nanoseconds since 1970: together
    // they tell a changed file.
    qint64 size = 0;
    qint64 modified_ns = 0;
};

struct FolderListing {
    std::vector<ListedFile> files;  // in the order the file system lists them
    int undecodable = 0;            // names that are not valid UTF-8, left out
    QString error;                  // the folder could not be listed
};

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

}  // namespace fotavi
