#include "comments/json_import.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace fotavi {

namespace {

// Doubles hold whole numbers exactly up to 2^53.
constexpr double kLargestExact = 9007199254740992.0;

std::optional<qint64> exact_size(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= 0 && number <= kLargestExact) || number != double(qint64(number)))
        return std::nullopt;
    return qint64(number);
}

// Nanoseconds since 1970 as decimal digits; they exceed a double's precision.
std::optional<qint64> exact_nanoseconds(const QJsonValue& value) {
    const QString text = value.toString();
    if (!value.isString() || text.isEmpty() || text.size() > 19) return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok) return std::nullopt;
    return number;
}

}  // namespace

OldJournal parse_old_journal(const QByteArray& bytes) {
    OldJournal journal;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject root = document.object();
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        root.value(QStringLiteral("format")).toString() !=
            QLatin1String("fotavi comment journal") ||
        !version.isDouble() || !(version.toDouble() >= 1) ||
        !root.value(QStringLiteral("pictures")).isObject()) {
        journal.damaged = true;
        return journal;
    }
    journal.newer = version.toDouble() > 1;
    const QJsonObject pictures = root.value(QStringLiteral("pictures")).toObject();
    for (auto it = pictures.begin(); it != pictures.end(); ++it) {
        const QJsonObject e = it.value().toObject();
        const QJsonValue comment = e.value(QStringLiteral("comment"));
        const QJsonValue logged = e.value(QStringLiteral("logged"));
        if (!it.value().isObject() || !comment.isString() || it.key().isEmpty() ||
            !(logged.isString() || logged.isUndefined())) {
            journal.damaged = true;
            continue;
        }
        StoredComment row;
        row.name = QFile::encodeName(it.key());
        row.comment = comment.toString();
        row.logged = logged.toString();
        const std::optional<qint64> size = exact_size(e.value(QStringLiteral("size")));
        const std::optional<qint64> mtime = exact_nanoseconds(e.value(QStringLiteral("mtime_ns")));
        // A picture whose size was never known was written with size -1.
        const bool unknown = e.value(QStringLiteral("size")).toDouble(0) == -1;
        if ((!size || !mtime) && !unknown) journal.damaged = true;
        if (size && mtime) {
            row.size = *size;
            row.mtime_ns = *mtime;
        }
        journal.rows.push_back(std::move(row));
    }
    return journal;
}

}  // namespace fotavi
