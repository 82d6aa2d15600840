#include "platform/files.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fotavi {

namespace {

QString system_reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

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
        listing.files.push_back({name, to_date_time(modified)});
    }
    ::closedir(dir);
    return listing;
}

QString z_change_dir(const QString& path) {
    if (::chdir(QFile::encodeName(path).constData()) != 0)
        return system_reason(errno);
    return {};
}

QString program_folder() { return QCoreApplication::applicationDirPath(); }

QString rename_file(const QString& old_name, const QString& new_name) {
    if (old_name == new_name)
        return {};
    // QFile::rename refuses to replace another file, and renames a change of
    // letter case alone in a way that works on FAT camera cards too.
    QFile file(old_name);
    if (!file.rename(new_name))
        return file.errorString();
    return {};
}

}  // namespace fotavi
