#include "platform/atomic_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/io.h"

namespace fotavi {

namespace {

// Enough to make the writes few, small beside any picture's decode.
constexpr qsizetype kBufferBytes = 256 * 1024;

}  // namespace

AtomicFile::~AtomicFile() { abandon(); }

int AtomicFile::open(const QString& path, Durability durability, unsigned mode) {
    abandon();
    error_ = 0;
    target_ = QFile::encodeName(path);
    durability_ = durability;
    mode_ = mode;
    keep_mode_ = false;
    struct stat old {};
    if (::lstat(target_.constData(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) return error_ = EISDIR;
        if (S_ISREG(old.st_mode) && durability == Durability::Durable) {
            mode_ = old.st_mode & 07777;
            keep_mode_ = true;
        }
    }
    // A name of its own beside the file: the rename stays on one file system.
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        temporary_ = target_ + ".tmp-" + QByteArray::number(quint64(::getpid())) + '-' +
                     QByteArray::number(attempt);
        fd_ = ::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                     mode_t(mode_));
        if (fd_ < 0 && errno != EEXIST) return error_ = errno;
    }
    if (fd_ < 0) return error_ = EEXIST;
    buffer_.reserve(kBufferBytes);
    return 0;
}

void AtomicFile::write(QByteArrayView bytes) {
    if (fd_ < 0 && error_ == 0) error_ = EBADF;
    if (error_ != 0) return;
    if (buffer_.size() + bytes.size() > kBufferBytes && flush() != 0) return;
    if (bytes.size() >= kBufferBytes)
        error_ = write_all(fd_, bytes.data(), bytes.size());
    else
        buffer_.append(bytes);
}

int AtomicFile::flush() {
    if (error_ == 0 && !buffer_.isEmpty()) error_ = write_all(fd_, buffer_.constData(), buffer_.size());
    buffer_.clear();
    return error_;
}

int AtomicFile::commit() {
    if (fd_ < 0 && error_ == 0) error_ = EBADF;
    flush();
    // The kept mode, whatever the umask made of it.
    if (error_ == 0 && keep_mode_ && ::fchmod(fd_, mode_t(mode_)) != 0) error_ = errno;
    if (error_ == 0 && durability_ == Durability::Durable && ::fsync(fd_) != 0) error_ = errno;
    if (fd_ >= 0 && ::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    if (error_ == 0 && ::rename(temporary_.constData(), target_.constData()) != 0) error_ = errno;
    if (error_ != 0) {
        ::unlink(temporary_.constData());
        temporary_.clear();
        return error_;
    }
    temporary_.clear();
    if (durability_ == Durability::Durable) {
        // The rename itself reaches the disk with the folder; a file system
        // that cannot sync a folder (some network shares) still has the file.
        const int folder =
            ::open(QFile::encodeName(QFileInfo(QFile::decodeName(target_)).absolutePath())
                       .constData(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    return 0;
}

void AtomicFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
    temporary_.clear();
    buffer_.clear();
}

}  // namespace fotavi
