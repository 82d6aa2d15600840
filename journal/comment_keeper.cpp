#include "journal/comment_keeper.h"

#include <QDateTime>

namespace fotavi {

CommentKeeper::CommentKeeper(QString state_dir, JournalStore::Writer writer)
    : store_(std::move(state_dir), std::move(writer)) {
    store_.set_on_report([this](const JournalStore::Report& report) { take(report); });
}

CommentKeeper::Restored CommentKeeper::restore(const QString& folder, ImageTable& table,
                                               const std::vector<ListedFile>& files) {
    const bool same_folder = folder == folder_;
    JournalLoad load = store_.load(folder);
    // Comments of this folder that a failed save left only in memory stay.
    entries_ = same_folder ? merge_journals(entries_, load.entries) : std::move(load.entries);
    folder_ = folder;
    files_.clear();
    for (const ListedFile& file : files) files_.insert(file.name, file);

    // A picture renamed outside the program: its entry is found by size and
    // modification time, where that is unambiguous on both sides.
    QHash<QPair<qint64, qint64>, QStringList> orphans;  // entries of names no longer in the folder
    for (const auto& [name, entry] : entries_)
        if (!files_.contains(name) && entry.size >= 0)
            orphans[{entry.size, entry.mtime_ns}] << name;
    QHash<QPair<qint64, qint64>, QStringList> unmatched;  // pictures without an entry
    for (const ListedFile& file : files)
        if (entries_.find(file.name) == entries_.end())
            unmatched[{file.size, file.mtime_ns}] << file.name;
    bool moved = false;
    for (auto it = unmatched.cbegin(); it != unmatched.cend(); ++it) {
        const QStringList& from = orphans.value(it.key());
        if (it.value().size() != 1 || from.size() != 1) continue;
        auto node = entries_.extract(from.first());
        node.key() = it.value().first();
        entries_.insert(std::move(node));
        moved = true;
    }

    for (int i = 0; i < table.img_count(); ++i) {
        const auto entry = entries_.find(table.img_name[size_t(i)]);
        table.img_comment[size_t(i)] = entry == entries_.end() ? QString() : entry->second.comment;
    }
    if (moved) save();
    return {load.found, load.notes};
}

void CommentKeeper::record(const QString& name, const QString& comment) {
    auto it = entries_.find(name);
    if (it == entries_.end()) {
        if (comment.isEmpty()) return;  // nothing to keep, nothing changed
        it = entries_.emplace(name, JournalEntry{}).first;
    } else if (it->second.comment == comment) {
        return;
    }
    JournalEntry& entry = it->second;
    entry.comment = comment;
    entry.changed_ms = QDateTime::currentMSecsSinceEpoch();
    if (const auto file = files_.constFind(name); file != files_.cend()) {
        entry.size = file->size;
        entry.mtime_ns = file->mtime_ns;
    }
    save();
}

void CommentKeeper::record_logged(const std::vector<std::pair<QString, QString>>& comments) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const auto& [name, comment] : comments) {
        JournalEntry& entry = entries_[name];
        entry.comment = comment;
        entry.logged = comment;
        entry.changed_ms = now;
        if (const auto file = files_.constFind(name); file != files_.cend()) {
            entry.size = file->size;
            entry.mtime_ns = file->mtime_ns;
        }
    }
    save();
}

void CommentKeeper::renamed(const QString& old_name, const QString& new_name) {
    if (const auto file = files_.constFind(old_name); file != files_.cend()) {
        ListedFile moved = *file;
        moved.name = new_name;
        files_.remove(old_name);
        files_.insert(new_name, moved);
    }
    auto node = entries_.extract(old_name);
    if (node.empty()) return;
    node.key() = new_name;
    node.mapped().changed_ms = QDateTime::currentMSecsSinceEpoch();
    entries_.insert_or_assign(new_name, std::move(node.mapped()));
    save();
}

void CommentKeeper::mark_logged(const ImageTable& table) {
    bool changed = false;
    for (int i = 0; i < table.img_count(); ++i) {
        const QString& comment = table.img_comment[size_t(i)];
        auto it = entries_.find(table.img_name[size_t(i)]);
        if (it == entries_.end() || it->second.logged == comment) continue;
        it->second.logged = comment;
        changed = true;
    }
    if (changed) save();
}

QString CommentKeeper::logged(const QString& name) const {
    const auto it = entries_.find(name);
    return it == entries_.end() ? QString() : it->second.logged;
}

void CommentKeeper::flush() { store_.wait_idle(); }

void CommentKeeper::save() { store_.save(folder_, entries_); }

void CommentKeeper::take(const JournalStore::Report& report) {
    if (!report.problem.isEmpty()) {
        if (!problem_shown_ && on_problem) on_problem(report.problem);
        problem_shown_ = true;
        return;
    }
    problem_shown_ = false;
    if (report.folder != folder_) return;
    // Comments another instance saved meanwhile, for pictures this one has
    // not changed since.
    for (const auto& [name, theirs] : report.merged) {
        auto it = entries_.find(name);
        if (it != entries_.end() && it->second.changed_ms >= theirs.changed_ms) continue;
        entries_.insert_or_assign(name, theirs);
        if (files_.contains(name) && on_changed_elsewhere)
            on_changed_elsewhere(name, theirs.comment);
    }
}

}  // namespace fotavi
