#pragma once

#include <QSize>
#include <QString>

#include <functional>

namespace fotavi {

// Why something could not be done, in plain values: what went wrong and,
// where the system refused, its errno. The rooms below the app give this
// back; the sentence the person reads is made from it in the app room
// (app/reasons.h), never here.
struct Failure {
    enum class Kind {
        None,              // done
        System,            // the system refused: error holds the errno
        Unreadable,        // reading the file failed: error (0: the reader gave no errno)
        Folder,            // a folder stands where a picture file was looked for
        SpecialFile,       // a FIFO, a device or a socket, never read
        EmptyFile,         // 0 bytes
        NotJpeg,           // named .jpg but no JPEG; format: the kind found, if known
        NotHeif,           // named .heic or .heif but no HEIF; format as for NotJpeg
        Damaged,           // the picture's data is broken
        NoImageData,       // a JPEG header and nothing after it
        LosslessJpeg,      // a coding the decoder does not do
        HierarchicalJpeg,  // a coding the decoder does not do
        JpegPrecision,     // samples of other than 8 bits: bits
        HeifUnsupported,   // a HEIF coding the decoder does not do
        TooLarge,          // its decode would take more memory than a picture may: size
        OutOfMemory,       // the memory ran out
        Unexpected,        // a loader threw what nobody expected
    };
    Failure() = default;
    Failure(Kind kind, int error = 0) : kind(kind), error(error) {}
    static Failure too_large(QSize size) {
        Failure failure(Kind::TooLarge);
        failure.size = size;
        return failure;
    }
    static Failure jpeg_precision(int bits) {
        Failure failure(Kind::JpegPrecision);
        failure.bits = bits;
        return failure;
    }
    // NotJpeg or NotHeif: a file that is not of the kind its name promises.
    static Failure not_of_kind(Kind kind, const QString& format) {
        Failure failure(kind);
        failure.format = format;
        return failure;
    }

    Kind kind = Kind::None;
    int error = 0;   // System, Unreadable: the errno
    QSize size;      // TooLarge: the picture's size
    int bits = 0;    // JpegPrecision: the bits of a sample
    QString format;  // NotJpeg, NotHeif: the name of the format the file is, if known

    bool ok() const { return kind == Kind::None; }
    bool operator==(const Failure&) const = default;
};

// The sentence for a failure, made in the app room and handed down to the
// rooms that show or write one (the overview, the photo diary).
using FailureText = std::function<QString(const Failure&)>;

}  // namespace fotavi
