#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "pictures/capture_time.h"
#include "platform/files.h"

namespace fotavi {

// What the cache knows of one picture: its size and modification time when
// it was read, and the capture time read.
struct CachedTime {
    qint64 size = 0;
    qint64 mtime_ns = 0;
    CaptureTime time;
};
using CachedTimes = QHash<QString, CachedTime>;

// The bytes of the cache file of folder.
QByteArray capture_cache_bytes(const QString& folder, const CachedTimes& times);
// The pictures a cache file of folder knows. A cache file is input like any
// other: an entry whose values reading a picture could not have given (a
// date outside 1900 to 2100, an unknown tag, a sub-second of a second or
// more, a negative size) is left out, so its picture is read again; a file
// that is not a cache of folder gives nothing.
std::optional<CachedTimes> parse_capture_cache(QByteArrayView bytes, const QString& folder);

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
    void use_folder(const QString& folder);
    QString file_for(const QString& folder) const;

    QString cache_dir_;
    QString folder_;
    bool loaded_ = false;
    bool changed_ = false;
    CachedTimes entries_;
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
