#pragma once

#include <QHash>
#include <QImage>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>
#include <mutex>
#include <vector>

#include "platform/picture.h"
#include "platform/thumbnail_cache.h"
#include "platform/worker.h"
#include "platform/worker_pool.h"

namespace fotavi {

// What is known of one picture's thumbnail.
struct Thumbnail {
    enum class State {
        None,     // nothing yet: it is being made
        Preview,  // the camera's embedded thumbnail, until the decode is done
        Final,    // from the cache, or decoded from the picture
        Failed,   // the picture cannot be shown: error says why, in the words of Options::reason
    };
    State state = State::None;
    QImage image;   // Preview and Final; at most the size asked for
    QString error;  // Failed
};

// The thumbnails of a folder's pictures for the overview. request() answers
// at once from memory and never waits on a file; what is missing is made in
// the background: first the desktop's thumbnail cache and the picture's
// embedded EXIF thumbnail are looked at (one worker, quick), then the picture
// is decoded at the thumbnail's size (several workers) and the result written
// to the cache. Each result arrives through ready() on the thread that owns
// the Thumbnailer. Memory is bounded: decoded thumbnails are kept up to a
// budget, the least recently asked for going first; the view asks again for
// what comes back on screen.
class Thumbnailer : public QObject {
    Q_OBJECT
public:
    using Loader = PictureLoader;
    struct Options {
        QString cache_root = default_thumbnail_root();
        int decoders = 2;                         // background decodes at once
        qint64 memory_budget = 48 * 1024 * 1024;  // bytes of thumbnails kept
        Loader loader = load_picture;
        FailureText reason;  // the sentence for a picture that cannot be shown (app's)
    };

    explicit Thumbnailer(Options options, QObject* parent = nullptr);
    explicit Thumbnailer(QObject* parent = nullptr) : Thumbnailer(Options(), parent) {}
    ~Thumbnailer() override;

    // What is known now of the thumbnail of the picture at path; when that is
    // not the final one, it is being made and ready() will bring it.
    Thumbnail request(const QString& path, ThumbnailSize size);
    // Work still waiting for pictures not in paths is dropped: the view has
    // scrolled away from them. Asking again later starts it again.
    void keep_waiting_only(const QStringList& paths);
    // Forgets everything (another folder).
    void clear();
    // Blocks until no background work runs or waits (results may still be on
    // their way to ready()); for tests and benchmarks.
    void wait_idle();

    qint64 memory_used() const { return used_; }

signals:
    void ready(const QString& path, fotavi::ThumbnailSize size, const fotavi::Thumbnail& thumbnail);

private:
    struct Key {
        QString path;
        ThumbnailSize size;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) {
        return qHashMulti(seed, key.path, int(key.size));
    }
    struct Kept {
        Thumbnail thumbnail;
        qint64 bytes = 0;
        std::list<Key>::iterator age;
    };
    struct Job {
        Key key;
        quint64 epoch = 0;  // when it was asked for: clear() makes older results void
    };
    using Stage = WorkerPool<Job>;

    void enqueue(Stage& stage, Job job);
    void look_up(const Job& job);
    void decode(const Job& job);
    void deliver(const Job& job, Thumbnail thumbnail);
    void receive(const Job& job, const Thumbnail& thumbnail);
    void keep(const Key& key, const Thumbnail& thumbnail);
    void drop_kept(const Key& key);

    const Options options_;
    ThumbnailCache cache_;

    // Owner's thread only.
    QHash<Key, Kept> kept_;
    std::list<Key> ages_;  // least recently asked for first
    qint64 used_ = 0;

    // Shared with the workers.
    std::mutex mutex_;
    QSet<Key> queued_;  // asked for and not final yet: waiting, running or on its way
    quint64 epoch_ = 0;
    quint64 cleared_ = 0;
    bool stopping_ = false;
    Mailbox results_;  // before the stages, which post to it
    // The look-up stage hands work to the decodes: it goes first.
    Stage decodes_;
    Stage lookups_;
};

}  // namespace fotavi

Q_DECLARE_METATYPE(fotavi::Thumbnail)
Q_DECLARE_METATYPE(fotavi::ThumbnailSize)
