#include "time_log/old_log.h"

#include <sys/stat.h>

#include <map>
#include <tuple>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/files.h"
#include "platform/text_file.h"
#include "time_log/log_readback.h"

namespace fotavi {

namespace {

// A comment as the file holds it: what code page 932 cannot hold is "?".
QString as_written(const QString& comment) { return decode_cp932(encode_cp932(comment).bytes); }

QString backup_stem(const QDateTime& modified) {
    return dated_stem(QStringLiteral("time_log_"), modified);
}

}  // namespace

std::vector<LogEntry> logged_entries(const ImageTable& table, const std::vector<QString>& logged) {
    std::vector<LogEntry> entries;
    const size_t count = std::min(size_t(table.count()), logged.size());
    for (size_t i = 0; i < count; ++i) {
        if (logged[i].isEmpty()) continue;
        entries.push_back({log_day(table.dates[i]), log_time(table.dates[i]), logged[i]});
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
        return std::make_tuple(e.day, e.time, as_written(fold_line_breaks(e.comment)));
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
    check.other_forms = old.other_forms;
    return check;
}

QString backup_log_name(const QString& folder, const QDateTime& modified) {
    return QFileInfo(unused_path(folder, backup_stem(modified), QStringLiteral(".txt"))).fileName();
}

KeptLog keep_old_log(const QString& folder) {
    KeptLog kept;
    const QString path = QDir(folder).filePath(QString::fromLatin1(kLogName));
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT) return kept;  // nothing to keep
        kept.failure.look_error = errno;
        return kept;
    }
    // A link or a folder is never replaced by List, so nothing is lost.
    if (!S_ISREG(st.st_mode)) return kept;
    const Aside aside = keep_aside(
        path, backup_stem(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::LocalTime)),
        QStringLiteral(".txt"), AsideHow::Copy);
    if (!aside.ok()) {
        kept.failure.copy_error = aside.error;
        kept.failure.copy_name = aside.name;
        return kept;
    }
    kept.name = aside.name;
    return kept;
}

LogWrite write_log_keeping_old(const QString& folder, const std::vector<LogEntry>& entries,
                               const std::vector<LogEntry>& logged) {
    LogWrite result = refuse_outside_calendar(entries);
    if (!result.ok()) return result;
    bool too_large = false;
    int unreadable = 0;
    const std::optional<QByteArray> old = read_log_file(folder, &too_large, &unreadable);
    OldLogCheck check;
    if (old) check = check_old_log(*old, entries, logged);
    // What could not be read is kept whole: no one knows what it holds.
    if (check.keep || too_large || unreadable != 0) {
        const KeptLog kept = keep_old_log(folder);
        if (!kept.ok()) {
            result.not_kept = kept.failure;
            result.unreadable = unreadable;
            return result;
        }
        result.kept_as = kept.name;
        result.dropped = check.dropped;
        result.unreadable = unreadable;
        result.other_forms = check.other_forms;
    }
    const LogWrite written = write_log_file(folder, entries);
    result.problem = written.problem;
    result.replaced = written.replaced;
    return result;
}

}  // namespace fotavi
