#include "browse/picture_cache.h"

#include <QFile>
#include <QMutexLocker>

#include <sys/stat.h>

namespace fotavi {

PictureCache::PictureCache(int keep) : keep_(keep) {
    // One decode at a time: the picture on screen is decoded on the caller's
    // thread, so a second worker would only compete with it for the cores.
    pool_.setMaxThreadCount(1);
}

PictureCache::~PictureCache() {
    {
        QMutexLocker lock(&mutex_);
        pending_.clear();
        latest_.clear();
    }
    pool_.waitForDone();
}

PictureCache::Stamp PictureCache::stamp_of(const QString& path) {
    struct stat info {};
    Stamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.size = info.st_size;
    stamp.mtime_ns = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

const PictureCache::Entry* PictureCache::find(const QString& path, QSize box,
                                              const Stamp& stamp) const {
    for (const Entry& entry : entries_) {
        if (entry.path == path && entry.box == box && entry.stamp == stamp) return &entry;
    }
    return nullptr;
}

void PictureCache::keep_entry(Entry entry) {
    std::erase_if(entries_, [&](const Entry& e) { return e.path == entry.path; });
    entries_.push_back(std::move(entry));
    while (int(entries_.size()) > keep_) entries_.erase(entries_.begin());
}

Picture PictureCache::get(const QString& path, QSize box) {
    const Stamp stamp = stamp_of(path);
    if (!stamp.exists) return load_picture(path, box);  // it names the reason
    {
        QMutexLocker lock(&mutex_);
        pending_.removeAll(path);
        // Decoding it a second time would only take longer than waiting.
        while (running_ == path && running_box_ == box) changed_.wait(&mutex_);
        last_got_ = path;
        if (const Entry* entry = find(path, box, stamp)) return entry->picture;
    }
    Entry entry{path, box, stamp, load_picture(path, box)};
    const Picture picture = entry.picture;
    QMutexLocker lock(&mutex_);
    keep_entry(std::move(entry));
    return picture;
}

void PictureCache::prepare(const QStringList& paths, QSize box) {
    QMutexLocker lock(&mutex_);
    latest_ = paths;
    latest_box_ = box;
    pending_ = paths;
    std::erase_if(entries_, [&](const Entry& e) {
        return e.box != box || (e.path != last_got_ && !paths.contains(e.path));
    });
    if (!working_ && !pending_.isEmpty()) {
        working_ = true;
        pool_.start([this] { work(); });
    }
}

void PictureCache::clear() {
    QMutexLocker lock(&mutex_);
    pending_.clear();
    latest_.clear();
    last_got_.clear();
    entries_.clear();
}

void PictureCache::wait_idle() {
    QMutexLocker lock(&mutex_);
    while (working_) changed_.wait(&mutex_);
}

void PictureCache::work() {
    QMutexLocker lock(&mutex_);
    while (!pending_.isEmpty()) {
        const QString path = pending_.takeFirst();
        const QSize box = latest_box_;
        lock.unlock();
        // The stamp is taken before the decode: a file rewritten meanwhile
        // then has a newer stamp than its entry and is decoded again.
        const Stamp stamp = stamp_of(path);
        lock.relock();
        if (find(path, box, stamp)) continue;
        running_ = path;
        running_box_ = box;
        lock.unlock();
        Picture picture = load_picture(path, box);
        lock.relock();
        running_.clear();
        if (latest_box_ == box && (latest_.contains(path) || last_got_ == path))
            keep_entry({path, box, stamp, std::move(picture)});
        changed_.wakeAll();
    }
    working_ = false;
    changed_.wakeAll();
}

}  // namespace fotavi
