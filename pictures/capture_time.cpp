#include "pictures/capture_time.h"

#include <QDate>
#include <QFile>
#include <QScopeGuard>
#include <QTime>

#include <algorithm>
#include <cerrno>
#include <numeric>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libexif/exif-data.h>

#include "platform/heif.h"
#include "platform/io.h"
#include "platform/picture_header.h"

namespace fotavi {

namespace {

// One read at the start of the file holds the marker walk of nearly every
// camera JPEG; later segments and a long EXIF block are read exactly.
constexpr qint64 kFirstRead = 4096;
// Markers walked before giving up: cameras put EXIF first or second.
constexpr int kMaxMarkers = 64;
constexpr char kExifHeader[] = "Exif\0\0";
// Cameras' clocks give nothing earlier or later; anything else is damage.
constexpr int kFirstYear = 1900;
constexpr int kLastYear = 2100;

// The head of an open file, read on demand.
class Head {
public:
    explicit Head(int fd) : fd_(fd) {}

    // n bytes at offset, fewer where the file ends.
    QByteArray read(qint64 offset, qint64 n) {
        if (!first_read_) {
            first_.resize(kFirstRead);
            first_.resize(std::max<qint64>(0, pread_all(fd_, first_.data(), kFirstRead, 0)));
            first_read_ = true;
        }
        if (offset + n <= first_.size() || (first_.size() < kFirstRead && offset >= 0))
            return first_.mid(offset, n);
        QByteArray bytes(n, Qt::Uninitialized);
        bytes.resize(std::max<qint64>(0, pread_all(fd_, bytes.data(), n, offset)));
        return bytes;
    }

private:
    int fd_;
    QByteArray first_;
    bool first_read_ = false;
};

quint16 big_endian16(const QByteArray& bytes, qsizetype at) {
    return quint16((uchar(bytes[at]) << 8) | uchar(bytes[at + 1]));
}

// The bytes of one tag's value; empty when the directory lacks it.
QByteArrayView entry_bytes(ExifContent* content, ExifTag tag) {
    if (!content) return {};
    const ExifEntry* entry = exif_content_get_entry(content, tag);
    if (!entry || !entry->data) return {};
    return QByteArrayView(reinterpret_cast<const char*>(entry->data), entry->size);
}

// Digits at text[from, from + count) as a number, or -1.
int digits(QByteArrayView text, qsizetype from, qsizetype count) {
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool is_padding(char c) { return c == '\0' || c == ' '; }

}  // namespace

namespace {

// The EXIF block of a file whose bytes read(offset, n) gives (fewer where the
// file ends), found by walking the segment markers from the start.
QByteArray walk_to_exif(const std::function<QByteArray(qint64, qint64)>& read) {
    if (read(0, 2) != QByteArrayView("\xFF\xD8")) return {};
    qint64 at = 2;
    for (int markers = 0; markers < kMaxMarkers; ++markers) {
        const QByteArray header = read(at, 4);
        if (header.size() < 2 || uchar(header[0]) != 0xFF) return {};
        const uchar marker = uchar(header[1]);
        if (marker == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a length
            at += 2;
            continue;
        }
        // The picture data (SOS) or its end (EOI): no EXIF block comes before.
        if (marker == 0xDA || marker == 0xD9 || marker == 0x00 || header.size() < 4) return {};
        const qint64 length = big_endian16(header, 2);
        if (length < 2) return {};
        if (marker == 0xE1 && length >= 2 + 6 &&
            read(at + 4, 6) == QByteArrayView(kExifHeader, 6)) {
            const QByteArray block = read(at + 4, length - 2);
            // A file that ends inside the block holds no trustworthy EXIF.
            return block.size() == length - 2 ? block : QByteArray();
        }
        at += 2 + length;
    }
    return {};
}

}  // namespace

QByteArray read_exif_block(const QString& path) {
    // Non-blocking, so a pipe put in a picture's place cannot hang the scan.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    const auto close_file = qScopeGuard([fd] { ::close(fd); });
    Head head(fd);
    const QByteArray first = head.read(0, 16);
    FileWindow start{QByteArrayView(first)};
    if (signature_of(start).kind == PictureKind::Heif) {
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return {};
        return HeifFile(fd, info.st_size).exif_block();
    }
    return walk_to_exif([&head](qint64 offset, qint64 n) { return head.read(offset, n); });
}

QByteArray exif_block_in(QByteArrayView file) {
    FileWindow head(file);
    if (signature_of(head).kind == PictureKind::Heif) return HeifFile(file).exif_block();
    return walk_to_exif([file](qint64 offset, qint64 n) {
        if (offset < 0 || offset >= file.size()) return QByteArray();
        return file.sliced(offset, std::min(n, file.size() - offset)).toByteArray();
    });
}

CaptureTime parse_capture_time(QByteArrayView block) {
    if (block.size() < 14) return {};
    ExifData* data = exif_data_new();
    if (!data) return {};
    const auto free_data = qScopeGuard([data] { exif_data_unref(data); });
    // Left on, this option makes libexif "fix" the block after loading, adding
    // the entries the standard requires with made-up values: work for nothing,
    // and values the camera never wrote.
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(block.data()),
                        unsigned(block.size()));

