#include "overview/thumbnailer.h"

#include <QFileInfo>

#include "overview/exif_thumbnail.h"

namespace fotavi {

namespace {

// What a failed thumbnail weighs in the budget: its reason and its slot.
constexpr qint64 kFailedBytes = 512;

// The cache's larger sizes, which serve a smaller thumbnail scaled down.
std::vector<ThumbnailSize> sizes_from(ThumbnailSize size) {
    std::vector<ThumbnailSize> sizes;
    for (ThumbnailSize s : {ThumbnailSize::Normal, ThumbnailSize::Large, ThumbnailSize::XLarge}) {
        if (pixels_of(s) >= pixels_of(size)) sizes.push_back(s);
    }
    if (sizes.empty()) sizes.push_back(size);
    return sizes;
}

QImage fitted(const QImage& image, ThumbnailSize size) {
    const int side = pixels_of(size);
    if (image.width() <= side && image.height() <= side) return image;
    return image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

Thumbnailer::Thumbnailer(Options options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      cache_(options_.cache_root),
      decodes_(options_.decoders, [this](Job& job) { decode(job); }),
      lookups_(1, [this](Job& job) { look_up(job); }) {}

Thumbnailer::~Thumbnailer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        lookups_.drop_waiting();
        decodes_.drop_waiting();
    }
    // The stages go with the members, the look-ups first.
}

Thumbnail Thumbnailer::request(const QString& path, ThumbnailSize size) {
    const Key key{path, size};
    Thumbnail known;
    if (auto kept = kept_.find(key); kept != kept_.end()) {
        ages_.splice(ages_.end(), ages_, kept->age);  // asked for again: the youngest
        known = kept->thumbnail;
    }
    if (known.state == Thumbnail::State::Final || known.state == Thumbnail::State::Failed)
        return known;
    std::lock_guard lock(mutex_);
    if (!queued_.contains(key)) {
        queued_.insert(key);
        // A preview in hand was looked up already: only the decode is left.
        enqueue(known.state == Thumbnail::State::Preview ? decodes_ : lookups_, {key, epoch_});
    }
    return known;
}

// Called with mutex_ held.
void Thumbnailer::enqueue(Stage& stage, Job job) {
    if (!stopping_) stage.post(std::move(job));
}

void Thumbnailer::look_up(const Job& job) {
    const ThumbnailKey file = thumbnail_key(job.key.path);
    if (file.ok()) {
        for (ThumbnailSize size : sizes_from(job.key.size)) {
            const QImage cached = cache_.read(file, size);
            if (!cached.isNull()) {
                deliver(job, {Thumbnail::State::Final, fitted(cached, job.key.size), {}});
                return;
            }
        }
        // A HEIF file's own thumbnail that is large enough is the thumbnail:
        // no decode of the whole picture is needed.
        const OwnThumbnail own = read_heif_thumbnail(job.key.path, pixels_of(job.key.size));
        if (own.covers && !own.image.isNull()) {
            const QImage image = fitted(own.image, job.key.size);
            cache_.write(file, job.key.size, image);
            deliver(job, {Thumbnail::State::Final, image, {}});
            return;
        }
        const QImage embedded = own.image.isNull() ? read_exif_thumbnail(job.key.path) : own.image;
        if (!embedded.isNull())
            deliver(job, {Thumbnail::State::Preview, fitted(embedded, job.key.size), {}});
    }
    // A file that cannot be looked at is decoded too: the decode names the reason.
    std::lock_guard lock(mutex_);
    enqueue(decodes_, job);
}

void Thumbnailer::decode(const Job& job) {
    const ThumbnailKey file = thumbnail_key(job.key.path);
    const int side = pixels_of(job.key.size);
    const Picture picture = load_safely(options_.loader, job.key.path, QSize(side, side));
    if (picture.image.isNull()) {
        deliver(job, {Thumbnail::State::Failed,
                      {},
                      options_.reason ? options_.reason(picture.problem) : QString()});
        return;
    }
    const QImage image = fitted(picture.image, job.key.size);
    // Keyed by the file as it was before the decode: a file changed meanwhile
    // leaves an entry that is stale, never a wrong one.
    cache_.write(file, job.key.size, image);
    deliver(job, {Thumbnail::State::Final, image, {}});
}

void Thumbnailer::deliver(const Job& job, Thumbnail thumbnail) {
    results_.post([this, job, thumbnail = std::move(thumbnail)] { receive(job, thumbnail); });
}

void Thumbnailer::receive(const Job& job, const Thumbnail& thumbnail) {
    const bool last = thumbnail.state != Thumbnail::State::Preview;
    {
        std::lock_guard lock(mutex_);
        if (job.epoch < cleared_) return;
        if (last) queued_.remove(job.key);
    }
    keep(job.key, thumbnail);
    emit ready(job.key.path, job.key.size, thumbnail);
}

void Thumbnailer::keep(const Key& key, const Thumbnail& thumbnail) {
    drop_kept(key);
    const qint64 bytes = thumbnail.image.isNull() ? kFailedBytes : thumbnail.image.sizeInBytes();
    ages_.push_back(key);
    kept_.insert(key, {thumbnail, bytes, std::prev(ages_.end())});
    used_ += bytes;
    while (used_ > options_.memory_budget && ages_.size() > 1) drop_kept(ages_.front());
}

void Thumbnailer::drop_kept(const Key& key) {
    const auto kept = kept_.find(key);
    if (kept == kept_.end()) return;
    used_ -= kept->bytes;
    ages_.erase(kept->age);
    kept_.erase(kept);
}

void Thumbnailer::keep_waiting_only(const QStringList& paths) {
    const QSet<QString> wanted(paths.begin(), paths.end());
    std::lock_guard lock(mutex_);
    for (Stage* stage : {&lookups_, &decodes_}) {
        stage->drop_waiting_if([&](const Job& job) {
            if (wanted.contains(job.key.path)) return false;
            queued_.remove(job.key);
            return true;
        });
    }
}

void Thumbnailer::clear() {
    kept_.clear();
    ages_.clear();
    used_ = 0;
    std::lock_guard lock(mutex_);
    cleared_ = ++epoch_;
    lookups_.drop_waiting();
    decodes_.drop_waiting();
    queued_.clear();
}

void Thumbnailer::wait_idle() {
    // Only the look-ups hand work on, to the decodes: once they are idle,
    // every decode is posted.
    lookups_.wait_idle();
    decodes_.wait_idle();
}

}  // namespace fotavi
