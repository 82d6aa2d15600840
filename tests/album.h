#pragma once

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <sys/time.h>

namespace fotavi {

// A picture folder made for a test: small JPEGs with the modification times
// the test gives them.
class Album {
public:
    QTemporaryDir dir;

    QString path() const { return dir.path(); }
    QString file(const QString& name) const { return dir.filePath(name); }

    // A JPEG of width x height whose file time is when.
    void add(const QString& name, const QDateTime& when, QSize size = QSize(64, 48),
             QColor color = Qt::darkCyan) const {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        image.save(file(name), "JPG");
        touch(name, when);
    }
    void add_bytes(const QString& name, const QByteArray& bytes, const QDateTime& when) const {
        QFile out(file(name));
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.close();
        touch(name, when);
    }
    void touch(const QString& name, const QDateTime& when) const {
        const timeval times[2] = {{time_t(when.toSecsSinceEpoch()), 0}, {time_t(when.toSecsSinceEpoch()), 0}};
        ::utimes(QFile::encodeName(file(name)).constData(), times);
    }
};

// A JPEG of one colour, as bytes.
inline QByteArray jpeg_bytes(QSize size, QColor color = Qt::darkCyan, bool progressive = false) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// The JPEG with its frame header claiming another size: a decoder finds too
// little image data for it and fills the rest in grey.
inline QByteArray with_claimed_size(QByteArray jpeg, QSize size) {
    for (qsizetype i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == '\xFF' && (jpeg[i + 1] == '\xC0' || jpeg[i + 1] == '\xC2')) {
            jpeg[i + 5] = char(size.height() >> 8);
            jpeg[i + 6] = char(size.height());
            jpeg[i + 7] = char(size.width() >> 8);
            jpeg[i + 8] = char(size.width());
            break;
        }
    }
    return jpeg;
}

inline QDateTime at(int year, int month, int day, int hour, int minute, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

}  // namespace fotavi
