#include "journal/comment_journal.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace fotavi {

namespace {

const QString kFormat = QStringLiteral("fotavi comment journal");

}  // namespace

QByteArray serialize_journal(const QString& folder, const JournalEntries& entries) {
    QJsonObject pictures;
    for (const auto& [name, entry] : entries) {
        QJsonObject e;
        e.insert(QStringLiteral("comment"), entry.comment);
        e.insert(QStringLiteral("logged"), entry.logged);
        e.insert(QStringLiteral("size"), double(entry.size));
        // Nanoseconds since 1970 exceed a JSON number's 53 bits: kept as text.
        e.insert(QStringLiteral("mtime_ns"), QString::number(entry.mtime_ns));
        e.insert(QStringLiteral("changed_ms"), double(entry.changed_ms));
        pictures.insert(name, e);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), kFormat);
    root.insert(QStringLiteral("version"), kJournalVersion);
    root.insert(QStringLiteral("folder"), folder);
    root.insert(QStringLiteral("pictures"), pictures);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

JournalRead parse_journal(const QByteArray& bytes) {
    JournalRead read;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject root = document.object();
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        root.value(QStringLiteral("format")).toString() != kFormat || !version.isDouble() ||
        version.toDouble() < 1 || !root.value(QStringLiteral("pictures")).isObject()) {
        read.damaged = true;
        return read;
    }
    read.newer = version.toDouble() > kJournalVersion;
    const QJsonObject pictures = root.value(QStringLiteral("pictures")).toObject();
    for (auto it = pictures.begin(); it != pictures.end(); ++it) {
        const QJsonObject e = it.value().toObject();
        const QJsonValue comment = e.value(QStringLiteral("comment"));
        if (!it.value().isObject() || !comment.isString() || it.key().isEmpty()) {
            ++read.skipped;
            continue;
        }
        JournalEntry entry;
        entry.comment = comment.toString();
        entry.logged = e.value(QStringLiteral("logged")).toString();
        entry.size = qint64(e.value(QStringLiteral("size")).toDouble(-1));
        entry.mtime_ns = e.value(QStringLiteral("mtime_ns")).toString().toLongLong();
        entry.changed_ms = qint64(e.value(QStringLiteral("changed_ms")).toDouble(0));
        read.entries.emplace(it.key(), std::move(entry));
    }
    read.damaged = read.skipped > 0;
    return read;
}

JournalEntries merge_journals(const JournalEntries& ours, const JournalEntries& theirs) {
    JournalEntries merged = ours;
    for (const auto& [name, entry] : theirs) {
        auto [it, inserted] = merged.emplace(name, entry);
        if (!inserted && entry.changed_ms > it->second.changed_ms) it->second = entry;
    }
    return merged;
}

}  // namespace fotavi