    struct Choice {
        ExifIfd ifd;
        ExifTag date;
        ExifTag sub_seconds;  // always in the EXIF directory
        TimeTag tag;
    };
    static const Choice choices[] = {
        {EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, EXIF_TAG_SUB_SEC_TIME_ORIGINAL,
         TimeTag::DateTimeOriginal},
        {EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED, EXIF_TAG_SUB_SEC_TIME_DIGITIZED,
         TimeTag::DateTimeDigitized},
        {EXIF_IFD_0, EXIF_TAG_DATE_TIME, EXIF_TAG_SUB_SEC_TIME, TimeTag::DateTime},
    };
    for (const Choice& choice : choices) {
        if (const std::optional<DateTime> date =
                parse_exif_date(entry_bytes(data->ifd[choice.ifd], choice.date))) {
            return {*date,
                    parse_sub_seconds(entry_bytes(data->ifd[EXIF_IFD_EXIF], choice.sub_seconds)),
                    choice.tag};
        }
    }
    return {};
}

CaptureTime read_capture_time(const QString& path) {
    return parse_capture_time(read_exif_block(path));
}

std::optional<DateTime> parse_exif_date(QByteArrayView text) {
    if (text.size() < 19) return std::nullopt;
    for (qsizetype i = 19; i < text.size(); ++i) {
        if (!is_padding(text[i])) return std::nullopt;
    }
    // The standard writes "2001:09:02 05:10:13"; some programs write the date
    // with "-" or "/", or put a "T" between date and time.
    const QByteArrayView date_separators(":-/");
    if (!date_separators.contains(text[4]) || text[7] != text[4] ||
        (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2),
              second = digits(text, 17, 2);
    if (year < kFirstYear || year > kLastYear || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    const QDate date(year, month, day);
    if (month < 1 || day < 1 || !date.isValid()) return std::nullopt;
    return to_date_time(date, QTime(hour, minute, second));
}

int parse_sub_seconds(QByteArrayView text) {
    while (!text.isEmpty() && is_padding(text.back())) text.chop(1);
    while (!text.isEmpty() && is_padding(text.front())) text = text.sliced(1);
    if (text.isEmpty()) return 0;
    int micro = 0;
    for (qsizetype i = 0; i < 6; ++i) {
        if (i < text.size() && (text[i] < '0' || text[i] > '9')) return 0;
        micro = micro * 10 + (i < text.size() ? text[i] - '0' : 0);
    }
    for (qsizetype i = 6; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
    }
    return micro;
}

bool could_be_read(const CaptureTime& time) {
    if (time.tag == TimeTag::None) return time == CaptureTime{};
    static const DateTime first = to_date_time(QDate(kFirstYear, 1, 1), QTime(0, 0));
    static const DateTime last = to_date_time(QDate(kLastYear, 12, 31), QTime(23, 59, 59));
    return time.tag <= TimeTag::DateTime && time.date >= first && time.date <= last &&
           time.microseconds >= 0 && time.microseconds <= 999999;
}

std::vector<ListedFile> order_by_capture_time(std::vector<ListedFile> files,
                                              const std::vector<CaptureTime>& times) {
    std::vector<int> micro(files.size(), 0);
    for (size_t i = 0; i < files.size() && i < times.size(); ++i) {
        if (times[i].found()) {
            files[i].date = times[i].date;
            micro[i] = times[i].microseconds;
        }
    }
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (files[a].date != files[b].date) return files[a].date < files[b].date;
        return micro[a] < micro[b];
    });
    std::vector<ListedFile> ordered;
    ordered.reserve(files.size());
    for (size_t i : order) ordered.push_back(std::move(files[i]));
    return ordered;
}

bool looks_copied(const std::vector<ListedFile>& files,
                  const std::function<CaptureTime(size_t)>& capture_time) {
    constexpr qint64 kMinute = kSecondsPerMinute;
    constexpr size_t kSample = 24;
    const size_t n = files.size();
    if (n < 2) return false;
    std::vector<size_t> by_time(n);
    std::iota(by_time.begin(), by_time.end(), size_t(0));
    std::stable_sort(by_time.begin(), by_time.end(),
                     [&](size_t a, size_t b) { return files[a].date < files[b].date; });
    // The largest run of pictures written within ten minutes.
    size_t best_first = 0, best_count = 0;
    for (size_t first = 0, last = 0; last < n; ++last) {
        while (files[by_time[last]].date - files[by_time[first]].date > 10 * kMinute) ++first;
        if (last - first + 1 > best_count) {
            best_first = first;
            best_count = last - first + 1;
        }
    }
    if (2 * best_count <= n) return false;
    // Pictures spread over the run, its first and its last among them.
    const size_t sample = std::min(kSample, best_count);
    std::optional<DateTime> earliest, latest;
    for (size_t k = 0; k < sample; ++k) {
        const size_t at = sample == 1 ? 0 : k * (best_count - 1) / (sample - 1);
        const CaptureTime time = capture_time(by_time[best_first + at]);
        if (!time.found()) continue;
        if (!earliest || time.date < *earliest) earliest = time.date;
        if (!latest || time.date > *latest) latest = time.date;
    }
    return earliest && *latest - *earliest > 60 * kMinute;
}

}  // namespace fotavi
