#pragma once

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
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

#include "time_log/time_log.h"
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

// What an EXIF block made for a test may carry besides its dates.
struct ExifExtras {
    int orientation = 0;   // the first directory's Orientation; 0: none
    QSize pixels;          // PixelXDimension x PixelYDimension of the EXIF directory
    QByteArray thumbnail;  // the embedded JPEG of the second directory (IFD1)
};

// The camera an EXIF block made for a test names; empty ones are left out.
struct ExifCamera {
    QByteArray make, model, serial;  // Make, Model, BodySerialNumber
};

// An APP1 payload as cameras write it: "Exif\0\0", the TIFF header, the first
// directory (Orientation, DateTime, then the pointer to the EXIF directory),
// the EXIF directory, and the second directory with the embedded thumbnail
// after it; tags in ascending order.
inline QByteArray exif_block(const Exif& exif, const ExifExtras& extras = {},
                             const ExifCamera& camera = {}) {
    const bool be = exif.big_endian;
    auto u16 = [be](quint16 v) {
        return be ? bytes_of({char(v >> 8), char(v)}) : bytes_of({char(v), char(v >> 8)});
    };
    auto u32 = [be](quint32 v) {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i) b[be ? 3 - i : i] = char(v >> (8 * i));
        return b;
    };
    struct Tag {
        quint16 tag, type;
        quint32 count;
        QByteArray value;  // in the block's byte order
    };
    using Tags = std::vector<Tag>;
    auto ascii = [](quint16 tag, const QByteArray& text) {
        return Tag{tag, 2, quint32(text.size() + 1), text + '\0'};
    };
    auto long_tag = [&](quint16 tag, quint32 v) { return Tag{tag, 4, 1, u32(v)}; };
    // A directory at offset at: its entries, the offset of the next one, then
    // the values longer than four bytes.
    auto directory = [&](const Tags& tags, quint32 at, quint32 next) {
        const quint32 data_at = at + 2 + 12 * quint32(tags.size()) + 4;
        QByteArray entries = u16(quint16(tags.size())), data;
        for (const Tag& t : tags) {
            entries += u16(t.tag) + u16(t.type) + u32(t.count);
            if (t.value.size() <= 4) {
                entries += t.value.leftJustified(4, '\0');
            } else {
                entries += u32(data_at + quint32(data.size()));
                data += t.value;
                if (data.size() % 2) data += '\0';
            }
        }
        return entries + u32(next) + data;
    };
    Tags sub;
    for (const auto& [tag, text] : {std::pair<quint16, QByteArray>{0x9003, exif.original},
                                    {0x9004, exif.digitized},
                                    {0x9011, exif.offset},
                                    {0x9291, exif.sub_seconds}}) {
        if (!text.isEmpty()) sub.push_back(ascii(tag, text));
    }
    if (!extras.pixels.isEmpty()) {
        sub.push_back(long_tag(0xA002, quint32(extras.pixels.width())));
        sub.push_back(long_tag(0xA003, quint32(extras.pixels.height())));
    }
    if (!camera.serial.isEmpty()) sub.push_back(ascii(0xA431, camera.serial));
    // The first directory, with its pointers set once the offsets are known.
    auto first = [&](quint32 sub_at, quint32 second_at) {
        Tags tags;
        if (!camera.make.isEmpty()) tags.push_back(ascii(0x010F, camera.make));
        if (!camera.model.isEmpty()) tags.push_back(ascii(0x0110, camera.model));
        if (extras.orientation) tags.push_back({0x0112, 3, 1, u16(quint16(extras.orientation))});
        if (!exif.date_time.isEmpty()) tags.push_back(ascii(0x0132, exif.date_time));
        if (!sub.empty()) tags.push_back(long_tag(0x8769, sub_at));
        return directory(tags, 8, second_at);
    };
    const quint32 sub_at = 8 + quint32(first(0, 0).size());
    const quint32 second_at =
        sub_at + (sub.empty() ? 0 : quint32(directory(sub, sub_at, 0).size()));
    const bool thumbnail = !extras.thumbnail.isEmpty();
    const quint32 thumbnail_at = second_at + 2 + 2 * 12 + 4;
    const QByteArray second = thumbnail
                                  ? directory({long_tag(0x0201, thumbnail_at),
                                               long_tag(0x0202, quint32(extras.thumbnail.size()))},
                                              second_at, 0) +
                                        extras.thumbnail
                                  : QByteArray();
    return QByteArray("Exif\0\0", 6) + (be ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4)) +
           u32(8) + first(sub_at, thumbnail ? second_at : 0) +
           (sub.empty() ? QByteArray() : directory(sub, sub_at, 0)) + second;
}

