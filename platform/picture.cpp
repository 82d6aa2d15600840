#include "platform/picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QScopeGuard>
#include <QSemaphore>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <new>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/io.h"

namespace fotavi {

QSize fit_into(QSize picture, QSize box) {
    if (picture.isEmpty() || box.isEmpty()) return {};
    QSize fitted = picture.scaled(box, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

namespace {

constexpr qint64 kMiB = 1024 * 1024;
// A camera's JPEG is read in one go: the JPEG reader would otherwise pull it
// through the file in 4 KiB pieces, which costs a few percent of the decode.
// Anything larger is streamed from the file, as is a file that would not fit
// in the memory budget beside its decode.
constexpr qint64 kReadWholeLimit = 32 * kMiB;
// What all decodes together may hold at once (the foreground decode and the
// one in the background): the file read in one go, the picture at its
// DCT-scaled size and, for a progressive JPEG, its coefficients. The program
// itself takes about 35 MiB, so it stays under about 120 MiB whatever a
// folder holds. A 24 MP progressive JPEG with the usual halved colour
// resolution (4:2:0) still fits.
constexpr qint64 kDecodeBudget = 80 * kMiB;
// How far the header is searched for the next marker past stray bytes.
constexpr qint64 kMaxStrayBytes = kMiB;

const QString kDamaged = QStringLiteral("画像のデータが壊れています");
const QString kNoImageData =
    QStringLiteral("画像のデータがありません（JPEG の見出しだけで、画像の本体がありません）");

QSemaphore& decode_budget() {
    static QSemaphore megabytes(int(kDecodeBudget / kMiB));
    return megabytes;
}

// An open file, closed when it goes.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Positioned reads of an open file through a window of 64 KiB: looking at a
// header never holds more of the file than that.
class FileWindow {
public:
    FileWindow(int fd, qint64 size) : fd_(fd), size_(size) {}

    // The byte at pos, or -1 past the end or when the read failed (error()).
    int at(qint64 pos) {
        if (pos < 0 || pos >= size_) return -1;
        if (pos < start_ || pos >= start_ + qint64(data_.size())) {
            data_.resize(kWindow);
            const ssize_t got = pread_all(fd_, data_.data(), kWindow, pos);
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
    // Two bytes, most significant first, or -1.
    int word(qint64 pos) {
        const int high = at(pos);
        const int low = at(pos + 1);
        return high < 0 || low < 0 ? -1 : high << 8 | low;
    }
    qint64 dword(qint64 pos) {
        const int high = word(pos);
        const int low = word(pos + 2);
        return high < 0 || low < 0 ? -1 : qint64(high) << 16 | low;
    }
    bool starts_with(qint64 pos, const char* bytes) {
        for (qint64 i = 0; bytes[i]; ++i) {
            if (at(pos + i) != uchar(bytes[i])) return false;
        }
        return true;
    }
    int error() const { return error_; }

private:
    static constexpr qint64 kWindow = 64 * 1024;
    int fd_;
    qint64 size_;
    qint64 start_ = 0;
    std::vector<char> data_;
    int error_ = 0;
};

enum class Kind { Jpeg, Png };

// What the first bytes of a file say it is.
struct Signature {
    std::optional<Kind> kind;  // a kind we show
    QString other;             // else the name of the format found, if known
};

Signature signature_of(FileWindow& file) {
    if (file.starts_with(0, "\xFF\xD8\xFF")) return {Kind::Jpeg, {}};
    if (file.starts_with(0, "\x89PNG\r\n\x1A\n")) return {Kind::Png, {}};
    if (file.starts_with(0, "GIF8")) return {{}, QStringLiteral("GIF")};
    // A bitmap's header size follows its 14-byte file header.
    if (file.starts_with(0, "BM") && file.at(15) == 0 && file.at(16) == 0 && file.at(17) == 0 &&
        QList<int>{12, 40, 52, 56, 64, 108, 124}.contains(file.at(14)))
        return {{}, QStringLiteral("BMP")};
    if (file.starts_with(0, "RIFF") && file.starts_with(8, "WEBP"))
        return {{}, QStringLiteral("WebP")};
    if (file.starts_with(4, "ftypavif") || file.starts_with(4, "ftypavis"))
        return {{}, QStringLiteral("AVIF")};
    // What phones save as HEIC.
    for (const char* brand : {"ftypheic", "ftypheix", "ftyphevc", "ftypmif1", "ftypmsf1"}) {
        if (file.starts_with(4, brand)) return {{}, QStringLiteral("HEIF")};
    }
    if ((file.starts_with(0, "II*") && file.at(3) == 0) ||
        (file.starts_with(0, "MM") && file.at(2) == 0 && file.at(3) == 0x2A))
        return {{}, QStringLiteral("TIFF")};
    return {};
}

// The frame of a picture as its header describes it.
struct Frame {
    QString problem;  // why it cannot be shown, else empty
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 4;        // of the decoded picture
    qint64 whole_image_bytes = 0;   // held for the whole decode besides the picture
    bool scaled_in_decode = false;  // JPEG: libjpeg scales by n/8 while decoding
};

// Walks the JPEG markers up to the first scan. A JPEG decoded in more than one
// scan (progressive, or its colours in separate scans) keeps the coefficients
// of the whole picture in memory while it decodes: two bytes a coefficient.
Frame jpeg_frame(FileWindow& file) {
    Frame frame;
    frame.scaled_in_decode = true;
    int sof = -1;
    bool progressive = false;
    std::vector<std::pair<int, int>> sampling;  // of each component
    qint64 pos = 2;
    qint64 stray = 0;
    for (;;) {
        const int byte = file.at(pos);
        if (byte < 0) {
            frame.problem = file.error() ? system_reason(file.error()) : kNoImageData;
            return frame;
        }
        if (byte != 0xFF) {
            ++pos;
            if (++stray > kMaxStrayBytes) {
                frame.problem = kDamaged;
                return frame;
            }
            continue;
        }
        int marker = 0xFF;
        while (marker == 0xFF) marker = file.at(++pos);
        ++pos;
        if (marker < 0) {
            frame.problem = kNoImageData;
            return frame;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // no segment follows
        if (marker == 0xD9) {
            frame.problem = kNoImageData;
            return frame;
        }
        if (marker == 0xD8) {
            frame.problem = kDamaged;
            return frame;
        }
        const int length = file.word(pos);
        if (length < 0) {
            frame.problem = kNoImageData;
            return frame;
        }
        if (length < 2) {
            frame.problem = kDamaged;
            return frame;
        }
        const bool is_sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (is_sof && sof < 0) {
            sof = marker;
            progressive = marker == 0xC2 || marker == 0xCA;
            const int precision = file.at(pos + 2);
            frame.height = file.word(pos + 3);
            frame.width = file.word(pos + 5);
            const int components = file.at(pos + 7);
            if (precision < 0 || frame.height < 0 || frame.width < 0 || components < 0) {
                frame.problem = kNoImageData;
                return frame;
            }
            if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) {
                frame.problem = QStringLiteral("可逆圧縮の JPEG には対応していません");
                return frame;
            }
            if (marker == 0xC5 || marker == 0xC6 || marker == 0xCD || marker == 0xCE) {
                frame.problem = QStringLiteral("階層符号化の JPEG には対応していません");
                return frame;
            }
            if (precision != 8) {
                frame.problem =
                    QStringLiteral("%1 ビットの JPEG には対応していません").arg(precision);
                return frame;
            }
            if (frame.width == 0 || frame.height == 0 || components < 1 || components > 4) {
                frame.problem = kDamaged;
                return frame;
            }
            for (int c = 0; c < components; ++c) {
                const int factors = file.at(pos + 8 + 3 * c + 1);
                const int h = factors >> 4, v = factors & 15;
                if (factors < 0 || h < 1 || h > 4 || v < 1 || v > 4) {
                    frame.problem = kDamaged;
                    return frame;
                }
                sampling.emplace_back(h, v);
            }
        } else if (marker == 0xDA) {
            if (sof < 0) {
                frame.problem = kDamaged;
                return frame;
            }
            const int in_scan = file.at(pos + 2);
            if (progressive || in_scan < int(sampling.size())) {
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
                for (const auto& [h, v] : sampling) {
                    frame.whole_image_bytes +=
                        blocks(frame.width, h, h_max) * blocks(frame.height, v, v_max) * 64 * 2;
                }
            }
            return frame;
        }
        pos += length;
    }
}

Frame png_frame(FileWindow& file) {
    Frame frame;
    if (!file.starts_with(12, "IHDR")) {
        frame.problem = kDamaged;
        return frame;
    }
    const qint64 width = file.dword(16);
    const qint64 height = file.dword(20);
    const int depth = file.at(24);
    if (width <= 0 || height <= 0 || depth < 0 || width > INT_MAX || height > INT_MAX) {
        frame.problem = kDamaged;
        return frame;
    }
    frame.width = int(width);
    frame.height = int(height);
    frame.bytes_per_pixel = depth == 16 ? 8 : 4;
    return frame;
}

// The size to ask the reader for: the fitted size, in the orientation the
// file stores; the full size when there is no box.
QSize scaled_size(QSize stored, bool turned, QSize box) {
    const QSize shown = turned ? stored.transposed() : stored;
    const QSize target = fit_into(shown, box);
    if (target.isEmpty()) return stored;
    return turned ? target.transposed() : target;
}

// The memory a decode takes at most, for either orientation: the EXIF
// orientation is known only to the reader, once it has read the header.
qint64 decode_bytes(const Frame& frame, QSize box) {
    const QSize stored(frame.width, frame.height);
    qint64 most = 0;
    for (const bool turned : {false, true}) {
        const QSize target = scaled_size(stored, turned, box);
        qint64 decoded = qint64(frame.width) * frame.height * frame.bytes_per_pixel;
        if (frame.scaled_in_decode) {
            // libjpeg decodes at n/8 of the size, the smallest n that still
            // covers the target; the reader then scales to the target.
            const double factor = std::min(double(frame.width) / target.width(),
                                           double(frame.height) / target.height());
            const qint64 eighths = std::clamp(qint64(std::ceil(8 / factor)), qint64(1), qint64(8));
            decoded = (qint64(frame.width) * eighths + 7) / 8 *
                      ((qint64(frame.height) * eighths + 7) / 8) * frame.bytes_per_pixel;
        }
        // The fitted picture, and its turned copy.
        most = std::max(most, decoded + 2 * qint64(target.width()) * target.height() * 4);
    }
    return most + frame.whole_image_bytes + kMiB;
}

QString read_failed(int error) {
    return QStringLiteral("ファイルを読めません（%1）").arg(system_reason(error));
}

Picture decode(int fd, qint64 size, Kind kind, QSize box) {
    Picture result;
    FileWindow window(fd, size);
    const Frame frame = kind == Kind::Jpeg ? jpeg_frame(window) : png_frame(window);
    if (!frame.problem.isEmpty()) {
        result.error = frame.problem;
        return result;
    }
    qint64 needed = decode_bytes(frame, box);
    // Read in one go where the file fits beside the decode, else streamed.
    const bool whole = size <= kReadWholeLimit && needed + size <= kDecodeBudget;
    if (whole) needed += size;
    if (needed > kDecodeBudget) {
        result.error =
            QStringLiteral("大きすぎて表示できません (%1 × %2)").arg(frame.width).arg(frame.height);
        return result;
    }
    // Waits while another decode holds the memory this one needs.
    const int megabytes = int((needed + kMiB - 1) / kMiB);
    decode_budget().acquire(megabytes);
    const auto release = qScopeGuard([megabytes] { decode_budget().release(megabytes); });

    QByteArray bytes;
    QBuffer buffer(&bytes);
    QFile file;
    QIODevice* device = &file;
    if (whole) {
        bytes.resize(size);
        const ssize_t got = pread_all(fd, bytes.data(), size, 0);
        if (got < 0) {
            result.error = read_failed(errno);
            return result;
        }
        bytes.truncate(got);
        buffer.open(QIODevice::ReadOnly);
        device = &buffer;
    } else if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        result.error = read_failed(EIO);
        return result;
    }
    QImageReader reader(device, kind == Kind::Jpeg ? "jpeg" : "png");
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        result.error = kDamaged;
        return result;
    }
    // The scaled size refers to the picture as stored; a picture turned by a
    // quarter by its EXIF orientation is fitted with its sides swapped.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    // Decoding straight to the target size lets libjpeg scale in the DCT;
    // no full-size image is ever made.
    reader.setScaledSize(scaled_size(stored, turned, box));
    result.image = reader.read();
    if (result.image.isNull()) {
        result.error = reader.error() == QImageReader::DeviceError
                           ? QStringLiteral("ファイルを読めません")
                           : kDamaged;
    }
    return result;
}

}  // namespace

Picture load_picture(const QString& path, QSize box) {
    // Qt's own allocation limit (128 MB) stays as it is, a fence behind the
    // reckoning above: it holds for every reader of the process, and a
    // lower one would refuse images that are no pictures of a folder.
    Picture result;
    try {
        // Non-blocking, so a named pipe that took a picture's name cannot hang the open.
        Descriptor file{
            ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
        if (file.fd < 0) {
            result.error = system_reason(errno);
            return result;
        }
        struct stat info {};
        if (::fstat(file.fd, &info) != 0) {
            result.error = system_reason(errno);
            return result;
        }
        if (S_ISDIR(info.st_mode)) {
            result.error = QStringLiteral("画像ファイルではなくフォルダです");
            return result;
        }
        if (!S_ISREG(info.st_mode)) {
            result.error = QStringLiteral("画像ファイルではありません（特殊なファイルです）");
            return result;
        }
        if (info.st_size == 0) {
            result.error = QStringLiteral("ファイルが空です（0 バイト）");
            return result;
        }
        FileWindow head(file.fd, info.st_size);
        const Signature signature = signature_of(head);
        if (!signature.kind) {
            if (head.error())
                result.error = read_failed(head.error());
            else if (signature.other.isEmpty())
                result.error = QStringLiteral("JPEG 画像ではありません");
            else
                result.error =
                    QStringLiteral("%1 画像で、JPEG 画像ではありません").arg(signature.other);
            return result;
        }
        result = decode(file.fd, info.st_size, *signature.kind, box);
    } catch (const std::bad_alloc&) {
        result = {QImage(), QStringLiteral("メモリが足りません")};
    } catch (const std::exception&) {
        result = {QImage(), kDamaged};
    }
    return result;
}

}  // namespace fotavi
