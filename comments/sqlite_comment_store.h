#pragma once

#include <atomic>

#include "comments/comment_store.h"
#include "comments/store_place.h"
#include "platform/worker.h"

namespace fotavi {

// The comment store in SQLite files: one beside the pictures, or in the
// state folder when the folder cannot be written. Everything that touches a
// file runs on one worker, in the order it was asked for.
class SqliteCommentStore : public CommentStore {
public:
    // state_dir: where copies of folders that cannot be written go.
    // capture: reads a picture's EXIF capture time, on the worker.
    // before_commit: called on the worker before each save's transaction (a
    // benchmark slows the disk down with it).
    SqliteCommentStore(QString state_dir, CaptureReader capture,
                       std::function<void()> before_commit = {});
    ~SqliteCommentStore() override;

    std::future<StoreLoad> load(const QString& folder, std::vector<ListedFile> files) override;
    std::future<SaveReport> save(const QString& folder,
                                 std::vector<CommentChange> changes) override;
    std::future<RefreshReport> refresh(const QString& folder) override;
    std::future<DbError> rename_rows(const QString& folder,
                                     std::vector<std::pair<QString, QString>> renamed) override;
    std::future<DbError> change_clock_correction(const QString& folder, ClockCorrection correction,
                                                 bool remove) override;
    void remember_read_back(const QString& folder) override;
    void remember_captions_offered(const QString& folder) override;
    std::future<std::vector<StoreIssue>> start_afresh(const QString& folder) override;
    std::future<void> settled() override;
    void hurry() override { stopping_ = true; }
    void wait_idle() override;
    std::future<QString> diary_title(const QString& folder) override;
    void keep_diary_title(const QString& folder, const QString& title) override;

private:
    SaveReport store(const QString& folder, quint64 ticket, std::vector<CommentChange> changes);
    RefreshReport look_for_changes(const QString& folder);
    DbError rename_on_worker(const QString& folder,
                             const std::vector<std::pair<QString, QString>>& renamed);
    std::vector<StoreIssue> retire(const QString& folder);

    const QString state_dir_;
    const CaptureReader capture_;
    const std::function<void()> before_commit_;
    // Set when the store is going: the statement running stops at once.
    std::atomic<bool> stopping_{false};
    StorePlace place_;  // the worker's only
    quint64 next_ticket_ = 0;
    Worker worker_;  // last: it goes first, finishing the saves still waiting
};

}  // namespace fotavi
