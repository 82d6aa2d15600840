#include "browse/picture_cache.h"

#include <QFile>

#include <new>

#include <sys/stat.h>

namespace fotavi {

PictureCache::PictureCache(int keep, Loader loader)
    : keep_(keep), loader_(std::move(loader)), worker_([this] { work(); }) {}

PictureCache::~PictureCache() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
        latest_.clear();
    }
    changed_.notify_all();
    worker_.join();
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

// Nothing a decode throws gets past here: it becomes the picture's reason.
Picture PictureCache::load(const QString& path, QSize box) const {
    try {
        return loader_(path, box);
    } catch (const std::bad_alloc&) {
        return {QImage(), QStringLiteral("メモリが足りません")};
    } catch (...) {
        return {QImage(), QStringLiteral("画像を読み込めません（予期しないエラー）")};
    }
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
    if (!stamp.exists) return load(path, box);  // it names the reason
    {
        std::unique_lock lock(mutex_);
        pending_.removeAll(path);
        // Decoding it a second time would only take longer than waiting.
        changed_.wait(lock, [&] { return !(running_ == path && running_box_ == box); });
        last_got_ = path;
        if (const Entry* entry = find(path, box, stamp)) return entry->picture;
    }
    Entry entry{path, box, stamp, load(path, box)};
    const Picture picture = entry.picture;
    std::lock_guard lock(mutex_);
    keep_entry(std::move(entry));
    return picture;
}

void PictureCache::prepare(const QStringList& paths, QSize box) {
    {
        std::lock_guard lock(mutex_);
        latest_ = paths;
        latest_box_ = box;
        pending_ = paths;
        std::erase_if(entries_, [&](const Entry& e) {
            return e.box != box || (e.path != last_got_ && !paths.contains(e.path));
        });
    }
    changed_.notify_all();
}

void PictureCache::clear() {
    std::lock_guard lock(mutex_);
    pending_.clear();
    latest_.clear();
    last_got_.clear();
    entries_.clear();
}

void PictureCache::wait_idle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_ && pending_.isEmpty(); });
}

// The background thread. Nothing may end it but the cache going: should
// anything throw, the pictures it was preparing are dropped (they are decoded
// on the spot when shown) and it waits for the next list.
void PictureCache::work() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        try {
            if (!work_on_next(lock)) changed_.wait(lock);
        } catch (...) {
            if (!lock.owns_lock()) lock.lock();
            pending_.clear();
            running_.clear();
            busy_ = false;
            changed_.notify_all();
        }
    }
}

// Decodes the next waiting picture; false when none is waiting.
bool PictureCache::work_on_next(std::unique_lock<std::mutex>& lock) {
    if (pending_.isEmpty()) {
        if (busy_) {
            busy_ = false;
            changed_.notify_all();
        }
        return false;
    }
    busy_ = true;
    const QString path = pending_.takeFirst();
    const QSize box = latest_box_;
    lock.unlock();
    // The stamp is taken before the decode: a file rewritten meanwhile
    // then has a newer stamp than its entry and is decoded again.
    const Stamp stamp = stamp_of(path);
    lock.lock();
    if (find(path, box, stamp)) return true;
    running_ = path;
    running_box_ = box;
    lock.unlock();
    Picture picture = load(path, box);
    lock.lock();
    running_.clear();
    if (latest_box_ == box && (latest_.contains(path) || last_got_ == path))
        keep_entry({path, box, stamp, std::move(picture)});
    changed_.notify_all();
    return true;
}

}  // namespace fotavi
