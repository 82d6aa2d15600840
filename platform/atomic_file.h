#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/files.h"

namespace fotavi {

// A file written in pieces through a new file beside it, then put in place
// with one rename: a reader sees the old file or the whole new one, never a
// part. The rules of write_atomically hold (no writing through a symbolic
// link nor over a folder; a durable file keeps the mode of the one it
// replaces). Writes are gathered in a buffer, so many small pieces cost few
// system calls. A file neither committed nor kept is removed when it goes.
class AtomicFile {
public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Starts the new file for path. 0, or the errno of the step that failed.
    int open(const QString& path, Durability durability, unsigned mode = 0666);
    // Appends bytes; the first error is kept, and later writes do nothing.
    void write(QByteArrayView bytes);
    // The errno of the first step that failed, or 0.
    int error() const { return error_; }
    // Hands what is gathered to the file: a disk that is full says so here,
    // before any file is put in place. The errno of the first step that failed, or 0.
    int flush();
    // Puts the new file in path's place (synced first when durable). 0, or
    // the errno of the step that failed; the old file is then as it was.
    int commit();
    // Removes the new file; path stays as it was.
    void abandon();

private:
    QByteArray target_, temporary_;
    Durability durability_ = Durability::Durable;
    unsigned mode_ = 0666;
    bool keep_mode_ = false;
    int fd_ = -1;
    int error_ = 0;
    QByteArray buffer_;
};

}  // namespace fotavi
