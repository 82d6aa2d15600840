#include "time_log/log_readback.h"

#include <cerrno>
#include <map>
#include <optional>

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>

#include "time_log/log_lenient.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace fotavi {

namespace {

constexpr QStringView kTableStart = u"<TABLE BORDER=1>";
constexpr QStringView kTableEnd = u"</TABLE>";
constexpr QStringView kDayOpen = u"<TR><TD COLSPAN=\"2\">";
constexpr QStringView kEntryOpen = u"<TR><TD>";
constexpr QStringView kCells = u"</TD><TD>";
constexpr QStringView kRowClose = u"</TD></TR>";

// The file is code page 932; one saved as UTF-8 by an editor is read as such
// rather than as a row of U+FFFD.
QString decode_log(const QByteArray& bytes, bool* not_cp932) {
    QString text = decode_cp932(bytes, not_cp932);
    if (*not_cp932) {
        QStringDecoder utf8(QStringConverter::Utf8);
        QString as_utf8 = utf8(bytes);
        if (!utf8.hasError()) return as_utf8;
    }
    return text;
}

// Whether line is exactly prefix + middle + suffix.
bool is_framed(QStringView line, QStringView prefix, QStringView middle, QStringView suffix) {
    return line.size() == prefix.size() + middle.size() + suffix.size() &&
           line.startsWith(prefix) && line.endsWith(suffix) &&
           line.sliced(prefix.size(), middle.size()) == middle;
}

// The exact reading of a file as the writer makes it. Each entry stands
// twice: "hh:mm comment" in the diary and "<TR><TD>hh:mm</TD><TD>comment
// </TD></TR>" in the table, each day once in both; so the diary and the
// table rows have the same number of lines, m, and the file has 2m + 5.
// Walking both in step, a comment line either ends the entry (the table's
// line is the diary's plus "</TD></TR>") or goes on (the two are equal),
// never both; a day row and an entry row differ in their opening. So there
// is at most one reading, and a comment holding "</TD></TR>", "<TR><TD>" or
// "</TABLE>" is read as it was written. Returns nothing when the lines do
// not have this form.
std::optional<std::vector<LogEntry>> read_exactly(const LogLines& lines) {
    const qsizetype n = qsizetype(lines.size());
    if (n < 5 || (n - 5) % 2 != 0) return std::nullopt;
    const qsizetype m = (n - 5) / 2;
    if (!lines[m].isEmpty() || !lines[m + 1].isEmpty() || !lines[m + 2].isEmpty() ||
        lines[m + 3] != kTableStart || lines[n - 1] != kTableEnd)
        return std::nullopt;

    std::vector<LogEntry> entries;
    QString day;
    for (qsizetype p = 0, q = m + 4; p < m; ++p, ++q) {
        QStringView text = lines[p];
        QStringView html = lines[q];
        if (is_framed(html, kDayOpen, text, kRowClose)) {
            day = text.toString();
            continue;
        }
        if (!html.startsWith(kEntryOpen)) return std::nullopt;
        const qsizetype cells = html.indexOf(kCells, kEntryOpen.size());
        if (cells < 0) return std::nullopt;
        const QStringView time = html.sliced(kEntryOpen.size(), cells - kEntryOpen.size());
        if (text.size() <= time.size() || !text.startsWith(time) || text[time.size()] != u' ')
            return std::nullopt;
        text = text.sliced(time.size() + 1);
        html = html.sliced(cells + kCells.size());
        QString comment;
        while (!is_framed(html, {}, text, kRowClose)) {
            if (html != text || p + 1 >= m) return std::nullopt;
            comment += text;
            comment += u'\n';
            text = lines[++p];
            html = lines[++q];
        }
        comment += text;
        entries.push_back({day, time.toString(), comment});
    }
    return entries;
}

using Key = std::pair<QString, QString>;

// A time_log.txt larger than this is no diary of ours; it is kept aside whole
// rather than read.
constexpr qint64 kLogReadLimit = 64 * 1024 * 1024;

}  // namespace

std::optional<QByteArray> read_log_file(const QString& folder, bool* too_large, int* unreadable) {
    *too_large = false;
    if (unreadable) *unreadable = 0;
    const QString path = QDir(folder).filePath(QString::fromLatin1(kLogName));
    // A link or a folder by that name is never replaced by List: nothing to read.
    const SmallFile file =
        read_small_file_at(AT_FDCWD, QFile::encodeName(path), kLogReadLimit, false);
    if (file.ok()) return file.bytes;
    if (file.error == EFBIG) {
        *too_large = true;
    } else if (file.error != ENOENT && S_ISREG(file.kind) && unreadable) {
        *unreadable = file.error;
    }
    return std::nullopt;
}

LogRead read_log(const QByteArray& bytes) {
    LogRead read;
    const QString text = decode_log(bytes, &read.not_cp932);
    const LogLines lines = split_lines(text);
    std::optional<std::vector<LogEntry>> exact = read_exactly(lines);
    if (!exact) {
        // Any entries the writer turns into these bytes would have been read
        // exactly, so a file read otherwise is never faithful.
        read_leniently(lines, !text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r'),
                       read);
        return read;
    }
    read.entries = std::move(*exact);
    if (read.not_cp932) return read;
    const QByteArray written = log_bytes(read.entries).bytes;
    read.faithful = written == bytes;
    // Every form of a character decodes to it; encoding the text gives the
    // form the writer uses.
    read.other_forms = !read.faithful && encode_cp932(text).bytes == written;
    return read;
}

Placement place_entries(const ImageTable& table, const std::vector<LogEntry>& entries) {
    Placement placement;
    placement.comments.resize(size_t(table.count()));
    std::map<Key, std::vector<size_t>> pictures;  // in table order
    for (int i = 0; i < table.count(); ++i)
        pictures[{log_day(table.dates[i]), log_time(table.dates[i])}].push_back(size_t(i));
    std::map<Key, std::vector<size_t>> minutes;  // in file order
    for (size_t j = 0; j < entries.size(); ++j)
        minutes[{entries[j].day, entries[j].time}].push_back(j);

    std::vector<bool> placed(entries.size());
    for (const auto& [key, found] : minutes) {
        const auto p = pictures.find(key);
        if (p == pictures.end() || p->second.size() != found.size()) continue;
        for (size_t k = 0; k < found.size(); ++k) {
            placement.comments[p->second[k]] = entries[found[k]].comment;
            placed[found[k]] = true;
        }
    }
    for (size_t j = 0; j < entries.size(); ++j)
        if (!placed[j]) placement.unplaced.push_back(entries[j]);
    return placement;
}

ReadBack read_back_log(const QString& folder, const ImageTable& table) {
    ReadBack back;
    bool too_large = false;
    const std::optional<QByteArray> bytes = read_log_file(folder, &too_large, &back.unreadable);
    back.found = bytes.has_value() || too_large;
    back.damaged = too_large;
    if (!bytes) return back;
    const LogRead read = read_log(*bytes);
    Placement placement = place_entries(table, read.entries);
    back.comments = std::move(placement.comments);
    back.unplaced = int(placement.unplaced.size());
    back.placed = int(read.entries.size()) - back.unplaced;
    back.damaged = !read.faithful && !read.other_forms;
    back.other_forms = read.other_forms;
    return back;
}

}  // namespace fotavi