// A segment: marker, then the length (two bytes, counting themselves) and payload.
inline QByteArray jpeg_segment(uchar marker, const QByteArray& payload) {
    const int length = int(payload.size()) + 2;
    return bytes_of({char(0xFF), char(marker), char(length >> 8), char(length)}) + payload;
}

// image as the bytes of a file of format ("JPG", "PNG").
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
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

// A small tmpfs mounted over a temporary folder for a full or read-only disk,
// unmounted at the end. Tests skip where the machine cannot mount (mounted).
struct SmallDisk {
    QTemporaryDir dir;
    bool mounted = false;

    explicit SmallDisk(const QString& size = QStringLiteral("64k")) {
        mounted = QProcess::execute(
                      QStringLiteral("mount"),
                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                       QStringLiteral("size=") + size, QStringLiteral("tmpfs"), dir.path()}) == 0;
    }
    ~SmallDisk() {
        if (!mounted) return;
        QDir::setCurrent(QDir::rootPath());  // a program in the folder would hold the mount
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), dir.path()});
    }
    QString path() const { return dir.path(); }
    bool set_read_only(bool on) const {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"),
                                  on ? QStringLiteral("remount,ro") : QStringLiteral("remount,rw"),
                                  dir.path()}) == 0;
    }
    // Takes every byte left; removing the filler gives them back.
    void fill() const {
        QFile filler(dir.filePath(QStringLiteral("filler")));
        filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write(block.left(1)) == 1) {
        }
    }
    void unfill() const { QFile::remove(dir.filePath(QStringLiteral("filler"))); }
    // Copies the pictures of folder onto the disk with their file times.
    bool take_pictures_of(const QString& folder) const {
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            const QString to = dir.filePath(name);
            if (!QFile::copy(QDir(folder).filePath(name), to)) return false;
            const qint64 when =
                QFileInfo(QDir(folder).filePath(name)).lastModified().toSecsSinceEpoch();
            const timeval times[2] = {{time_t(when), 0}, {time_t(when), 0}};
            ::utimes(QFile::encodeName(to).constData(), times);
        }
        return true;
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

// The bytes of a file, or "<missing>".
inline QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The four pictures of one outing, with the file times of the log's worked
// example (the last one upright).
inline void make_outing(const Album& album) {
    album.add(QStringLiteral("DSC0001.JPG"), at(2001, 9, 2, 5, 10, 13));
    album.add(QStringLiteral("DSC0002.JPG"), at(2001, 9, 2, 10, 40));
    album.add(QStringLiteral("DSC0003.JPG"), at(2001, 9, 2, 12, 15));
    album.add(QStringLiteral("DSC0004.JPG"), at(2001, 9, 3, 8, 30), QSize(48, 64));
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

// Writes bytes as the whole file at path.
inline bool put_file(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every entry under dir, links not followed, as "path kind size owner hash"
// lines: equal before and after, nothing under dir changed.
// jpeg made a HEIC by heif-enc, as a phone saves it: its EXIF block kept, and
// an embedded thumbnail of at most thumbnail pixels a side unless 0.
inline QByteArray heic_from(const QByteArray& jpeg, int thumbnail = 0) {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.jpg"));
    const QString out = dir.filePath(QStringLiteral("out.heic"));
    if (!put_file(in, jpeg)) return {};
    QStringList args{QStringLiteral("-q"), QStringLiteral("60"), in, QStringLiteral("-o"), out};
    if (thumbnail > 0) args << QStringLiteral("-t") << QString::number(thumbnail);
    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(QStringLiteral("heif-enc"), args);
    if (!encoder.waitForFinished(60000) || encoder.exitCode() != 0) return {};
    return read_all(out);
}

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
                ? QCryptographicHash::hash(read_all(path), QCryptographicHash::Sha1).toHex()
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
