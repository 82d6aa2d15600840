#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "journal/comment_journal.h"

namespace fotavi {

// Where a picture folder's journal goes in the state folder: a name made of
// the folder's name and a hash of its whole path.
QString fallback_journal_path(const QString& state_dir, const QString& folder);

struct JournalLoad {
    JournalEntries entries;
    bool found = false;  // a journal was read (possibly only in part)
    QStringList notes;   // what was kept aside and why, for one message
};

// Reads and writes the journals of picture folders. A write runs on a
// background thread, so a slow card never holds up the window: it merges
// with what another instance may have written meanwhile, goes to the state
// folder when the picture folder cannot be written, and replaces the file
// atomically, so a journal is never cut or empty.
class JournalStore {
public:
    // Writes bytes to path atomically; an error text (empty on success) and
    // the errno behind it. The real one is write_file_atomically.
    using Writer = std::function<QString(const QString& path, const QByteArray& bytes, int* error)>;

    // What became of a background write, delivered on the owner's thread.
    struct Report {
        QString folder;
        JournalEntries merged;  // as written, with what another instance added
        QString problem;        // empty when the journal is safely on disk
    };

    explicit JournalStore(QString state_dir, Writer writer = {});
    ~JournalStore();
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;

    // The journal of folder: the one beside the pictures and the one in the
    // state folder, merged. Anything at those names that is not a journal of
    // ours (damaged, too large, a folder, a link, a newer format) is renamed
    // aside, never deleted or overwritten, and named in notes.
    JournalLoad load(const QString& folder);
    // Writes entries as folder's journal in the background; a later save
    // replaces one still waiting.
    void save(const QString& folder, JournalEntries entries);
    // Blocks until every save has been written or has failed, then delivers
    // the reports.
    void wait_idle();
    // Receives every report, on the thread that made the store.
    void set_on_report(std::function<void(const Report&)> on_report);

private:
    QString path_for(const QString& folder) const;
    void work();
    Report write(const QString& folder, const JournalEntries& entries);
    void deliver();

    const QString state_dir_;
    const Writer writer_;
    std::function<void(const Report&)> on_report_;
    QObject receiver_;  // lives on the owner's thread; reports are queued to it

    // std threads rather than Qt's, so ThreadSanitizer sees every lock.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::pair<QString, JournalEntries>> pending_;
    std::deque<Report> reports_;
    QSet<QString> unwritable_;  // folders whose journal lives in the state folder
    bool busy_ = false;         // the worker has taken a save from pending_
    bool stopping_ = false;
    std::thread worker_;  // last: it starts once everything above is there
};

}  // namespace fotavi
