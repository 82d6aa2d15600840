#include "platform/picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QScopeGuard>
#include <QSemaphore>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/heif.h"
#include "platform/io.h"
#include "platform/picture_header.h"

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

Failure read_failed(int error) { return {Failure::Kind::Unreadable, error}; }

Failure too_large(int width, int height) { return Failure::too_large(QSize(width, height)); }

Picture decode(int fd, qint64 size, PictureKind kind, QSize box) {
    Picture result;
    FileWindow window(fd, size);
    const Frame frame = kind == PictureKind::Jpeg ? jpeg_frame(window) : png_frame(window);
    if (!frame.problem.ok()) {
        result.problem = frame.problem;
        return result;
    }
    qint64 needed = decode_bytes(frame, box);
    // Read in one go where the file fits beside the decode, else streamed.
    const bool whole = size <= kReadWholeLimit && needed + size <= kDecodeBudget;
    if (whole) needed += size;
    if (needed > kDecodeBudget) {
        result.problem = too_large(frame.width, frame.height);
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
            result.problem = read_failed(errno);
            return result;
        }
        bytes.truncate(got);
        buffer.open(QIODevice::ReadOnly);
        device = &buffer;
    } else if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        result.problem = read_failed(EIO);
        return result;
    }
    QImageReader reader(device, kind == PictureKind::Jpeg ? "jpeg" : "png");
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        result.problem = {Failure::Kind::Damaged};
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
        result.problem = reader.error() == QImageReader::DeviceError
                             ? read_failed(0)
                             : Failure{Failure::Kind::Damaged};
    }
    return result;
}

// picture (RGB888, or RGBA8888 with alpha) made factor times smaller on each
// side, each pixel the average of the block it stands for: what a whole-size
// decode is brought to before the smooth scaling, which would otherwise
// first copy the whole picture into a format of its own.
QImage shrink_by(const QImage& picture, int factor) {
    const bool alpha = picture.format() == QImage::Format_RGBA8888;
    const int channels = alpha ? 4 : 3;
    const int width = picture.width() / factor, height = picture.height() / factor;
    QImage shrunk(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (shrunk.isNull()) throw std::bad_alloc();
    std::vector<quint32> sums(size_t(width) * 4);
    const quint32 count = quint32(factor) * quint32(factor);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int row = 0; row < factor; ++row) {
            const uchar* pixel = picture.constScanLine(y * factor + row);
            for (int x = 0; x < width; ++x) {
                quint32* sum = &sums[size_t(x) * 4];
                for (int k = 0; k < factor; ++k, pixel += channels) {
                    sum[0] += pixel[0];
                    sum[1] += pixel[1];
                    sum[2] += pixel[2];
                    if (alpha) sum[3] += pixel[3];
                }
            }
        }
        QRgb* out = reinterpret_cast<QRgb*>(shrunk.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32* sum = &sums[size_t(x) * 4];
            out[x] = qRgba(int(sum[0] / count), int(sum[1] / count), int(sum[2] / count),
                           alpha ? int(sum[3] / count) : 255);
        }
    }
    return shrunk;
}

// A HEIF picture is decoded whole (libheif cannot scale while decoding),
// then brought to the box; the file says itself how it is turned.
Picture decode_heif(int fd, qint64 size, QSize box) {
    Picture result;
    const HeifFile file(fd, size);
    if (!file.problem().ok()) {
        result.problem = file.problem();
        return result;
    }
    const QSize shown = file.size();
    const QSize target = box.isEmpty() ? shown : fit_into(shown, box);
    const int factor =
        std::max(1, std::min(shown.width() / target.width(), shown.height() / target.height()));
    // The coded planes (4:2:0, a byte and a half a pixel), the picture made
    // from them, its shrunk copy and the fitted one; the compressed data
    // once at most.
    const qint64 pixels = qint64(shown.width()) * shown.height();
    const qint64 needed = pixels * 3 / 2 + pixels * (file.has_alpha() ? 4 : 3) +
                          pixels / (qint64(factor) * factor) * 4 +
                          qint64(target.width()) * target.height() * 4 + size + kMiB;
    if (needed > kDecodeBudget) {
        result.problem = too_large(shown.width(), shown.height());
        return result;
    }
    const int megabytes = int((needed + kMiB - 1) / kMiB);
    decode_budget().acquire(megabytes);
    const auto release = qScopeGuard([megabytes] { decode_budget().release(megabytes); });
    QImage picture = file.decode(&result.problem);
    if (picture.isNull()) return result;
    if (factor > 1) picture = shrink_by(picture, factor);
    result.image = picture.size() == target
                       ? picture.convertToFormat(file.has_alpha() ? QImage::Format_ARGB32
                                                                  : QImage::Format_RGB32)
                       : picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return result;
}

// What the file at fd is when it is no picture to decode, looked at before a
// byte of it is read; nullopt when it is a regular file with something in it.
std::optional<Failure> not_a_picture_file(int fd, struct stat& info) {
    if (::fstat(fd, &info) != 0) return Failure{Failure::Kind::System, errno};
    if (S_ISDIR(info.st_mode)) return Failure{Failure::Kind::Folder};
    if (!S_ISREG(info.st_mode)) return Failure{Failure::Kind::SpecialFile};
    if (info.st_size == 0) return Failure{Failure::Kind::EmptyFile};
    return std::nullopt;
}

// Why a file whose first bytes name no kind we show is refused: by the kind
// its name promises (.heic and .heif: HEIF, else JPEG) and the format found.
Failure unknown_kind(const QString& path, FileWindow& head, const Signature& signature) {
    if (head.error()) return read_failed(head.error());
    const bool heif = path.endsWith(QLatin1String(".heic"), Qt::CaseInsensitive) ||
                      path.endsWith(QLatin1String(".heif"), Qt::CaseInsensitive);
    return Failure::not_of_kind(heif ? Failure::Kind::NotHeif : Failure::Kind::NotJpeg,
                                signature.other);
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
            result.problem = {Failure::Kind::System, errno};
            return result;
        }
        struct stat info {};
        if (const std::optional<Failure> refused = not_a_picture_file(file.fd, info)) {
            result.problem = *refused;
            return result;
        }
        FileWindow head(file.fd, info.st_size);
        const Signature signature = signature_of(head);
        if (!signature.kind) {
            result.problem = unknown_kind(path, head, signature);
            return result;
        }
        result = *signature.kind == PictureKind::Heif
                     ? decode_heif(file.fd, info.st_size, box)
                     : decode(file.fd, info.st_size, *signature.kind, box);
    } catch (const std::bad_alloc&) {
        result = {QImage(), {Failure::Kind::OutOfMemory}};
    } catch (const std::exception&) {
        result = {QImage(), {Failure::Kind::Damaged}};
    }
    return result;
}

Picture load_safely(const PictureLoader& load, const QString& path, QSize box) {
    try {
        return load(path, box);
    } catch (const std::bad_alloc&) {
        return {QImage(), {Failure::Kind::OutOfMemory}};
    } catch (...) {
        return {QImage(), {Failure::Kind::Unexpected}};
    }
}

}  // namespace fotavi
