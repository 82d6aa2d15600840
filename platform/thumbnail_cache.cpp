#include "platform/thumbnail_cache.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QScopeGuard>

#include <array>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/io.h"

namespace fotavi {

namespace {

// The bytes a URI keeps as they are. GLib, whose URIs GNOME's file managers
// hash, escapes everything else; so must we, or the names would differ.
bool kept_in_uri(uchar c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return QByteArrayView("-_.!~*'()/:@&=+$,").contains(char(c));
}

// Whether a cache write failed for a reason every later write would meet too.
bool cache_unusable(int error) {
    return error == ENOSPC || error == EDQUOT || error == EACCES || error == EPERM ||
           error == EROFS || error == ENOTDIR;
}

quint32 crc32_of(QByteArrayView bytes) {
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) crc = table[(crc ^ uchar(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray big_endian32(quint32 v) {
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

QByteArray png_of(const ThumbnailKey& key, const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Fast rather than small: a thumbnail is written once for every picture
    // of a folder, and the cache is the user's, not an archive.
    writer.setCompression(1);
    if (!writer.write(image)) return {};
    QList<std::pair<QByteArray, QByteArray>> text{{"Thumb::URI", key.uri},
                                                  {"Thumb::MTime", QByteArray::number(key.mtime)}};
    if (key.size >= 0) text.append({QByteArray("Thumb::Size"), QByteArray::number(key.size)});
    text.append({QByteArray("Software"), QByteArray("fotavi")});
    return png_with_text(bytes, text);
}

}  // namespace

QByteArray png_with_text(const QByteArray& png,
                         const QList<std::pair<QByteArray, QByteArray>>& text) {
    // The signature (8 bytes), then IHDR: length, type, 13 bytes, CRC.
    constexpr qsizetype kAfterHeader = 8 + 4 + 4 + 13 + 4;
    if (png.size() < kAfterHeader || png.mid(12, 4) != "IHDR") return {};
    QByteArray chunks;
    for (const auto& [key, value] : text) {
        const QByteArray body = "tEXt" + key + '\0' + value;
        chunks += big_endian32(quint32(body.size() - 4)) + body + big_endian32(crc32_of(body));
    }
    return png.left(kAfterHeader) + chunks + png.mid(kAfterHeader);
}

QByteArray png_without_text(const QByteArray& png, QByteArrayView key) {
    constexpr qsizetype kSignature = 8;
    if (png.size() < kSignature) return {};
    QByteArray kept = png.left(kSignature);
    for (qsizetype at = kSignature; at < png.size();) {
        if (png.size() - at < 12) return {};
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + at);
        const quint64 length =
            quint64(p[0]) << 24 | quint64(p[1]) << 16 | quint64(p[2]) << 8 | p[3];
        if (length > quint64(png.size() - at - 12)) return {};
        const qsizetype whole = qsizetype(length) + 12;
        const QByteArrayView body(png.constData() + at + 4, qsizetype(length) + 4);
        const bool dropped = body.startsWith("tEXt") && body.sliced(4).startsWith(key) &&
                             body.size() > 4 + key.size() && body[4 + key.size()] == '\0';
        if (!dropped) kept += QByteArrayView(png.constData() + at, whole);
        at += whole;
    }
    return kept;
}

QString folder_of(ThumbnailSize size) {
    switch (size) {
        case ThumbnailSize::Normal:
            return QStringLiteral("normal");
        case ThumbnailSize::Large:
            return QStringLiteral("large");
        case ThumbnailSize::XLarge:
            return QStringLiteral("x-large");
        case ThumbnailSize::XXLarge:
            return QStringLiteral("xx-large");
    }
    return QStringLiteral("normal");
}

QByteArray file_uri(const QString& absolute_path) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    for (const char byte : QFile::encodeName(absolute_path)) {
        const uchar c = uchar(byte);
        if (kept_in_uri(c)) {
            uri += char(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

QString thumbnail_name(const QByteArray& uri) {
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

ThumbnailKey thumbnail_key(const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    struct stat info {};
    if (::stat(QFile::encodeName(absolute).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return {file_uri(absolute), qint64(info.st_mtim.tv_sec), qint64(info.st_size)};
}

QString default_thumbnail_root() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    // The base directory specification ignores a relative path.
    if (cache.isEmpty() || QDir::isRelativePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/thumbnails");
}

ThumbnailCache::ThumbnailCache(QString root) : root_(std::move(root)) {}

QString ThumbnailCache::path_of(const ThumbnailKey& key, ThumbnailSize size) const {
    return root_ + u'/' + folder_of(size) + u'/' + thumbnail_name(key.uri);
}

QImage ThumbnailCache::read(const ThumbnailKey& key, ThumbnailSize size) const {
    if (!key.ok()) return {};
    const int side = pixels_of(size);
    // Never through a link: an entry is a regular file of the cache's own. A
    // PNG of the size holds at most four bytes a pixel, plus its chunks.
    const qint64 most = qint64(side) * side * 4 + 256 * 1024;
    SmallFile entry =
        read_small_file_at(AT_FDCWD, QFile::encodeName(path_of(key, size)), most, false);
    if (!entry.ok() || entry.bytes.isEmpty()) return {};
    QByteArray& bytes = entry.bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty() || stored.width() > side || stored.height() > side)
        return {};
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (image.text(QStringLiteral("Thumb::URI")).toLatin1() != key.uri) return {};
    bool number = false;
    const qint64 mtime = image.text(QStringLiteral("Thumb::MTime")).toLongLong(&number);
    if (!number || mtime != key.mtime) return {};
    const QString file_size = image.text(QStringLiteral("Thumb::Size"));
    if (!file_size.isEmpty() && file_size.toLongLong() != key.size) return {};
    return image;
}

bool ThumbnailCache::write(const ThumbnailKey& key, ThumbnailSize size, const QImage& image) {
    if (!key.ok() || image.isNull() || !writable_.load()) return false;
    const int side = pixels_of(size);
    QImage fitted = image;
    if (image.width() > side || image.height() > side)
        fitted = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QByteArray png = png_of(key, fitted);
    if (png.isEmpty()) return false;
    int error = make_folders(root_ + u'/' + folder_of(size), 0700);
    if (error == 0) error = write_atomically(path_of(key, size), png, Durability::Disposable, 0600);
    if (cache_unusable(error)) writable_ = false;
    return error == 0;
}

int ThumbnailCache::move(const ThumbnailKey& from, const ThumbnailKey& to) {
    int moved = 0;
    for (ThumbnailSize size : {ThumbnailSize::Normal, ThumbnailSize::Large, ThumbnailSize::XLarge,
                               ThumbnailSize::XXLarge}) {
        const int side = pixels_of(size);
        const QString old_path = path_of(from, size);
        const SmallFile entry = read_small_file_at(AT_FDCWD, QFile::encodeName(old_path),
                                                   qint64(side) * side * 4 + 256 * 1024, false);
        // Only an entry that would be used for the picture as it was.
        if (!entry.ok() || read(from, size).isNull()) continue;
        const QByteArray renamed =
            png_with_text(png_without_text(entry.bytes, "Thumb::URI"), {{"Thumb::URI", to.uri}});
        if (renamed.isEmpty() ||
            write_atomically(path_of(to, size), renamed, Durability::Disposable, 0600) != 0)
            continue;
        ::unlink(QFile::encodeName(old_path).constData());
        ++moved;
    }
    return moved;
}

}  // namespace fotavi
