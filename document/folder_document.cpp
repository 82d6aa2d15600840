#include "document/folder_document.h"

#include <QFile>

#include <algorithm>

#include "time_log/old_log.h"

namespace fotavi {

FolderDocument::FolderDocument(CommentStore& store) : store_(store) {
    // Not restarted by each key: what is typed reaches the store about a
    // second after the first key, and again each second while typing goes on.
    typing_.setSingleShot(true);
    typing_.setInterval(1000);
    typing_.callOnTimeout(this, [this] { save(); });
    locked_retry_.setInterval(2000);
    locked_retry_.callOnTimeout(this, [this] { refresh(); });
}

void FolderDocument::open(const QString& folder, const std::vector<ListedFile>& files,
                          const StoreLoad& load, const QString& shown) {
    // Opening the same folder again (a new scan) keeps what only memory
    // holds: comments a failed save could not store.
    QHash<QString, std::pair<QString, State>> unsaved;
    if (folder == folder_) {
        for (int i = 0; i < count(); ++i)
            if (dirty(i)) unsaved.insert(name(i), {comment(i), state_[size_t(i)]});
    }
    typing_.stop();
    folder_ = folder;
    cut_ = 0;
    table_.clear();
    state_.clear();
    for (size_t at : table_order(files)) {
        const ListedFile& file = files[at];
        State state{file, {}, {}, {}, {}};
        QString text;
        if (at < load.rows.size() && load.rows[at]) {
            // A text cut here counts as stored: the store keeps it whole, and
            // should it be edited, the whole text goes to the history.
            text = state.stored = cut(load.rows[at]->comment);
            state.logged = state.stored_logged = cut(load.rows[at]->logged);
        }
        if (const auto kept = unsaved.constFind(file.name); kept != unsaved.cend()) {
            text = kept->first;
            state.logged = kept->second.logged;
        }
        table_.names.push_back(file.name);
        table_.dates.push_back(file.date);
        table_.comments.push_back(text);
        state_.push_back(std::move(state));
    }
    index_names();
    table_.shown = std::max(0, index_of(shown));
    emit pictures_changed();
    if (!unsaved.isEmpty()) save();
    locked_retry_.stop();
    for (const StoreIssue& issue : load.issues)
        if (issue.problem.kind == DbError::Kind::Locked) locked_retry_.start();
}

void FolderDocument::take_read_back(const ReadBack& back) {
    cut_ = 0;
    for (size_t i = 0; i < back.comments.size() && i < state_.size(); ++i) {
        if (back.comments[i].isEmpty()) continue;
        // Cut, the log holds more than the comment: List keeps it aside whole.
        table_.comments[i] = state_[i].logged = cut(back.comments[i]);
    }
    emit pictures_changed();
    save();
    store_.remember_read_back(folder_);
}

void FolderDocument::take_comments(const std::vector<std::pair<int, QString>>& comments) {
    for (const auto& [i, text] : comments) {
        if (i < 0 || i >= count()) continue;
        table_.comments[size_t(i)] = text.left(kCommentLimit);
        emit comment_changed(i);
    }
    save();
}

void FolderDocument::show(int index) {
    if (index < 0 || index >= count() || index == shown()) return;
    table_.shown = index;
    emit shown_changed(index);
}

void FolderDocument::edit_shown(const QString& text) {
    if (count() == 0 || text == comment(shown())) return;
    table_.comments[size_t(shown())] = text.left(kCommentLimit);
    emit comment_changed(shown());
    if (!typing_.isActive()) typing_.start();
}

// Whether picture i differs from what the store will hold once the saves on
// their way are done.
bool FolderDocument::dirty(int i) const {
    const State& s = state_[size_t(i)];
    const std::pair<QString, QString> expected =
        s.sending.value_or(std::pair(s.stored, s.stored_logged));
    return comment(i) != expected.first || s.logged != expected.second;
}

void FolderDocument::save() {
    typing_.stop();
    if (renaming_ || folder_.isEmpty()) return;
    std::vector<CommentChange> changes;
    for (int i = 0; i < count(); ++i) {
        if (!dirty(i)) continue;
        State& s = state_[size_t(i)];
        const QString base = s.sending ? s.sending->first : s.stored;
        s.sending = std::pair(comment(i), s.logged);
        changes.push_back({name(i), s.file.size, s.file.mtime_ns, comment(i), s.logged, base});
    }
    if (!changes.empty()) await(store_.save(folder_, std::move(changes)));
}

void FolderDocument::flush() {
    store_.wait_idle();
    take_answers();
}

// The store's worker fulfils each answer; a waiter hands the news to the
// window's thread through the mailbox, in the order they were asked for.
template <typename Report>
void FolderDocument::await(std::future<Report> answer) {
    std::shared_future<Report> shared = answer.share();
    answers_.emplace_back(shared);
    answer_waiter_.post([this, shared] {
        shared.wait();
        answered_.post([this] { take_answers(); });
    });
}

void FolderDocument::take_answers() {
    const auto is_ready = [](const auto& future) {
        return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    while (!answers_.empty() && std::visit(is_ready, answers_.front())) {
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        // What an answer makes the document do may ask the store again.
        if (auto* save = std::get_if<std::shared_future<SaveReport>>(&answer))
            saved(save->get());
        else
            refreshed(std::get<std::shared_future<RefreshReport>>(answer).get());
    }
}

int FolderDocument::unsaved() const {
    int n = 0;
    for (int i = 0; i < count(); ++i)
        if (comment(i) != state_[size_t(i)].stored) ++n;
    return n;
}

bool FolderDocument::saving() const {
    return std::any_of(state_.begin(), state_.end(), [](const State& s) { return s.sending; });
}

void FolderDocument::saved(const SaveReport& report) {
    if (report.folder != folder_) return;
    for (const CommentChange& change : report.changes) {
        const int i = index_of(change.name);
        if (i < 0) continue;
        State& s = state_[size_t(i)];
        if (s.sending == std::pair(change.comment, change.logged)) s.sending.reset();
        if (report.problem) continue;
        s.stored = change.comment;
        s.stored_logged = change.logged;
    }
    if (report.set_aside) emit store_set_aside(*report.set_aside);
    if (report.problem) {
        const bool said = last_failure_.has_value();
        last_failure_ = report;
        if (!said) emit save_failed(report);
        return;
    }
    last_failure_.reset();
    emit stored(report);
    if (report.lost) {
        // The store was removed under us: it gets everything again.
        for (State& s : state_) s.stored = s.stored_logged = QString();
        save();
    }
}

void FolderDocument::refresh() {
    if (!folder_.isEmpty() && count() > 0) await(store_.refresh(folder_));
}

// Comments another window stored are taken for pictures untouched here; a
// picture typed on here keeps its text, which will replace theirs when
// stored (theirs goes to the history).
void FolderDocument::refreshed(const RefreshReport& report) {
    if (report.folder != folder_) return;
    for (const StoredComment& row : report.rows) {
        const int i = index_of(QFile::decodeName(row.name));
        if (i < 0 || dirty(i) || state_[size_t(i)].sending) continue;  // typed on here
        State& s = state_[size_t(i)];
        s.stored = row.comment;
        s.logged = s.stored_logged = row.logged;
        if (comment(i) == row.comment) continue;
        table_.comments[size_t(i)] = row.comment;
        emit comment_changed(i);
    }
    if (report.replaced_mine > 0) emit replaced_elsewhere(report.replaced_mine);
    if (report.unlocked) {
        locked_retry_.stop();
        emit store_unlocked(report.issues);
        save();  // what was typed meanwhile; the store's own text goes to its history
    }
}

bool FolderDocument::log_is_current() const {
    for (int i = 0; i < count(); ++i)
        if (comment(i) != state_[size_t(i)].logged) return false;
    return true;
}

// Copies share their texts with the document, so taking one costs little.
FolderDocument::LogSnapshot FolderDocument::log_snapshot() const {
    LogSnapshot snapshot{table_, {}};
    snapshot.logged.reserve(state_.size());
    for (const State& s : state_) snapshot.logged.push_back(s.logged);
    return snapshot;
}

std::vector<LogEntry> FolderDocument::LogSnapshot::entries() const { return log_entries(table); }

std::vector<LogEntry> FolderDocument::LogSnapshot::logged_entries() const {
    return fotavi::logged_entries(table, logged);
}

void FolderDocument::mark_logged(const LogSnapshot& snapshot) {
    for (int i = 0; i < count() && i < snapshot.table.count(); ++i) {
        if (name(i) == snapshot.table.names[size_t(i)])
            state_[size_t(i)].logged = snapshot.table.comments[size_t(i)];
    }
    save();
}

std::vector<std::pair<QString, QString>> FolderDocument::begin_lower_case() {
    save();  // stored under the old names first
    renaming_ = true;
    std::vector<std::pair<QString, QString>> pairs;
    pairs.reserve(size_t(count()));
    for (int i = 0; i < count(); ++i) pairs.emplace_back(name(i), name(i).toLower());
    return pairs;
}

void FolderDocument::finish_renames(const std::vector<std::pair<QString, QString>>& pairs,
                                    const RenameReport& report) {
    for (size_t k = 0; k < pairs.size() && k < report.errors.size(); ++k) {
        if (report.errors[k] != 0) continue;
        const int i = index_of(pairs[k].first);
        if (i < 0) continue;
        table_.names[size_t(i)] = state_[size_t(i)].file.name = pairs[k].second;
        // The store kept the old names: the comments go in under the new ones.
        if (report.problem) state_[size_t(i)].stored = state_[size_t(i)].stored_logged = QString();
    }
    renaming_ = false;
    index_names();
    emit pictures_changed();
    save();
}

void FolderDocument::clear_comments() {
    typing_.stop();
    for (int i = 0; i < count(); ++i) {
        table_.comments[size_t(i)].clear();
        state_[size_t(i)] = State{state_[size_t(i)].file, {}, {}, {}, {}};
    }
    emit pictures_changed();
}

QString FolderDocument::cut(const QString& text) {
    if (text.size() <= kCommentLimit) return text;
    ++cut_;
    return text.left(kCommentLimit);
}

void FolderDocument::index_names() {
    by_name_.clear();
    by_name_.reserve(count());
    for (int i = 0; i < count(); ++i) by_name_.insert(name(i), i);
}

}  // namespace fotavi
