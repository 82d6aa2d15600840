#include "log/log_readback.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <optional>
#include <tuple>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "platform/errors.h"
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

using Lines = std::vector<QStringView>;

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

// Lines end with CR LF, LF or CR; a last line without an end still counts.
Lines split_lines(QStringView text) {
    Lines lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        lines.push_back(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.sliced(start));
    return lines;
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
std::optional<std::vector<LogEntry>> read_exactly(const Lines& lines) {
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

// --- Reading what the writer did not make exactly: tags in any letter case,
// blanks around them, rows broken or missing, a file cut short.

bool skip(QStringView& s, QStringView token) {
    if (!s.startsWith(token, Qt::CaseInsensitive)) return false;
    s = s.sliced(token.size());
    return true;
}

void skip_blanks(QStringView& s) {
    while (!s.isEmpty() && s.front().isSpace()) s = s.sliced(1);
}

// The text before a "</TD></TR>" that ends line, or nothing.
std::optional<QStringView> before_row_close(QStringView line) {
    QStringView s = line;
    while (!s.isEmpty() && s.back().isSpace()) s.chop(1);
    if (!s.endsWith(u"</TR>", Qt::CaseInsensitive)) return std::nullopt;
    s.chop(5);
    while (!s.isEmpty() && s.back().isSpace()) s.chop(1);
    if (!s.endsWith(u"</TD>", Qt::CaseInsensitive)) return std::nullopt;
    s.chop(5);
    return s;
}

// "05:10", also written "5:10" or " 05:10 "; nothing when text is no time.
std::optional<QString> parse_time(QStringView text) {
    const QStringView t = text.trimmed();
    const qsizetype colon = t.indexOf(u':');
    if (colon < 1 || colon > 2 || t.size() != colon + 3) return std::nullopt;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (i != colon && !(t[i] >= u'0' && t[i] <= u'9')) return std::nullopt;
    const int hour = t.first(colon).toInt();
    const int minute = t.sliced(colon + 1).toInt();
    if (hour > 23 || minute > 59) return std::nullopt;
    return QStringLiteral("%1:%2").arg(hour, 2, 10, QChar(u'0')).arg(minute, 2, 10, QChar(u'0'));
}

struct Row {
    enum Kind { None, Day, Entry } kind = None;
    QString text;         // the day text, or the entry's time text
    QStringView rest;     // an entry's comment as far as this line holds it
    bool closed = false;  // the entry ends on this line
};

// A day row or the start of an entry row.
Row parse_row(QStringView line) {
    Row row;
    QStringView s = line;
    skip_blanks(s);
    if (!skip(s, u"<TR>")) return row;
    skip_blanks(s);
    if (!skip(s, u"<TD")) return row;
    if (skip(s, u">")) {
        const qsizetype end = s.indexOf(u"</TD>", 0, Qt::CaseInsensitive);
        if (end < 0) return row;
        // A time that is none is kept as it is; it then matches no picture.
        row.text = parse_time(s.first(end)).value_or(s.first(end).trimmed().toString());
        s = s.sliced(end + 5);
        skip_blanks(s);
        if (!skip(s, u"<TD>")) return row;
        row.kind = Row::Entry;
        const std::optional<QStringView> closed = before_row_close(s);
        row.closed = closed.has_value();
        row.rest = closed.value_or(s);
        return row;
    }
    skip_blanks(s);
    if (!skip(s, u"COLSPAN")) return row;
    skip_blanks(s);
    if (!skip(s, u"=")) return row;
    skip_blanks(s);
    skip(s, u"\"");
    if (!skip(s, u"2")) return row;
    skip(s, u"\"");
    skip_blanks(s);
    if (!skip(s, u">")) return row;
    const std::optional<QStringView> day = before_row_close(s);
    if (!day) return row;
    row.kind = Row::Day;
    row.text = day->trimmed().toString();
    return row;
}

bool is_table_start(QStringView line) {
    return line.trimmed().startsWith(u"<TABLE", Qt::CaseInsensitive);
}

bool is_table_end(QStringView line) {
    return line.trimmed().compare(kTableEnd, Qt::CaseInsensitive) == 0;
}

// "2001年9月2日(日)": digits 年 digits 月 digits 日, one character in parentheses.
bool is_day_text(QStringView s) {
    auto number = [&s](char16_t unit) {
        qsizetype i = 0;
        while (i < s.size() && s[i].isDigit()) ++i;
        if (i == 0 || i >= s.size() || s[i] != QChar(unit)) return false;
        s = s.sliced(i + 1);
        return true;
    };
    return number(u'年') && number(u'月') && number(u'日') && s.size() == 3 && s[0] == u'(' &&
           s[2] == u')';
}

struct Partial {
    std::vector<LogEntry> entries;
    int not_understood = 0;
    int before_cut = 0;  // not_understood up to the last whole row of a table without an end
};

// The diary above the table, lines [0, end): day lines, "hh:mm comment"
// lines, and the further lines of a comment. A comment line that looks like
// a day or begins with a time is taken for one; the table settles such
// cases when it is there. When the file ends in the diary without a line
// break, the entry of its last line may have lost its end and is not read.
Partial read_diary(const Lines& lines, qsizetype end, bool last_line_cut) {
    Partial diary;
    QString day;
    std::optional<LogEntry> open;
    int open_lines = 0;
    auto finish = [&] {
        if (open) diary.entries.push_back(std::move(*open));
        open.reset();
    };
    for (qsizetype i = 0; i < end; ++i) {
        const QStringView line = lines[i];
        if (is_day_text(line.trimmed())) {
            finish();
            day = line.trimmed().toString();
            continue;
        }
        const qsizetype space = line.indexOf(u' ');
        const std::optional<QString> time =
            space > 0 ? parse_time(line.first(space)) : std::nullopt;
        if (time) {
            finish();
            open = LogEntry{day, *time, line.sliced(space + 1).toString()};
            open_lines = 1;
        } else if (open) {
            open->comment += u'\n';
            open->comment += line;
            ++open_lines;
        } else if (!line.trimmed().isEmpty()) {
            ++diary.not_understood;
        }
    }
    if (open && last_line_cut && end == qsizetype(lines.size())) {
        diary.not_understood += open_lines;
        open.reset();
    }
    finish();
    return diary;
}

// The table rows from the line after the table start. An entry runs to the
// first line that ends with "</TD></TR>"; a line that is a day row, the
// start of an entry row or the table end cuts off an entry still open,
// which is then not read (in a file the writer made exactly, such lines
// inside comments are read by read_exactly).
Partial read_table(const Lines& lines, qsizetype from, bool* ended) {
    Partial table;
    QString day;
    std::optional<LogEntry> open;
    int open_lines = 0;
    *ended = false;
    for (qsizetype i = from; i < qsizetype(lines.size()); ++i) {
        const QStringView line = lines[i];
        const Row row = *ended ? Row() : parse_row(line);
        if (open) {
            if (row.kind == Row::None && !is_table_end(line)) {
                if (const std::optional<QStringView> last = before_row_close(line)) {
                    open->comment += *last;
                    table.entries.push_back(std::move(*open));
                    table.before_cut = table.not_understood;
                    open.reset();
                } else {
                    open->comment += line;
                    open->comment += u'\n';
                    ++open_lines;
                }
                continue;
            }
            table.not_understood += open_lines;
            open.reset();
        }
        if (line.trimmed().isEmpty()) continue;
        if (*ended) {
            ++table.not_understood;
        } else if (is_table_end(line)) {
            *ended = true;
        } else if (row.kind == Row::Day) {
            day = row.text;
        } else if (row.kind == Row::Entry) {
            LogEntry entry{day, row.text, row.rest.toString()};
            if (row.closed) {
                table.entries.push_back(std::move(entry));
                table.before_cut = table.not_understood;
            } else {
                entry.comment += u'\n';
                open = std::move(entry);
                open_lines = 1;
            }
        } else {
            ++table.not_understood;
        }
    }
    if (open) table.not_understood += open_lines;
    return table;
}

// A file that is not exactly the writer's: the table holds the entries. When
// it has no end (the file was cut short), the diary above it, which the
// writer wrote first, gives the entries after the last whole row, provided
// it agrees with the rows read so far.
void read_damaged(const Lines& lines, bool last_line_cut, LogRead& read) {
    const qsizetype n = qsizetype(lines.size());
    qsizetype start = -1;
    for (qsizetype i = 0; i < n; ++i) {
        if (!is_table_start(lines[i])) continue;
        const bool after_three_empty =
            i >= 3 && lines[i - 1].isEmpty() && lines[i - 2].isEmpty() && lines[i - 3].isEmpty();
        if (start < 0 || after_three_empty) start = i;
        if (after_three_empty) break;
    }
    qsizetype diary_end = start < 0 ? n : start;
    while (diary_end > 0 && lines[diary_end - 1].trimmed().isEmpty()) --diary_end;

    if (start < 0) {
        Partial diary = read_diary(lines, diary_end, last_line_cut);
        read.entries = std::move(diary.entries);
        read.not_understood = diary.not_understood;
        read.cut_short = true;
        return;
    }
    bool ended = false;
    Partial table = read_table(lines, start + 1, &ended);
    read.entries = std::move(table.entries);
    read.not_understood = table.not_understood;
    read.cut_short = !ended;
    if (ended) return;

    Partial diary = read_diary(lines, diary_end, last_line_cut);
    const size_t rows = read.entries.size();
    if (diary.entries.size() <= rows) return;
    for (size_t i = 0; i < rows; ++i) {
        if (diary.entries[i].day != read.entries[i].day ||
            diary.entries[i].time != read.entries[i].time)
            return;
    }
    read.entries.insert(read.entries.end(), diary.entries.begin() + qsizetype(rows),
                        diary.entries.end());
    // What follows the last whole row is now read from the diary.
    read.not_understood = table.before_cut + diary.not_understood;
}

using Key = std::pair<QString, QString>;

// A comment as the file holds it: what code page 932 cannot hold is "?".
QString as_written(const QString& comment) { return decode_cp932(encode_cp932(comment).bytes); }

QString backup_stem(const QDateTime& modified) {
    return QStringLiteral("time_log_") +
           modified.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

// Copies source to a new file target, which must not exist; keeps the
// modification time. Returns 0 or the errno of the step that failed.
int copy_to_new_file(const QByteArray& source, const QByteArray& target, const struct stat& st) {
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0)
                error = errno;
            else
                done += put;
        }
        if (error != 0) break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (error == 0) ::futimens(out, times);
    if (::close(out) != 0 && error == 0) error = errno;
    ::close(in);
    if (error != 0) ::unlink(target.constData());
    return error;
}

// File systems without hard links (FAT, exFAT on a camera card) refuse with one of these.
bool links_unsupported(int error) {
    return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP ||
           error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

LogRead read_log(const QByteArray& bytes) {
    LogRead read;
    const QString text = decode_log(bytes, &read.not_cp932);
    const Lines lines = split_lines(text);
    std::optional<std::vector<LogEntry>> exact = read_exactly(lines);
    if (!exact) {
        // Any entries the writer turns into these bytes would have been read
        // exactly, so a file read otherwise is never faithful.
        read_damaged(lines, !text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r'),
                     read);
        return read;
    }
    read.entries = std::move(*exact);
    read.faithful = !read.not_cp932 && log_bytes(read.entries).bytes == bytes;
    return read;
}

Placement place_entries(const ImageTable& table, const std::vector<LogEntry>& entries) {
    Placement placement;
    placement.comments.resize(size_t(table.img_count()));
    std::map<Key, std::vector<size_t>> pictures;  // in table order
    for (int i = 0; i < table.img_count(); ++i)
        pictures[{log_day(table.img_date[i]), log_time(table.img_date[i])}].push_back(size_t(i));
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

std::vector<LogEntry> logged_entries(const ImageTable& table, const std::vector<QString>& logged) {
    std::vector<LogEntry> entries;
    const size_t count = std::min(size_t(table.img_count()), logged.size());
    for (size_t i = 0; i < count; ++i) {
        if (logged[i].isEmpty()) continue;
        entries.push_back({log_day(table.img_date[i]), log_time(table.img_date[i]), logged[i]});
    }
    return entries;
}

OldLogCheck check_old_log(const QByteArray& old_bytes, const std::vector<LogEntry>& new_entries,
                          const std::vector<LogEntry>& logged) {
    OldLogCheck check;
    if (old_bytes.isEmpty() || log_bytes(new_entries).bytes == old_bytes) return check;
    const LogRead old = read_log(old_bytes);

    // Per entry, as the file holds it: how often the old file, the new file
    // and the pictures' last logged comments have it. An old entry the new
    // file lacks is explained by a picture that logged it and no longer has
    // it in the new file (its comment was changed or cleared); the rest
    // would be lost.
    struct Count {
        int old_file = 0, new_file = 0, logged = 0;
    };
    std::map<std::tuple<QString, QString, QString>, Count> counts;
    auto key = [](const LogEntry& e) {
        QString comment = e.comment;
        comment.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        return std::make_tuple(e.day, e.time, as_written(comment));
    };
    for (const LogEntry& e : old.entries)
        if (!e.comment.isEmpty()) ++counts[key(e)].old_file;
    for (const LogEntry& e : new_entries) ++counts[key(e)].new_file;
    for (const LogEntry& e : logged)
        if (!e.comment.isEmpty()) ++counts[key(e)].logged;
    for (const auto& [entry, c] : counts) {
        const int missing = std::max(0, c.old_file - c.new_file);
        const int explained = std::max(0, c.logged - c.new_file);
        check.dropped += std::max(0, missing - explained);
    }
    check.keep = !old.faithful || check.dropped > 0;
    return check;
}

QString backup_log_name(const QString& folder, const QDateTime& modified) {
    return QFileInfo(unused_path(folder, backup_stem(modified), QStringLiteral(".txt"))).fileName();
}

KeptLog keep_old_log(const QString& folder) {
    KeptLog kept;
    const QDir dir(folder);
    const QString source_path = dir.filePath(QString::fromLatin1(kLogName));
    const QByteArray source = QFile::encodeName(source_path);
    struct stat st {};
    if (::lstat(source.constData(), &st) != 0) {
        if (errno == ENOENT) return kept;  // nothing to keep
        kept.error = QStringLiteral("%1 を読めませんでした。\n理由: %2")
                         .arg(QDir::toNativeSeparators(source_path), system_reason(errno));
        return kept;
    }
    // A link or a folder is never replaced by List, so nothing is lost.
    if (!S_ISREG(st.st_mode)) return kept;

    const QString stem =
        backup_stem(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::LocalTime));
    bool linkable = true;
    for (int attempt = 1; attempt <= 100; ++attempt) {  // a name taken meanwhile is tried again
        const QString name =
            QFileInfo(unused_path(folder, stem, QStringLiteral(".txt"))).fileName();
        const QByteArray target = QFile::encodeName(dir.filePath(name));
        int error = 0;
        if (linkable && ::link(source.constData(), target.constData()) != 0) {
            error = errno;
            if (links_unsupported(error)) linkable = false;
        }
        if (!linkable) error = copy_to_new_file(source, target, st);
        if (error == EEXIST) continue;
        if (error != 0) {
            kept.error =
                QStringLiteral("%1 を %2 として残せませんでした。\n理由: %3")
                    .arg(QString::fromLatin1(kLogName),
                         QDir::toNativeSeparators(dir.filePath(name)), system_reason(error));
            return kept;
        }
        kept.name = name;
        return kept;
    }
    kept.error = QStringLiteral("%1 を残す名前が見つかりませんでした。\n理由: %2")
                     .arg(QDir::toNativeSeparators(source_path), system_reason(EEXIST));
    return kept;
}

namespace {

// A time_log.txt larger than this is no diary of ours; it is kept aside whole
// rather than read.
constexpr qint64 kLogReadLimit = 64 * 1024 * 1024;

// The bytes of folder's time_log.txt: nothing when there is no regular file
// by that name; too_large when it is too large to read.
std::optional<QByteArray> read_log_file(const QString& folder, bool* too_large) {
    *too_large = false;
    const QString path = QDir(folder).filePath(QString::fromLatin1(kLogName));
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    if (st.st_size > kLogReadLimit) {
        *too_large = true;
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.read(kLogReadLimit);
}

}  // namespace

LogWrite write_log_keeping_old(const QString& folder, const ImageTable& table,
                               const std::vector<QString>& logged) {
    bool too_large = false;
    const std::optional<QByteArray> old = read_log_file(folder, &too_large);
    OldLogCheck check;
    if (old) check = check_old_log(*old, log_entries(table), logged_entries(table, logged));
    LogWrite result;
    if (check.keep || too_large) {
        const KeptLog kept = keep_old_log(folder);
        if (!kept.ok()) {
            result.error = kept.error;
            return result;
        }
        result.kept_as = kept.name;
        result.dropped = check.dropped;
    }
    const LogWrite written = z_write_log(folder, table);
    result.error = written.error;
    result.replaced = written.replaced;
    return result;
}

ReadBack read_back_log(const QString& folder, const ImageTable& table) {
    ReadBack back;
    bool too_large = false;
    const std::optional<QByteArray> bytes = read_log_file(folder, &too_large);
    back.found = bytes.has_value() || too_large;
    back.damaged = too_large;
    if (!bytes) return back;
    const LogRead read = read_log(*bytes);
    Placement placement = place_entries(table, read.entries);
    back.comments = std::move(placement.comments);
    back.unplaced = int(placement.unplaced.size());
    back.placed = int(read.entries.size()) - back.unplaced;
    back.damaged = !read.faithful;
    return back;
}

}  // namespace fotavi
