// time_log.txt read back (read_log): any bytes are read without failing, a
// file called faithful is exactly what its entries write, and entries the
// writer can produce, made from the input, come back from their bytes.
#include <algorithm>
#include <vector>

#include "fuzz.h"
#include "time_log/log_readback.h"
#include "time_log/time_log.h"
#include "platform/date_time.h"
#include "platform/text_file.h"

using namespace fotavi;

namespace {

// The entries of a table made from the input: pieces between zero bytes,
// each a date-time (its first four bytes: seconds from 1900 on) and a comment
// (the rest, as UTF-8), as List takes them: in date order, without the
// empty ones, line breaks folded, and what code page 932 cannot hold as "?".
std::vector<LogEntry> writable_entries(const QByteArray& bytes) {
    std::vector<std::pair<DateTime, QString>> pictures;
    for (const QByteArray& piece : bytes.split('\0')) {
        quint32 seed = 0;
        for (qsizetype i = 0; i < 4 && i < piece.size(); ++i) seed = seed << 8 | uchar(piece[i]);
        const DateTime date{to_date_time(QDate(1900, 1, 1), QTime(0, 0)).seconds + qint64(seed)};
        const QString typed = fold_line_breaks(QString::fromUtf8(piece.mid(4)));
        const QString comment = decode_cp932(encode_cp932(typed).bytes);
        if (!comment.isEmpty()) pictures.emplace_back(date, comment);
    }
    std::stable_sort(pictures.begin(), pictures.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<LogEntry> entries;
    for (const auto& [date, comment] : pictures)
        entries.emplace_back(log_day(date), log_time(date), comment);
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz_bytes(data, size);
    const LogRead read = read_log(bytes);
    if (read.faithful) FUZZ_CHECK(log_bytes(read.entries).bytes == bytes);
    FUZZ_CHECK(!(read.faithful && read.other_forms));

    const std::vector<LogEntry> entries = writable_entries(bytes);
    const LogRead back = read_log(log_bytes(entries).bytes);
    FUZZ_CHECK(back.faithful && back.entries == entries);
    return 0;
}
