#pragma once

#include <QString>

#include <vector>

#include "comments/comment_store.h"
#include "comments/store_place.h"

namespace fotavi {

// The key of the photo diary's title in a store's meta table.
inline constexpr char kDiaryTitleKey[] = "diary title";

// What a folder's stores hold, read without writing anything: no file made,
// set aside, merged or brought up to date. The copy in the state folder wins
// over the store beside the pictures, as when the window opens the folder.
struct StoreReading {
    StoreLoad load;
    QString diary_title;  // as last written in the photo diary's dialog; empty if none
};
StoreReading read_store(const QString& folder, const QString& state_dir,
                        const std::vector<ListedFile>& files, const CaptureReader& capture);

// A store that only reads: a folder opened by a command that must leave the
// store as it found it (the diary written from the command line while a
// window may have the folder open). Every change asked of it is dropped.
class ReadOnlyCommentStore : public CommentStore {
public:
    ReadOnlyCommentStore(QString state_dir, CaptureReader capture);

    std::future<StoreLoad> load(const QString& folder, std::vector<ListedFile> files) override;
    // Nothing is stored: the report names no change.
    std::future<SaveReport> save(const QString& folder,
                                 std::vector<CommentChange> changes) override;
    std::future<RefreshReport> refresh(const QString& folder) override;
    std::future<DbError> rename_rows(const QString& folder,
                                     std::vector<std::pair<QString, QString>> renamed) override;
    std::future<DbError> change_clock_correction(const QString& folder, ClockCorrection correction,
                                                 bool remove) override;
    void remember_read_back(const QString&) override {}
    std::future<std::vector<StoreIssue>> start_afresh(const QString& folder) override;
    std::future<void> settled() override;
    void wait_idle() override {}
    // The title the last load found.
    std::future<QString> diary_title(const QString& folder) override;

private:
    const QString state_dir_;
    const CaptureReader capture_;
    QString diary_title_;
};

}  // namespace fotavi
