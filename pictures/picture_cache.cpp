#include "pictures/picture_cache.h"

#include <QFile>

#include <sys/stat.h>

namespace fotavi {

PictureCache::PictureCache(int keep, Loader loader) : keep_(keep), loader_(std::move(loader)) {}

PictureCache::~PictureCache() {
    std::lock_guard lock(mutex_);
    pending_.clear();  // a decode that starts now finds nothing to do
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
    return load_safely(loader_, path, box);
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
    worker_.drop_waiting();
    for (const QString& path : paths) worker_.post([this, path, box] { decode_ahead(path, box); });
}

void PictureCache::clear() {
    std::lock_guard lock(mutex_);
    pending_.clear();
    latest_.clear();
    last_got_.clear();
    entries_.clear();
}

void PictureCache::wait_idle() { worker_.wait_idle(); }

// Decodes one picture of the latest list, unless get took it on meanwhile
// or it is prepared already. Should the decode throw, the picture is simply
// not prepared: it is decoded on the spot when shown.
void PictureCache::decode_ahead(const QString& path, QSize box) {
    {
        std::lock_guard lock(mutex_);
        if (!pending_.removeOne(path) || latest_box_ != box) return;
    }
    // The stamp is taken before the decode: a file rewritten meanwhile
    // then has a newer stamp than its entry and is decoded again.
    const Stamp stamp = stamp_of(path);
    {
        std::lock_guard lock(mutex_);
        if (find(path, box, stamp)) return;
        running_ = path;
        running_box_ = box;
    }
    Picture picture = load(path, box);
    std::lock_guard lock(mutex_);
    running_.clear();
    if (latest_box_ == box && (latest_.contains(path) || last_got_ == path))
        keep_entry({path, box, stamp, std::move(picture)});
    changed_.notify_all();
}

}  // namespace fotavi
