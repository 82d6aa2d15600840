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

void PictureCache::on_ready(Ready ready) {
    std::lock_guard lock(mutex_);
    ready_ = std::move(ready);
}

std::optional<Picture> PictureCache::get(const QString& path, QSize box) {
    const Stamp stamp = stamp_of(path);
    if (!stamp.exists) return load(path, box);  // it names the reason
    {
        std::lock_guard lock(mutex_);
        last_got_ = path;
        if (const Entry* entry = find(path, box, stamp)) {
            if (wanted_ == path) wanted_.clear();
            return entry->picture;
        }
        wanted_ = path;
        wanted_box_ = box;
        // A decode of it running now tells when it is done; else it goes first.
        pending_.removeAll(path);
        if (running_ != path || running_box_ != box) pending_.prepend(path);
    }
    post_decodes();
    return std::nullopt;
}

void PictureCache::prepare(const QStringList& paths, QSize box) {
    {
        std::lock_guard lock(mutex_);
        latest_ = paths;
        latest_box_ = box;
        // The picture get waits for stays first.
        const bool waiting = pending_.contains(wanted_);
        pending_ = paths;
        if (waiting) {
            pending_.removeAll(wanted_);
            pending_.prepend(wanted_);
        }
        std::erase_if(entries_, [&](const Entry& e) {
            return e.box != box || (e.path != last_got_ && !paths.contains(e.path));
        });
    }
    post_decodes();
}

void PictureCache::post_decodes() {
    worker_.drop_waiting();
    qsizetype count = 0;
    {
        std::lock_guard lock(mutex_);
        count = pending_.size();
    }
    for (qsizetype i = 0; i < count; ++i) worker_.post([this] { decode_next(); });
}

void PictureCache::clear() {
    std::lock_guard lock(mutex_);
    pending_.clear();
    latest_.clear();
    last_got_.clear();
    wanted_.clear();
    entries_.clear();
}

void PictureCache::wait_idle() { worker_.wait_idle(); }

// Decodes the first picture pending, unless it is prepared already. Should
// the decode throw, the picture's reason says so.
void PictureCache::decode_next() {
    QString path;
    QSize box;
    {
        std::lock_guard lock(mutex_);
        if (pending_.isEmpty()) return;
        path = pending_.takeFirst();
        box = path == wanted_ ? wanted_box_ : latest_box_;
    }
    // The stamp is taken before the decode: a file rewritten meanwhile
    // then has a newer stamp than its entry and is decoded again.
    const Stamp stamp = stamp_of(path);
    bool decode = false;
    {
        std::lock_guard lock(mutex_);
        decode = !find(path, box, stamp);
        if (decode) {
            running_ = path;
            running_box_ = box;
        }
    }
    Picture picture = decode ? load(path, box) : Picture();
    Ready ready;
    {
        std::lock_guard lock(mutex_);
        running_.clear();
        if (decode && (last_got_ == path || (latest_box_ == box && latest_.contains(path))))
            keep_entry({path, box, stamp, std::move(picture)});
        if (wanted_ == path && wanted_box_ == box) ready = ready_;
    }
    if (ready) ready(path);
}

}  // namespace fotavi
