#include "platform/files.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/io.h"

namespace fotavi {

bool is_picture_name(const QString& name) {
    for (const QLatin1String suffix :
         {QLatin1String(".jpg"), QLatin1String(".heic"), QLatin1String(".heif")}) {
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive)) return true;
    }
    return false;
}

namespace {

// The same test on the bytes of a name, before it is decoded: the suffixes
// are ASCII, so a name that is no picture's costs no decoding.
bool has_picture_suffix(const QByteArray& raw) {
    for (const char* suffix : {".jpg", ".heic", ".heif"}) {
        const qsizetype length = qsizetype(qstrlen(suffix));
        if (raw.size() > length && raw.right(length).toLower() == suffix) return true;
    }
    return false;
}

}  // namespace

FolderListing list_pictures(const QString& folder) {
    FolderListing listing;
    // The folder is read directly rather than through QDir: Qt leaves out names
    // that are not valid UTF-8 without a word, and the user must be told.
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (!has_picture_suffix(raw)) continue;
        struct stat st {};
        // Follows symbolic links, so a link to a picture counts as the picture.
        if (::fstatat(dir_fd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString name = utf8(raw);
        if (utf8.hasError()) {
            ++listing.undecodable;
            continue;
        }
        if (!is_picture_name(name)) continue;
        // Whole seconds: pictures taken within one second compare equal and keep name order.
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        listing.files.push_back({name, to_date_time(modified), qint64(st.st_size),
                                 qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    }
    ::closedir(dir);
    // The folder lists in the order of its file system (a hash on Linux).
    std::sort(listing.files.begin(), listing.files.end(),
              [](const ListedFile& a, const ListedFile& b) {
                  return comes_before_by_name(a.name, b.name);
              });
    return listing;
}

bool comes_before_by_name(const QString& a, const QString& b) {
    if (const int folded = a.compare(b, Qt::CaseInsensitive); folded != 0) return folded < 0;
    return a < b;
}

int change_current_folder(const QString& path) {
    return ::chdir(QFile::encodeName(path).constData()) != 0 ? errno : 0;
}

UserFolders user_folders() {
    UserFolders folders;
    folders.cache_dir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                        QStringLiteral("/fotavi");
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    folders.state_dir = state + QStringLiteral("/fotavi");
    return folders;
}

QString program_folder() { return QCoreApplication::applicationDirPath(); }

namespace {

// Notes what st says of a file into file.
void describe(SmallFile& file, const struct stat& st) {
    file.kind = unsigned(st.st_mode & S_IFMT);
    file.size = qint64(st.st_size);
    file.owner = unsigned(st.st_uid);
}

// Reads the open regular file fd whole, up to limit bytes; the errno (EFBIG
// past the limit), or 0.
int read_whole(int fd, qint64 size, qint64 limit, QByteArray& bytes) {
    // One byte more than expected tells a file that grew while read.
    qint64 capacity = std::min(size, limit) + 1;
    for (;;) {
        const qint64 have = bytes.size();
        bytes.resize(capacity);
        const qint64 got = read_all(fd, bytes.data() + have, capacity - have);
        if (got < 0) return errno;
        bytes.resize(have + got);
        if (bytes.size() > limit) return EFBIG;
        if (bytes.size() < capacity) return 0;
        capacity = std::min(capacity * 2, limit + 1);
    }
}

}  // namespace

SmallFile read_small_file_at(int dir_fd, const QByteArray& name, qint64 limit, bool follow_links) {
    SmallFile file;
    struct stat st {};
    if (::fstatat(dir_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        file.error = errno;
        return file;
    }
    describe(file, st);
    if (S_ISLNK(st.st_mode) && follow_links) {
        file.through_link = true;
        if (::fstatat(dir_fd, name.constData(), &st, 0) != 0) {
            file.error = errno;
            return file;
        }
        describe(file, st);
    }
    // Only a regular file is opened: opening a device may do something.
    if (!S_ISREG(st.st_mode)) {
        file.error = EINVAL;
        return file;
    }
    if (st.st_size > limit) {
        file.error = EFBIG;
        return file;
    }
    // Non-blocking and checked again once open, so a name that became a FIFO
    // meanwhile cannot make the open wait for a writer.
    const int fd =
        ::openat(dir_fd, name.constData(),
                 O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow_links ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        file.error = errno;
        return file;
    }
    const auto close_file = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &st) != 0) {
        file.error = errno;
        return file;
    }
    describe(file, st);
    if (!S_ISREG(st.st_mode)) file.error = EINVAL;
    if (file.error == 0) file.error = read_whole(fd, file.size, limit, file.bytes);
    if (file.error != 0) file.bytes.clear();
    return file;
}

SmallFile read_small_file(const QString& path, qint64 limit) {
    return read_small_file_at(AT_FDCWD, QFile::encodeName(path), limit, true);
}

int make_folders(const QString& folder, unsigned mode) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        struct stat st {};
        if (::stat(part.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return ENOTDIR;
        } else if (errno != ENOENT) {
            return errno;
        } else if (::mkdir(part.constData(), mode_t(mode)) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash < 0) return 0;
    }
}

int write_atomically(const QString& path, const QByteArray& bytes, Durability durability,
                     unsigned mode) {
    AtomicFile file;
    if (const int error = file.open(path, durability, mode); error != 0) return error;
    file.write(bytes);
    return file.commit();
}

QString unused_path(const QString& folder, const QString& base, const QString& suffix) {
    for (int n = 1;; ++n) {
        const QString name =
            n == 1 ? base + suffix : QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        const QString path = QDir(folder).filePath(name);
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return path;
    }
}

namespace {

// Copies source to a new file target, which must not exist, keeping the
// modification time. 0, or the errno of the step that failed.
int copy_to_new_file(const QByteArray& source, const QByteArray& target) {
    // Non-blocking, so a FIFO in the file's place does not wait for a writer.
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) return errno;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(in);
        return error;
    }
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    std::vector<char> buffer(65536);
    for (;;) {
        const qint64 got = read_all(in, buffer.data(), qint64(buffer.size()));
        if (got < 0) error = errno;
        if (got <= 0 || error != 0) break;
        error = write_all(out, buffer.data(), got);
        if (error != 0 || got < qint64(buffer.size())) break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (error == 0 && ::futimens(out, times) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    ::close(in);
    if (error != 0) ::unlink(target.constData());
    return error;
}

// File systems without second names (FAT, exFAT on a camera card) refuse with one of these.
bool links_unsupported(int error) {
    return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP ||
           error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

Aside keep_aside(const QString& path, const QString& stem, const QString& suffix, AsideHow how) {
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray source = QFile::encodeName(path);
    bool linkable = true;
    Aside aside;
    for (int attempt = 0; attempt < 100; ++attempt) {  // a name taken meanwhile: the next one
        const QString target_path = unused_path(folder, stem, suffix);
        const QByteArray target = QFile::encodeName(target_path);
        aside.name = QFileInfo(target_path).fileName();
        if (how == AsideHow::Move) {
            aside.error = rename_no_replace(source, target);
        } else {
            aside.error = 0;
            if (linkable && ::link(source.constData(), target.constData()) != 0) {
                aside.error = errno;
                linkable = !links_unsupported(aside.error);
            }
            if (!linkable) aside.error = copy_to_new_file(source, target);
        }
        if (aside.error != EEXIST) return aside;
    }
    return aside;
}

QString dated_stem(const QString& prefix, const QDateTime& when) {
    return prefix + when.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

}  // namespace fotavi
