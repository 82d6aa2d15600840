#include "platform/files.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"

namespace fotavi {

namespace {

bool is_jpg_name(const QString& name) {
    return name.size() > 4 && name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive);
}

}  // namespace

FolderListing list_pictures(const QString& folder) {
    FolderListing listing;
    // The folder is read directly rather than through QDir: Qt leaves out names
    // that are not valid UTF-8 without a word, and the user must be told.
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) {
        listing.error = system_reason(errno);
        return listing;
    }
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw.size() <= 4 || !raw.right(4).toLower().endsWith(".jpg"))
            continue;
        struct stat st {};
        // Follows symbolic links, so a link to a picture counts as the picture.
        if (::fstatat(dir_fd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString name = utf8(raw);
        if (utf8.hasError()) {
            ++listing.undecodable;
            continue;
        }
        if (!is_jpg_name(name))
            continue;
        // Whole seconds: pictures taken within one second compare equal and keep listing order.
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        listing.files.push_back({name, to_date_time(modified), qint64(st.st_size),
                                 qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    }
    ::closedir(dir);
    return listing;
}

QString z_change_dir(const QString& path) {
    if (::chdir(QFile::encodeName(path).constData()) != 0)
        return system_reason(errno);
    return {};
}

UserFolders user_folders() {
    UserFolders folders;
    folders.cache_dir =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/fotavi");
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    folders.state_dir = state + QStringLiteral("/fotavi");
    return folders;
}

QString program_folder() { return QCoreApplication::applicationDirPath(); }

namespace {

// rename() that never replaces an existing file: atomic where the file system
// knows RENAME_NOREPLACE, else checked just before (user-space FAT does not).
int rename_no_replace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    struct stat st {};
    if (::lstat(to, &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

}  // namespace

QString rename_file(const QString& old_name, const QString& new_name) {
    if (old_name == new_name)
        return {};
    const QByteArray from = QFile::encodeName(old_name);
    const QByteArray to = QFile::encodeName(new_name);
    // On a camera's FAT card the new name, differing only in letter case,
    // already names the old file, so the file goes through a temporary name;
    // a file that really holds the new name is then found and kept.
    const QByteArray temporary = from + ".fotavi-" + QByteArray::number(::getpid()) + ".tmp";
    if (rename_no_replace(from.constData(), temporary.constData()) != 0)
        return system_reason(errno);
    if (rename_no_replace(temporary.constData(), to.constData()) != 0) {
        const int error = errno;
        ::rename(temporary.constData(), from.constData());
        return system_reason(error);
    }
    return {};
}

QString unused_path(const QString& folder, const QString& base, const QString& suffix) {
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? base + suffix : QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        const QString path = QDir(folder).filePath(name);
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return path;
    }
}

}  // namespace fotavi
