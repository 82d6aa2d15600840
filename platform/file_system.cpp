#include "platform/file_system.h"

#include <QFile>

#include <algorithm>
#include <array>

#include <sys/vfs.h>

namespace fotavi {

bool is_local_file_system(const QString& folder) {
    // The kernel's magic numbers of local, block-device file systems; a list
    // of what is known to be safe, so that anything new counts as remote.
    static constexpr std::array<unsigned long, 16> kLocal{
        0xEF53,      // ext2, ext3, ext4
        0x58465342,  // xfs
        0x9123683E,  // btrfs
        0x01021994,  // tmpfs
        0x4D44,      // vfat, msdos (camera cards, USB sticks)
        0x2011BAB0,  // exfat (the kernel's driver)
        0xF2F52010,  // f2fs
        0x7366746E,  // ntfs3
        0x5346544E,  // ntfs (the kernel's older driver)
        0x2FC12FC1,  // zfs
        0xCA451A4E,  // bcachefs
        0x3153464A,  // jfs
        0x52654973,  // reiserfs
        0x3434,      // nilfs2
        0x794C7630,  // overlayfs (containers, live systems)
        0x482B,      // hfsplus
    };
    struct statfs info {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0) return false;
    const unsigned long type = static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFUL;
    return std::find(kLocal.begin(), kLocal.end(), type) != kLocal.end();
}

}  // namespace fotavi
