#pragma once

#include <QtGlobal>

namespace fotavi {

// Reads and writes of an open file that go on after an interruption (EINTR)
// and a short count, so a caller sees either everything or a real error.

// Writes all size bytes of data to fd; 0, or the errno that stopped it.
int write_all(int fd, const char* data, qint64 size);
// Reads up to size bytes at offset into data, fewer only where the file ends;
// the count, or -1 with errno set.
qint64 pread_all(int fd, char* data, qint64 size, qint64 offset);
// Reads from the current position to the end, or up to limit bytes; the
// count, or -1 with errno set.
qint64 read_all(int fd, char* data, qint64 limit);

}  // namespace fotavi
