#pragma once

#include <QString>

namespace fotavi {

// Whether the folder lives on a file system of this machine whose files can
// be shared through memory mapping and locks between processes: a local disk,
// a camera's FAT or exFAT card, a USB stick. A network share, a FUSE mount
// (sshfs, a user-space exFAT, a desktop's remote folders) or a file system
// this program does not know answers false, as does a folder that cannot be
// looked at.
bool is_local_file_system(const QString& folder);

}  // namespace fotavi
