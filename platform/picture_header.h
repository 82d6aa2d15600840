#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

#include "platform/failure.h"

namespace fotavi {

// What a picture file says of itself before any of it is decoded: its kind
// by its first bytes, and the frame its header describes. Outside input:
// every read is bounded and every value checked.

// Positioned reads of an open file through a window of 64 KiB, so looking at
// a header never holds more of the file than that; or of a file held in
// memory.
class FileWindow {
public:
    FileWindow(int fd, qint64 size) : fd_(fd), size_(size) {}
    explicit FileWindow(QByteArrayView bytes) : size_(bytes.size()), memory_(bytes) {}

    // The byte at pos, or -1 past the end or when the read failed (error()).
    int at(qint64 pos);
    // Two bytes, most significant first, or -1.
    int word(qint64 pos);
    // Four bytes, most significant first, or -1.
    qint64 dword(qint64 pos);
    bool starts_with(qint64 pos, const char* bytes);
    int error() const { return error_; }

private:
    static constexpr qint64 kWindow = 64 * 1024;
    int fd_ = -1;
    qint64 size_;
    std::optional<QByteArrayView> memory_;
    qint64 start_ = 0;
    std::vector<char> data_;
    int error_ = 0;
};

enum class PictureKind { Jpeg, Png, Heif };

// What the first bytes of a file say it is.
struct Signature {
    std::optional<PictureKind> kind;  // a kind we show
    QString other;                    // else the name of the format found, if known
};
Signature signature_of(FileWindow& file);

// The frame of a picture as its header describes it.
struct Frame {
    Failure problem;  // why it cannot be shown
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 4;        // of the decoded picture
    qint64 whole_image_bytes = 0;   // held for the whole decode besides the picture
    bool scaled_in_decode = false;  // JPEG: libjpeg scales by n/8 while decoding
};

// Walks the JPEG markers up to the first scan.
Frame jpeg_frame(FileWindow& file);
Frame png_frame(FileWindow& file);

// The signature and, for a kind shown, the frame of a file held in memory
// (of a HEIF file: its primary picture's size as shown).
struct Header {
    Signature signature;
    Frame frame;
};
Header read_header(QByteArrayView bytes);

}  // namespace fotavi
