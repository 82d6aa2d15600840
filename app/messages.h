#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "photo_diary/diary.h"
#include "comments/comment_store.h"
#include "time_log/log_readback.h"
#include "time_log/time_log.h"

namespace fotavi {

// The Japanese sentences the commands show, made in one place from the plain
// results of the document, the store and the log.

// A store file that was not used, and what became of it.
QString store_issue_text(const StoreIssue& issue);
// What opening a folder's store found worth saying; empty when nothing.
QStringList store_load_notes(const StoreLoad& load);
// What reading time_log.txt back found worth saying; empty when nothing.
QString read_back_note(const ReadBack& back);
// Comments read longer than a comment may be, cut.
QString cut_comments_text(int count);
// A comment typed or pasted beyond the longest a comment may be.
QString comment_too_long_text(int left_out);
// A save that failed.
QString save_failure_text(const SaveReport& report);
// Texts typed here that another window replaced.
QString replaced_elsewhere_text(int count);
// The question before leaving while comments could not be stored.
QString unsaved_question(int count, const SaveReport* failure);
// List's confirmation, or nothing when there is nothing to say (confirm false).
QString log_written_text(const QString& disp_dir, const LogWrite& written, bool confirm);
// The photo diary's result: written into disp_dir, cancelled or failed.
QString diary_written_text(const QString& disp_dir, const DiaryWrite& written);
// The photo diary had nothing to show.
QString diary_without_entries_text();
// 小文字's result: failures holds "name: reason" lines.
QString lower_case_text(int count, const QStringList& failures);
// A store that could not follow the renames.
QString rename_store_text(const DbError& problem);
// The offer of the capture-time mode for a folder whose file times are a
// copy's; without: how many pictures hold no capture time.
QString capture_time_hint(int without);
// A clock correction could not be kept in the store.
QString clock_store_text(const DbError& problem);
// The picture names no camera, so there is no clock to correct.
QString no_camera_text(const QString& name);

}  // namespace fotavi
