#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
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

inline QDateTime at(int year, int month, int day, int hour, int minute, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

}  // namespace fotavi
