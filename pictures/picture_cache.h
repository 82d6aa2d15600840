#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/picture.h"
#include "platform/worker.h"

namespace fotavi {

// Pictures decoded ahead of time, so Next and Previous show a picture without
// waiting for its decode. A prepared picture is handed out only while its file
// is unchanged (same size and modification time, checked on every get) and the
// box is the same; anything else is decoded in the background before anything
// else, and the caller told when it is ready: get never waits for a decode.
// Thread-safe; the decodes run on a worker of the cache's own.
class PictureCache {
public:
    using Loader = PictureLoader;

    // keep: how many decoded pictures are held at most (each about a box in size).
    // loader decodes one picture; whatever it throws becomes that picture's error.
    explicit PictureCache(int keep = 4, Loader loader = load_picture);
    ~PictureCache();

    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // Called on the cache's worker with the path of a picture get could not
    // hand out, once it is decoded: get hands it out now. Set before any get.
    using Ready = std::function<void(const QString& path)>;
    void on_ready(Ready ready);
    // The picture at path fitted into box, exactly as the loader gives it,
    // when it is decoded (or its file is gone: the loader names the reason
    // at once). Else nothing: it is decoded next, and ready says when.
    std::optional<Picture> get(const QString& path, QSize box);
    // Decodes paths in the background, first one first. Pictures not in the
    // latest list (or of another box) are dropped; the list replaces any
    // earlier one that is still waiting.
    void prepare(const QStringList& paths, QSize box);
    // Forgets every picture and the waiting list (a new folder, renamed files).
    void clear();
    // Blocks until no background decode is running or waiting.
    void wait_idle();

private:
    // What a file looked like when it was decoded.
    struct Stamp {
        bool exists = false;
        qint64 size = 0;
        qint64 mtime_ns = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        QString path;
        QSize box;
        Stamp stamp;
        Picture picture;
    };

    static Stamp stamp_of(const QString& path);
    Picture load(const QString& path, QSize box) const;
    // Decodes the first picture still pending (the one get asked for first).
    void decode_next();
    // One job on the worker for each picture pending.
    void post_decodes();
    void keep_entry(Entry entry);
    const Entry* find(const QString& path, QSize box, const Stamp& stamp) const;

    const int keep_;
    const Loader loader_;
    std::mutex mutex_;
    std::vector<Entry> entries_;  // oldest first
    QStringList latest_;          // the latest list given to prepare
    QSize latest_box_;
    QStringList pending_;  // still to be decoded in the background, in order
    QString last_got_;     // the picture on screen is kept too, for going back
    QString running_;      // decoded in the background right now
    QSize running_box_;
    QString wanted_;  // asked of get before it was decoded; ready_ is told
    QSize wanted_box_;
    Ready ready_;
    Worker worker_{Worker::AtEnd::Drop};  // last: it goes first, while the rest is there
};

}  // namespace fotavi
