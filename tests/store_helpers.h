#pragma once

#include <QTemporaryDir>

#include <sqlite3.h>

#include "album.h"
#include "app/commands.h"
#include "comments/sqlite_comment_store.h"

namespace fotavi {

// The comment store of one window, on a state folder of its own unless shared.
struct Window {
    QTemporaryDir own;
    SqliteCommentStore store;

    explicit Window(const QString& state = {})
        : store(state.isEmpty() ? own.path() : state, capture_seconds) {}
    StoreLoad load(const QString& folder) {
        return store.load(folder, list_pictures(folder).files).get();
    }
    // Comments by name, given as "name=comment"; each made from base.
    SaveReport save(const QString& folder, const QStringList& pairs, const QString& base = {}) {
        std::vector<CommentChange> changes;
        const FolderListing listing = list_pictures(folder);
        for (const QString& pair : pairs) {
            CommentChange c{pair.section('=', 0, 0), -1, 0, pair.section('=', 1), {}, base};
            for (const ListedFile& f : listing.files)
                if (f.name == c.name) std::tie(c.size, c.mtime_ns) = std::pair(f.size, f.mtime_ns);
            changes.push_back(c);
        }
        return store.save(folder, changes).get();
    }
};

// "name=comment" of each listed picture that has a row, in listing order.
inline QStringList comments_of(const QString& folder, const StoreLoad& load) {
    QStringList out;
    const FolderListing listing = list_pictures(folder);
    for (size_t i = 0; i < load.rows.size(); ++i)
        if (load.rows[i]) out << listing.files[i].name + '=' + load.rows[i]->comment;
    out.sort();
    return out;
}

inline int history_count(const QString& store_path) {
    Db db;
    db.open(store_path, false, false);
    return int(db.integer("SELECT count(*) FROM history").value_or(-1));
}

// Runs statements on the file at path as any SQLite program would; whether all ran.
inline bool sql(const QString& path, const char* statements) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const int rc = sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

}  // namespace fotavi
