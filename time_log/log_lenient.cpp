#include "time_log/log_lenient.h"

#include <QString>

#include <optional>

namespace fotavi {

namespace {

constexpr QStringView kTableStart = u"<TABLE BORDER=1>";
constexpr QStringView kTableEnd = u"</TABLE>";

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

// Whether text can be the beginning of pattern, where in pattern 'd' stands
// for one or more digits and 'x' for any one character.
bool begins_like(QStringView text, QStringView pattern) {
    qsizetype i = 0;
    for (const QChar p : pattern) {
        if (i == text.size()) return true;
        if (p == u'd') {
            if (!text[i].isDigit()) return false;
            while (i < text.size() && text[i].isDigit()) ++i;
        } else if (p == u'x' || text[i] == p) {
            ++i;
        } else {
            return false;
        }
    }
    return i == text.size();
}

// What the last line of a file cut short may be the beginning of, besides a
// line of a comment. A character cut in two reads as U+FFFD.
enum class CutLine { Comment, DayOrEntry, Table };
CutLine may_begin(QStringView cut) {
    if (cut.endsWith(QChar::ReplacementCharacter)) cut.chop(1);
    if (kTableStart.startsWith(cut, Qt::CaseInsensitive)) return CutLine::Table;
    if (begins_like(cut, u"d年d月d日(x)") || begins_like(cut, u"d:d ")) return CutLine::DayOrEntry;
    return CutLine::Comment;
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
// break, the entry of its last line may have lost its end and is not read,
// unless that line may be the beginning of the next day, entry or the table.
Partial read_diary(const LogLines& lines, qsizetype end, bool last_line_cut) {
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
        const QStringView cut = lines[end - 1];
        const CutLine begins = open_lines > 1 ? may_begin(cut) : CutLine::Comment;
        if (begins != CutLine::Comment) {
            // The entry ended with the line before, and before the table
            // come three empty lines.
            open->comment.chop(cut.size() + 1);
            for (int i = 0; begins == CutLine::Table && i < 3 && open->comment.endsWith(u'\n'); ++i)
                open->comment.chop(1);
            diary.not_understood += 1;
        } else {
            diary.not_understood += open_lines;
            open.reset();
        }
    }
    finish();
    return diary;
}

// The table rows from the line after the table start. An entry runs to the
// first line that ends with "</TD></TR>"; a line that is a day row, the
// start of an entry row or the table end cuts off an entry still open,
// which is then not read (in a file the writer made exactly, such lines
// inside comments are read by read_exactly).
Partial read_table(const LogLines& lines, qsizetype from, bool* ended) {
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

}  // namespace

// The diary above the table, which the writer wrote first, gives the entries
// after the last whole row of a table without an end, provided it agrees
// with the rows read so far.
void read_leniently(const LogLines& lines, bool last_line_cut, LogRead& read) {
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

}  // namespace fotavi
