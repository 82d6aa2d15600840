#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "exchange/export_pictures.h"
#include "exchange/sidecars.h"
#include "comments/comment_store.h"
#include "photo_diary/diary.h"
#include "time_log/log_readback.h"
#include "time_log/time_log.h"

namespace fotavi {

// The Japanese sentences the commands show, made in one place from the plain
// results of the document, the store and the log.

// A store file that was not used, and what became of it.
QString store_issue_text(const StoreIssue& issue);
// The folder's store, held by another program at the opening, is read now.
QString store_unlocked_text(const QString& folder);
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
// Why a file was not written (empty when it was).
QString write_problem_text(const WriteProblem& problem);
// The folder could not be made the current one, or not be listed (error: the errno).
QString folder_not_opened_text(const QString& folder, int error);
QString folder_not_listed_text(const QString& folder, int error);
// Why List wrote no time_log.txt into folder.
QString log_failure_text(const QString& folder, const LogWrite& written);
// List's confirmation, or nothing when there is nothing to say (confirm false).
QString log_written_text(const QString& folder, const LogWrite& written, bool confirm);
// The photo diary's result: written into folder, cancelled or failed.
QString diary_written_text(const QString& folder, const DiaryWrite& written);
// The photo diary had nothing to show.
QString diary_without_entries_text();
// The reason the photo diary shows for a picture it has no JPEG data of.
QString diary_picture_reason(const DiaryPicture& picture);
// 小文字's result: for each pair (old name, new name), the errno of why it
// keeps its old name, 0 when renamed.
QString lower_case_text(const std::vector<std::pair<QString, QString>>& pairs,
                        const std::vector<int>& errors);
// A store that could not follow the renames.
QString rename_store_text(const DbError& problem);
// A rename note left as it was, or a picture left under its temporary name.
QString unfinished_rename_text(const UnfinishedRename& left);
// The offer of the capture-time mode for a folder whose file times are a
// copy's; without: how many pictures hold no capture time.
QString capture_time_hint(int without);
// A clock correction could not be kept in the store.
QString clock_store_text(const DbError& problem);
// The picture names no camera, so there is no clock to correct.
QString no_camera_text(const QString& name);

// The titles of the boxes, and the version box's text: name, empty line,
// version, author notice, joined by CR LF.
QString message_title();
QString version_title();
QString version_text();

// What the progress box says while the window waits (count: of what is done).
QString saving_comments_label();
QString reading_folder_label();
QString reading_capture_times_label(int count);
QString reading_comments_label();
QString reading_log_label();
QString writing_log_label();
QString lower_case_label(int count);
QString writing_diary_label(int count);
QString finding_captions_label();
QString checking_camera_label();
QString saving_clock_label();
QString tidying_comments_label();

// A command that needs pictures, with none shown.
QString needs_pictures_text();
// There is no picture before the first or after the last.
QString no_earlier_picture_text();
QString no_later_picture_text();
// Registered phrases hold lost characters Shift JIS cannot write.
QString unwritable_phrases_text(int lost);
// The command line named neither a picture nor a folder.
QString ignored_argument_text(const QString& argument);
// Rename notes left in the folder, one line each (unfinished_rename_text).
QString unfinished_renames_text(const QStringList& lines);
// The folder holds no pictures.
QString nothing_found_text();
// count pictures whose names are not UTF-8, left out.
QString undecodable_names_text(int count);
// Starting the diary afresh: refused (error: the errno), the question, what
// became of each store file and of time_log.txt, and the result.
QString start_afresh_refused_text(const QString& folder, int error);
QString start_afresh_question();
QString store_kept_aside_note(const StoreIssue& file);
QString log_kept_aside_note(const QString& name);
QString log_not_kept_note(int error);
QString started_afresh_text();

// The large-screen mode's status line: 「12 / 60 枚目　コメント 55 / 60」.
QString position_text(int shown, int count, int commented);

// The command line (one line each, for standard error).
QString help_text();
QString unknown_option_text(const QString& name);
QString option_without_value_text(const QString& option);
QString wrong_option_value_text(const QString& option, const QString& value,
                                const QString& allowed);
QString extra_argument_text(const QString& argument);
QString diary_option_alone_text(const QString& option);
QString not_a_folder_text(const QString& argument);
QString folder_unreadable_text(const QString& folder, int error);
QString no_pictures_text();
QString no_form_text();
// How --export-pictures is given, when it is given otherwise.
QString export_usage_text();
// What a diary written without a window says on standard output: the paths written.
QString diary_written_lines(const DiaryWrite& written);
// Pictures exported with their comments: what was written into destination,
// what was left, what failed, or why nothing was.
QString export_report_text(const QString& destination, const ExportReport& report);
// The question before exporting over files of the same names.
QString export_existing_question(const QStringList& names);
// The question whether pictures without a comment go too.
QString export_all_question();
// No picture has a comment: nothing to export.
QString export_nothing_text();
// The progress of an export of count pictures.
QString export_progress_text(int count);
// A sidecar that could not be written.
QString sidecar_failure_text(const SidecarWrite& failure);
// The sidecar setting could not be kept for the next start.
QString sidecar_setting_text(int error);
// The question whether count captions found in the pictures are taken in.
QString captions_found_question(int count);

}  // namespace fotavi
