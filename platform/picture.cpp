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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
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

QString read_failed(int error) {
    return QStringLiteral("ファイルを読めません（%1）").arg(system_reason(error));
}

Picture decode(int fd, qint64 size, PictureKind kind, QSize box) {
    Picture result;
    FileWindow window(fd, size);
    const Frame frame = kind == PictureKind::Jpeg ? jpeg_frame(window) : png_frame(window);
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
    QImageReader reader(device, kind == PictureKind::Jpeg ? "jpeg" : "png");
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        result.error = kPictureDamaged;
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
                           : kPictureDamaged;
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
        result = {QImage(), kPictureDamaged};
    }
    return result;
}

}  // namespace fotavi
