#pragma once

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "log/time_log.h"
#include "platform/text_file.h"

namespace fotavi {

inline QByteArray bytes_of(std::initializer_list<char> list) {
    return QByteArray(list.begin(), qsizetype(list.size()));
}

// The date fields of an EXIF block made for a test; empty ones are left out.
struct Exif {
    QByteArray original;     // DateTimeOriginal, "YYYY:MM:DD HH:MM:SS"
    QByteArray digitized;    // DateTimeDigitized
    QByteArray date_time;    // DateTime of the first directory
    QByteArray sub_seconds;  // SubSecTimeOriginal
    QByteArray offset;       // OffsetTimeOriginal, "+09:00"
    bool big_endian = false;
};

// An APP1 payload as cameras write it: "Exif\0\0", the TIFF header, the first
// directory (DateTime, then the pointer to the EXIF directory) and the EXIF
// directory; every value is ASCII, tags in ascending order.
inline QByteArray exif_block(const Exif& exif) {
    const bool be = exif.big_endian;
    auto u16 = [be](quint16 v) {
        return be ? bytes_of({char(v >> 8), char(v)}) : bytes_of({char(v), char(v >> 8)});
    };
    auto u32 = [be](quint32 v) {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i) b[be ? 3 - i : i] = char(v >> (8 * i));
        return b;
    };
    using Tags = std::vector<std::pair<quint16, QByteArray>>;
    // A directory at offset at: its entries, no next directory, then the values longer than four
    // bytes.
    auto directory = [&](const Tags& tags, quint32 at, std::optional<quint32> exif_at) {
        const int count = int(tags.size()) + (exif_at ? 1 : 0);
        const quint32 data_at = at + 2 + 12 * quint32(count) + 4;
        QByteArray entries = u16(quint16(count)), data;
        for (const auto& [tag, text] : tags) {
            const QByteArray value = text + '\0';
            entries += u16(tag) + u16(2) + u32(quint32(value.size()));
            if (value.size() <= 4) {
                entries += value.leftJustified(4, '\0');
            } else {
                entries += u32(data_at + quint32(data.size()));
                data += value;
                if (data.size() % 2) data += '\0';
            }
        }
        if (exif_at) entries += u16(0x8769) + u16(4) + u32(1) + u32(*exif_at);
        return entries + u32(0) + data;
    };
    Tags first, sub;
    if (!exif.date_time.isEmpty()) first.push_back({0x0132, exif.date_time});
    for (const auto& [tag, text] : {std::pair<quint16, QByteArray>{0x9003, exif.original},
                                    {0x9004, exif.digitized},
                                    {0x9011, exif.offset},
                                    {0x9291, exif.sub_seconds}}) {
        if (!text.isEmpty()) sub.push_back({tag, text});
    }
    const std::optional<quint32> none;
    const quint32 sub_at =
        8 + quint32(directory(first, 8, sub.empty() ? none : std::optional<quint32>(0)).size());
    return QByteArray("Exif\0\0", 6) + (be ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4)) +
           u32(8) + directory(first, 8, sub.empty() ? none : sub_at) +
           (sub.empty() ? QByteArray() : directory(sub, sub_at, none));
}

// A segment: marker, then the length (two bytes, counting themselves) and payload.
inline QByteArray jpeg_segment(uchar marker, const QByteArray& payload) {
    const int length = int(payload.size()) + 2;
    return bytes_of({char(0xFF), char(marker), char(length >> 8), char(length)}) + payload;
}

