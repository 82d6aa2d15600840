#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

#include "browse/capture_time.h"
#include "platform/files.h"

namespace fotavi {

// The capture times read from the pictures of a folder, kept per picture by
// name, size and modification time: in memory for the folder in use, and in
// one file a folder under the cache folder, so a folder opened again, in
// this run or a later one, is not read again. A picture whose size or
// modification time changed is read anew. A missing or damaged cache file
// only costs a new reading; nothing here is ever reported.
class CaptureTimeCache {
public:
    // cache_dir: where the cache files live; empty keeps them in memory only.
    explicit CaptureTimeCache(QString cache_dir);

    // The capture time of a picture of folder, read from its file when not known.
    CaptureTime get(const QString& folder, const ListedFile& file);
    // Writes what is known of folder to its cache file when anything changed,
    // keeping the pictures of files only (a deleted picture is forgotten).
    void save(const QString& folder, const std::vector<ListedFile>& files);
    // How many pictures were read from their files since construction.
    int files_read() const { return files_read_; }

private:
    struct Entry {
        qint64 size = 0;
        qint64 mtime_ns = 0;
        CaptureTime time;
    };
    void use_folder(const QString& folder);
    QString file_for(const QString& folder) const;

    QString cache_dir_;
    QString folder_;
    bool loaded_ = false;
    bool changed_ = false;
    QHash<QString, Entry> entries_;
    int files_read_ = 0;
};

// Dates every picture of files by its capture time (through cache, so only
// new or changed pictures are read) and orders them as order_by_capture_time
// does. cancelled(done) is asked after each picture; when it answers true,
// files is left as it was and false is returned.
bool use_capture_times(std::vector<ListedFile>& files, const QString& folder,
                       CaptureTimeCache& cache, const std::function<bool(int done)>& cancelled);

// The folders for which the capture-time hint was shown, kept in a file of
// the state folder, so the hint is shown once a folder, across runs.
class HintRecord {
public:
    // state_dir: where the record lives; empty remembers for this run only.
    explicit HintRecord(QString state_dir);
    bool contains(const QString& folder) const;
    void add(const QString& folder);

private:
    QSet<QString> read() const;
    QString path_;
    QSet<QString> this_run_;
};

}  // namespace fotavi
