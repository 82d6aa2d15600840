#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "browse/image_table.h"
#include "journal/journal_store.h"
#include "platform/files.h"

namespace fotavi {

// The comments of the open folder as they are kept on disk. After a scan it
// gives the journal's comments back to the pictures; every comment stored or
// typed is recorded and saved in the background; renames are followed; and
// it remembers what time_log.txt holds for each picture.
class CommentKeeper {
public:
    // state_dir: where journals of picture folders that cannot be written go.
    explicit CommentKeeper(QString state_dir, JournalStore::Writer writer = {});

    struct Restored {
        bool found = false;  // the folder had a journal
        QStringList notes;   // files kept aside, entries not read back: for one message
    };
    // Gives the comments of folder's journal to the table just scanned from
    // files: by file name, else by size and modification time where exactly
    // one picture and one journal entry of a name no longer in the folder match
    // (a picture renamed outside the program). A folder without a journal
    // gets the comments of its time_log.txt, if it has one.
    Restored restore(const QString& folder, ImageTable& table,
                     const std::vector<ListedFile>& files);

    // The comment of picture name as it stands now (stored into the table,
    // or typed): kept, and saved in the background when it changed.
    void record(const QString& name, const QString& comment);
    // Pictures renamed by the program (old name, new name); saved at once.
    void renamed(const std::vector<std::pair<QString, QString>>& renames);
    // time_log.txt was just written from the table.
    void mark_logged(const ImageTable& table);
    // The comment of name as time_log.txt holds it; empty when none.
    QString logged(const QString& name) const;
    // Blocks until every comment recorded so far is saved or has failed.
    void flush();

    // A saving problem to show once; called again only after a save succeeded since.
    std::function<void(const QString& problem)> on_problem;
    // Another instance changed the comment of a picture of this folder.
    std::function<void(const QString& name, const QString& comment)> on_changed_elsewhere;

    // For each table index, the comment as time_log.txt holds it.
    std::vector<QString> logged(const ImageTable& table) const;

private:
    bool read_back(const ImageTable& table, Restored& restored);
    void save();
    void take(const JournalStore::Report& report);

    JournalStore store_;
    QString folder_;
    JournalEntries entries_;
    QHash<QString, ListedFile> files_;  // the pictures of the folder, by name
    bool problem_shown_ = false;
    bool unsaved_ = false;  // the last save failed: the next store tries again
};

}  // namespace fotavi
