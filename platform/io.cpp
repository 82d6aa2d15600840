#include "platform/io.h"

#include <cerrno>

#include <unistd.h>

namespace fotavi {

int write_all(int fd, const char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, data + done, size_t(size - done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += put;
    }
    return 0;
}

qint64 pread_all(int fd, char* data, qint64 size, qint64 offset) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

qint64 read_all(int fd, char* data, qint64 limit) {
    qint64 done = 0;
    while (done < limit) {
        const ssize_t got = ::read(fd, data + done, size_t(limit - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

}  // namespace fotavi
