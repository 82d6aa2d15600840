#include "journal/comment_keeper.h"

#include <QDateTime>

#include "log/log_readback.h"

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

    Restored restored{load.found, load.notes};
    if (!load.found && read_back(table, restored)) moved = true;

    for (int i = 0; i < table.img_count(); ++i) {
        const auto entry = entries_.find(table.img_name[size_t(i)]);
        table.img_comment[size_t(i)] = entry == entries_.end() ? QString() : entry->second.comment;
    }
    if (moved) save();
    return restored;
}

// A folder without a journal whose time_log.txt was written before (by an
// earlier version, by hand, by another program) gets its comments from there.
bool CommentKeeper::read_back(const ImageTable& table, Restored& restored) {
    const ReadBack back = read_back_log(folder_, table);
    if (!back.found) return false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < int(back.comments.size()); ++i) {
        if (back.comments[size_t(i)].isEmpty()) continue;
        const QString& name = table.img_name[size_t(i)];
        JournalEntry& entry = entries_[name];
        entry.comment = entry.logged = back.comments[size_t(i)];
        entry.changed_ms = now;
        if (const auto file = files_.constFind(name); file != files_.cend()) {
            entry.size = file->size;
            entry.mtime_ns = file->mtime_ns;
        }
    }
    if (back.unplaced > 0 || back.damaged) {
        QString note =
            QStringLiteral("time_log.txt から %1 個のコメントを読み戻しました。").arg(back.placed);
        if (back.unplaced > 0)
            note += QStringLiteral(
                        "\n%1 個の記録は、同じ日時の画像がないか、同じ分の画像と数が合わないため、"
                        "どの画像にも付けませんでした。")
                        .arg(back.unplaced);
        if (back.damaged)
            note += QStringLiteral("\ntime_log.txt には読み取れない部分がありました。");
        note += QStringLiteral(
            "\nリスト(L) で書き直すときは、元の time_log.txt を別の名前で残します。");
        restored.notes << note;
    }
    return true;  // saved even when nothing was placed, so this is said once
}

void CommentKeeper::record(const QString& name, const QString& comment) {
    auto it = entries_.find(name);
    const bool unchanged = it == entries_.end() ? comment.isEmpty() : it->second.comment == comment;
    if (unchanged) {
        if (unsaved_) save();  // what a failed save left in memory
        return;
    }
    if (it == entries_.end()) it = entries_.emplace(name, JournalEntry{}).first;
    JournalEntry& entry = it->second;
    entry.comment = comment;
    entry.changed_ms = QDateTime::currentMSecsSinceEpoch();
    if (const auto file = files_.constFind(name); file != files_.cend()) {
        entry.size = file->size;
        entry.mtime_ns = file->mtime_ns;
    }
    save();
}

void CommentKeeper::renamed(const std::vector<std::pair<QString, QString>>& renames) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool changed = false;
    for (const auto& [old_name, new_name] : renames) {
        if (const auto file = files_.constFind(old_name); file != files_.cend()) {
            ListedFile moved = *file;
            moved.name = new_name;
            files_.remove(old_name);
            files_.insert(new_name, moved);
        }
        auto node = entries_.extract(old_name);
        if (node.empty()) continue;
        node.mapped().changed_ms = now;
        entries_.insert_or_assign(new_name, std::move(node.mapped()));
        changed = true;
    }
    if (changed) save();
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

std::vector<QString> CommentKeeper::logged(const ImageTable& table) const {
    std::vector<QString> result;
    result.reserve(table.img_name.size());
    for (const QString& name : table.img_name) result.push_back(logged(name));
    return result;
}

void CommentKeeper::flush() { store_.wait_idle(); }

void CommentKeeper::save() { store_.save(folder_, entries_); }

void CommentKeeper::take(const JournalStore::Report& report) {
    unsaved_ = !report.problem.isEmpty();
    if (unsaved_) {
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