// A small JPEG with segments put right after its start marker (SOI).
inline QByteArray jpeg_with(const QByteArray& segments, QSize size = QSize(64, 48),
                            QColor color = Qt::darkCyan) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return jpeg.left(2) + segments + jpeg.mid(2);
}

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
    // A JPEG that carries exif, whose file time is when.
    void add_exif(const QString& name, const QDateTime& when, const Exif& exif) const {
        add_bytes(name, jpeg_with(jpeg_segment(0xE1, exif_block(exif))), when);
    }
    void add_bytes(const QString& name, const QByteArray& bytes, const QDateTime& when) const {
        QFile out(file(name));
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.close();
        touch(name, when);
    }
    void touch(const QString& name, const QDateTime& when) const {
        const timeval times[2] = {{time_t(when.toSecsSinceEpoch()), 0},
                                  {time_t(when.toSecsSinceEpoch()), 0}};
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

// Diaries. The day texts of the outing of 2 and 3 September 2001.
inline const QString kDay2 = QStringLiteral("2001年9月2日(日)");
inline const QString kDay3 = QStringLiteral("2001年9月3日(月)");

// time_log.txt of that outing: four pictures, the second without a comment.
inline const QString kOutingLog = QStringLiteral(
    "2001年9月2日(日)\r\n05:10 station\r\n12:15 lunch\r\n2001年9月3日(月)\r\n08:30 home\r\n"
    "\r\n\r\n\r\n<TABLE BORDER=1>\r\n"
    "<TR><TD COLSPAN=\"2\">2001年9月2日(日)</TD></TR>\r\n"
    "<TR><TD>05:10</TD><TD>station</TD></TR>\r\n<TR><TD>12:15</TD><TD>lunch</TD></TR>\r\n"
    "<TR><TD COLSPAN=\"2\">2001年9月3日(月)</TD></TR>\r\n"
    "<TR><TD>08:30</TD><TD>home</TD></TR>\r\n</TABLE>\r\n");

// Entries written "day|time|comment".
inline std::vector<LogEntry> entries_of(const QStringList& rows) {
    std::vector<LogEntry> entries;
    for (const QString& r : rows)
        entries.push_back({r.section(u'|', 0, 0), r.section(u'|', 1, 1), r.section(u'|', 2)});
    return entries;
}

inline QStringList rows_of(const std::vector<LogEntry>& entries) {
    QStringList rows;
    for (const LogEntry& e : entries) rows << e.day + u'|' + e.time + u'|' + e.comment;
    return rows;
}

inline QStringList outing_rows() {
    return {kDay2 + QStringLiteral("|05:10|station"), kDay2 + QStringLiteral("|12:15|lunch"),
            kDay3 + QStringLiteral("|08:30|home")};
}

inline QByteArray written(const QStringList& rows) { return log_bytes(entries_of(rows)).bytes; }
inline QByteArray cp932(const QString& text) { return encode_cp932(text).bytes; }

// The bytes of the file at path, or "<missing>".
inline QByteArray file_bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes bytes as the whole file at path.
inline bool put_file(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every entry under dir, links not followed, as "path kind size owner hash"
// lines: equal before and after, nothing under dir changed.
inline QStringList tree_of(const QString& dir) {
    QStringList lines;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        const QByteArray hash =
            S_ISREG(st.st_mode)
                ? QCryptographicHash::hash(file_bytes(path), QCryptographicHash::Sha1).toHex()
                : QFile::encodeName(QFileInfo(path).symLinkTarget());
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QDir(dir).relativeFilePath(path))
                     .arg(st.st_mode, 0, 8)
                     .arg(st.st_size)
                     .arg(st.st_uid)
                     .arg(QString::fromLatin1(hash));
    }
    lines.sort();
    return lines;
}

// The user id of nobody, the user without rights that tests run as where
// root would be let through.
inline uid_t nobody() {
    const passwd* user = ::getpwnam("nobody");
    return user ? user->pw_uid : 65534;
}

// Runs work in a child process that has become the user uid, and gives back
// the bytes work returned; nothing when the child could not become that user
// (or failed). For what root is never refused: reading a file of mode 222.
inline std::optional<QByteArray> as_user(uid_t uid, const std::function<QByteArray()>& work) {
    int channel[2];
    if (::pipe(channel) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
            ::setresuid(uid, uid, uid) != 0)
            ::_exit(2);
        const QByteArray out = work();
        const bool written = ::write(channel[1], out.constData(), size_t(out.size())) == out.size();
        ::_exit(written ? 0 : 3);
    }
    ::close(channel[1]);
    QByteArray out;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, got);
    ::close(channel[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

}  // namespace fotavi
