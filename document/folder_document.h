#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <future>
#include <optional>
#include <variant>
#include <vector>

#include "comments/comment_store.h"
#include "pictures/image_table.h"
#include "platform/worker.h"
#include "time_log/log_readback.h"
#include "time_log/time_log.h"

namespace fotavi {

// The longest comment, in characters: a comment box still answers at once
// with this much text on one line; ten times more and each key takes a second.
inline constexpr qsizetype kCommentLimit = 65536;

// The open picture folder as a document: its pictures in date-time order,
// the one shown, and each picture's comment, whose one home this is. The
// comment box edits it; every command asks it; it keeps the comments in the
// store (in the background, within about a second of typing) and knows
// whether time_log.txt holds what they say. Without widgets: the commands
// turn what it reports into messages.
class FolderDocument : public QObject {
    Q_OBJECT
public:
    explicit FolderDocument(CommentStore& store);

    // --- The folder and its pictures
    const QString& folder() const { return folder_; }
    const ImageTable& table() const { return table_; }
    int count() const { return table_.count(); }
    int shown() const { return table_.shown; }
    const QString& name(int i) const { return table_.names[size_t(i)]; }
    DateTime date(int i) const { return table_.dates[size_t(i)]; }
    const QString& comment(int i) const { return table_.comments[size_t(i)]; }
    // The index of the picture named name, or -1.
    int index_of(const QString& name) const { return by_name_.value(name, -1); }
    // The pictures that hold no capture time while the capture-time mode is
    // on (they keep their file time), by name in lower case, so a rename to
    // lower case keeps the mark; set before open.
    void set_without_capture_time(QSet<QString> lower_case_names) {
        without_capture_time_ = std::move(lower_case_names);
    }
    bool without_capture_time(int i) const {
        return without_capture_time_.contains(name(i).toLower());
    }

    // Makes folder's pictures (files, in listing order) the document's, in
    // date-time order (equal ones in listing order), with the comments the
    // store read for them; shows the one named shown, else the first.
    void open(const QString& folder, const std::vector<ListedFile>& files, const StoreLoad& load,
              const QString& shown = {});
    // Comments read back from time_log.txt (one per picture, in table
    // order), for a folder whose store held none: taken as comments and as
    // what the log holds, and stored.
    void take_read_back(const ReadBack& back);
    // Comments found for pictures (index, text), taken as if typed, and stored.
    void take_comments(const std::vector<std::pair<int, QString>>& comments);
    // Moves to picture index.
    void show(int index);
    // How many comments the last open or read-back cut at kCommentLimit; the
    // whole texts stay where they were read from.
    int cut_comments() const { return cut_; }

    // --- Comments
    // The comment box of the picture shown holds text now.
    void edit_shown(const QString& text);
    // Stores every comment not stored yet, in the background.
    void save();
    // Blocks until every save asked for has been answered, and takes the answers.
    void flush();
    // How many pictures' comments are not in the store (a save failed).
    int unsaved() const;
    // Whether saves are on their way.
    bool saving() const;
    // The last save that failed, while one has failed since the last success.
    const std::optional<SaveReport>& last_failure() const { return last_failure_; }
    // Looks for comments other windows stored; comment_changed follows. While
    // the folder's store is held by another program, it is looked for every
    // interval (for tests to set).
    void refresh();
    void set_locked_retry_interval(int milliseconds) { locked_retry_.setInterval(milliseconds); }

    // --- time_log.txt
    // Whether time_log.txt holds what the comments say.
    bool log_is_current() const;
    // What List needs, as plain values that a worker can turn into entries:
    // the table, and for each picture what time_log.txt holds for it.
    struct LogSnapshot {
        ImageTable table;
        std::vector<QString> logged;
        // The entries List writes, and those time_log.txt held as last known.
        std::vector<LogEntry> entries() const;
        std::vector<LogEntry> logged_entries() const;
    };
    LogSnapshot log_snapshot() const;
    // time_log.txt was just written from snapshot.
    void mark_logged(const LogSnapshot& snapshot);

    // --- Renaming
    // Every picture's name and its lower-case form; saving waits until
    // finish_renames.
    std::vector<std::pair<QString, QString>> begin_lower_case();
    // Takes the names that were given (errors: per pair, 0 where renamed).
    void finish_renames(const std::vector<std::pair<QString, QString>>& pairs,
                        const RenameReport& report);
    // Every comment gone: the folder starts a new diary.
    void clear_comments();

signals:
    // The comment of picture index changed: typed here, or stored by another window.
    void comment_changed(int index);
    // The pictures were listed anew or renamed.
    void pictures_changed();
    // Another picture is shown (not said when the pictures are listed anew).
    void shown_changed(int index);
    // A save failed (said once until one succeeds again).
    void save_failed(const SaveReport& report);
    // A save succeeded: report's changes are in the store.
    void stored(const SaveReport& report);
    // Another window replaced texts typed here; they are in the store's history.
    void replaced_elsewhere(int count);
    // The folder's store could not go on and was set aside; a new one has
    // every comment.
    void store_set_aside(const fotavi::StoreIssue& issue);
    // The folder's store, held by another program at the opening, is free and
    // its comments are in; issues: what was wrong with it.
    void store_unlocked(const std::vector<fotavi::StoreIssue>& issues);

private:
    // What the document knows of a picture besides the table's columns.
    struct State {
        ListedFile file;
        QString logged;         // what time_log.txt holds for it
        QString stored;         // the comment as the store holds it, last known
        QString stored_logged;  // the logged text as the store holds it
        // The comment and logged text of a save on its way.
        std::optional<std::pair<QString, QString>> sending;
    };
    bool dirty(int i) const;
    template <typename Report>
    void await(std::future<Report> answer);
    // Takes the store's answers that are in, in the order they were asked for.
    void take_answers();
    void saved(const SaveReport& report);
    void refreshed(const RefreshReport& report);
    void index_names();
    // text, or its first kCommentLimit characters, counted in cut_.
    QString cut(const QString& text);

    CommentStore& store_;
    QString folder_;
    ImageTable table_;
    std::vector<State> state_;  // parallel to the table
    QHash<QString, int> by_name_;
    QSet<QString> without_capture_time_;
    QTimer typing_;
    QTimer locked_retry_;
    // The store's answers on their way, in the order they were asked for.
    std::deque<std::variant<std::shared_future<SaveReport>, std::shared_future<RefreshReport>>>
        answers_;
    Mailbox answered_;       // the news that an answer is in (before the waiter)
    Worker answer_waiter_;  // waits for each answer in turn, never the window
    int cut_ = 0;
    bool renaming_ = false;                   // saving waits for the renames
    std::optional<SaveReport> last_failure_;  // said once; not again until a save succeeds
};

}  // namespace fotavi
