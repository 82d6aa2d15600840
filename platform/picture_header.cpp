#include "platform/picture_header.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "platform/heif.h"
#include "platform/io.h"

namespace fotavi {

int FileWindow::at(qint64 pos) {
    if (pos < 0 || pos >= size_) return -1;
    if (memory_) return uchar((*memory_)[pos]);
    if (pos < start_ || pos >= start_ + qint64(data_.size())) {
        data_.resize(kWindow);
        const qint64 got = pread_all(fd_, data_.data(), kWindow, pos);
        if (got <= 0) {
            error_ = got < 0 ? errno : 0;
            data_.clear();
            return -1;
        }
        data_.resize(size_t(got));
        start_ = pos;
    }
    return uchar(data_[size_t(pos - start_)]);
}

int FileWindow::word(qint64 pos) {
    const int high = at(pos);
    const int low = at(pos + 1);
    return high < 0 || low < 0 ? -1 : high << 8 | low;
}

qint64 FileWindow::dword(qint64 pos) {
    const int high = word(pos);
    const int low = word(pos + 2);
    return high < 0 || low < 0 ? -1 : qint64(high) << 16 | low;
}

bool FileWindow::starts_with(qint64 pos, const char* bytes) {
    for (qint64 i = 0; bytes[i]; ++i) {
        if (at(pos + i) != uchar(bytes[i])) return false;
    }
    return true;
}

Signature signature_of(FileWindow& file) {
    if (file.starts_with(0, "\xFF\xD8\xFF")) return {PictureKind::Jpeg, {}};
    if (file.starts_with(0, "\x89PNG\r\n\x1A\n")) return {PictureKind::Png, {}};
    if (file.starts_with(0, "GIF8")) return {{}, QStringLiteral("GIF")};
    // A bitmap's header size follows its 14-byte file header.
    if (file.starts_with(0, "BM") && file.at(15) == 0 && file.at(16) == 0 && file.at(17) == 0 &&
        QList<int>{12, 40, 52, 56, 64, 108, 124}.contains(file.at(14)))
        return {{}, QStringLiteral("BMP")};
    if (file.starts_with(0, "RIFF") && file.starts_with(8, "WEBP"))
        return {{}, QStringLiteral("WebP")};
    if (file.starts_with(4, "ftypavif") || file.starts_with(4, "ftypavis"))
        return {{}, QStringLiteral("AVIF")};
    // What phones save as HEIC, and other HEIF pictures.
    for (const char* brand : {"ftypheic", "ftypheix", "ftyphevc", "ftypheim", "ftypheis",
                              "ftyphevm", "ftyphevs", "ftypmif1", "ftypmsf1"}) {
        if (file.starts_with(4, brand)) return {PictureKind::Heif, {}};
    }
    if ((file.starts_with(0, "II*") && file.at(3) == 0) ||
        (file.starts_with(0, "MM") && file.at(2) == 0 && file.at(3) == 0x2A))
        return {{}, QStringLiteral("TIFF")};
    return {};
}

namespace {

const Failure kNoImageData{Failure::Kind::NoImageData};
const Failure kPictureDamaged{Failure::Kind::Damaged};
// How far the header is searched for the next marker past stray bytes.
constexpr qint64 kMaxStrayBytes = 1024 * 1024;

using Sampling = std::vector<std::pair<int, int>>;  // of each component: h, v

// The next marker of a JPEG from *pos on, *pos then just past it; or -1
// with the problem in frame. *stray counts the bytes skipped on the way,
// over the whole header.
int next_marker(FileWindow& file, qint64* pos, qint64* stray, Frame& frame) {
    for (;;) {
        const int byte = file.at(*pos);
        if (byte < 0) {
            frame.problem =
                file.error() ? Failure{Failure::Kind::System, file.error()} : kNoImageData;
            return -1;
        }
        if (byte == 0xFF) break;
        ++*pos;
        if (++*stray > kMaxStrayBytes) {
            frame.problem = kPictureDamaged;
            return -1;
        }
    }
    int marker = 0xFF;
    while (marker == 0xFF) marker = file.at(++*pos);
    ++*pos;
    if (marker < 0) frame.problem = kNoImageData;
    return marker;
}

// Why a frame of this start-of-frame marker cannot be shown, or none.
Failure unsupported(int marker, int precision) {
    if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
        return {Failure::Kind::LosslessJpeg};
    if (marker == 0xC5 || marker == 0xC6 || marker == 0xCD || marker == 0xCE)
        return {Failure::Kind::HierarchicalJpeg};
    if (precision != 8) return Failure::jpeg_precision(precision);
    return {};
}

// Reads the start-of-frame segment at pos (just past its marker) into frame
// and sampling; false with the problem in frame.
bool read_start_of_frame(FileWindow& file, qint64 pos, int marker, Frame& frame,
                         Sampling& sampling) {
    const int precision = file.at(pos + 2);
    frame.height = file.word(pos + 3);
    frame.width = file.word(pos + 5);
    const int components = file.at(pos + 7);
    if (precision < 0 || frame.height < 0 || frame.width < 0 || components < 0) {
        frame.problem = kNoImageData;
        return false;
    }
    frame.problem = unsupported(marker, precision);
    if (!frame.problem.ok()) return false;
    if (frame.width == 0 || frame.height == 0 || components < 1 || components > 4) {
        frame.problem = kPictureDamaged;
        return false;
    }
    for (int c = 0; c < components; ++c) {
        const int factors = file.at(pos + 8 + 3 * c + 1);
        const int h = factors >> 4, v = factors & 15;
        if (factors < 0 || h < 1 || h > 4 || v < 1 || v > 4) {
            frame.problem = kPictureDamaged;
            return false;
        }
        sampling.emplace_back(h, v);
    }
    return true;
}

// The coefficients of the whole picture, two bytes each, that a JPEG decoded
// in more than one scan keeps while it decodes.
qint64 coefficient_bytes(const Frame& frame, const Sampling& sampling) {
    int h_max = 1, v_max = 1;
    for (const auto& [h, v] : sampling) {
        h_max = std::max(h_max, h);
        v_max = std::max(v_max, v);
    }
    const auto blocks = [](qint64 size, int factor, int max) {
        const qint64 samples = (size * factor + max - 1) / max;
        const qint64 count = (samples + 7) / 8;
        return (count + factor - 1) / factor * factor;
    };
    qint64 bytes = 0;
    for (const auto& [h, v] : sampling)
        bytes += blocks(frame.width, h, h_max) * blocks(frame.height, v, v_max) * 64 * 2;
    return bytes;
}

bool is_start_of_frame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

// A JPEG decoded in more than one scan (progressive, or its colours in
// separate scans) keeps the coefficients of the whole picture in memory.
Frame jpeg_frame(FileWindow& file) {
    Frame frame;
    frame.scaled_in_decode = true;
    int sof = -1;
    Sampling sampling;
    qint64 stray = 0;
    for (qint64 pos = 2;;) {
        const int marker = next_marker(file, &pos, &stray, frame);
        if (marker < 0) return frame;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // no segment follows
        if (marker == 0xD9 || marker == 0xD8) {
            frame.problem = marker == 0xD9 ? kNoImageData : kPictureDamaged;
            return frame;
        }
        const int length = file.word(pos);
        if (length < 2) {
            frame.problem = length < 0 ? kNoImageData : kPictureDamaged;
            return frame;
        }
        if (is_start_of_frame(marker) && sof < 0) {
            sof = marker;
            if (!read_start_of_frame(file, pos, marker, frame, sampling)) return frame;
        } else if (marker == 0xDA) {
            if (sof < 0) {
                frame.problem = kPictureDamaged;
                return frame;
            }
            const bool progressive = sof == 0xC2 || sof == 0xCA;
            if (progressive || file.at(pos + 2) < int(sampling.size()))
                frame.whole_image_bytes = coefficient_bytes(frame, sampling);
            return frame;
        }
        pos += length;
    }
}

Frame png_frame(FileWindow& file) {
    Frame frame;
    if (!file.starts_with(12, "IHDR")) {
        frame.problem = kPictureDamaged;
        return frame;
    }
    const qint64 width = file.dword(16);
    const qint64 height = file.dword(20);
    const int depth = file.at(24);
    if (width <= 0 || height <= 0 || depth < 0 || width > INT_MAX || height > INT_MAX) {
        frame.problem = kPictureDamaged;
        return frame;
    }
    frame.width = int(width);
    frame.height = int(height);
    frame.bytes_per_pixel = depth == 16 ? 8 : 4;
    return frame;
}

Header read_header(QByteArrayView bytes) {
    FileWindow file(bytes);
    Header header;
    header.signature = signature_of(file);
    if (header.signature.kind == PictureKind::Jpeg) header.frame = jpeg_frame(file);
    if (header.signature.kind == PictureKind::Png) header.frame = png_frame(file);
    if (header.signature.kind == PictureKind::Heif) {
        const HeifFile heif(bytes);
        header.frame.problem = heif.problem();
        header.frame.width = heif.size().width();
        header.frame.height = heif.size().height();
    }
    return header;
}

}  // namespace fotavi
