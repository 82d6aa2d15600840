#include "photo_diary/diary_pictures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/thumbnail_cache.h"
#include "platform/worker_pool.h"

namespace fotavi {

namespace {

// Small enough to mail a diary of some hundred pictures, sharp enough to print.
constexpr int kJpegQuality = 82;

DiaryPicture encoded(QImage image) {
    if (image.width() > kDiaryPictureSide || image.height() > kDiaryPictureSide)
        image = image.scaled(kDiaryPictureSide, kDiaryPictureSide, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    if (image.hasAlphaChannel()) {  // a PNG named .jpg: JPEG has no transparency
        QImage opaque(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, image);
        image = opaque;
    }
    DiaryPicture picture;
    QBuffer buffer(&picture.jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kJpegQuality);
    if (!writer.write(image)) return {{}, {}, QStringLiteral("メモリが足りません")};
    picture.size = image.size();
    return picture;
}

// One picture: from the cache where it holds one large enough, else decoded.
DiaryPicture make_picture(const QString& path, const DiaryPictureSource& source,
                          ThumbnailCache* cache) {
    const ThumbnailKey key = cache ? thumbnail_key(path) : ThumbnailKey();
    if (cache && key.ok()) {
        for (ThumbnailSize size : {ThumbnailSize::XLarge, ThumbnailSize::XXLarge}) {
            const QImage cached = cache->read(key, size);
            if (!cached.isNull() && std::max(cached.width(), cached.height()) >= kDiaryPictureSide)
                return encoded(cached);
        }
    }
    const int side = pixels_of(ThumbnailSize::XLarge);
    const Picture picture = load_safely(source.loader, path, QSize(side, side));
    if (picture.image.isNull())
        return {{}, {}, source.reason ? source.reason(picture.problem) : QString()};
    if (cache) cache->write(key, ThumbnailSize::XLarge, picture.image);
    return encoded(picture.image);
}

}  // namespace

std::vector<DiaryPicture> diary_pictures(const QStringList& paths, const DiaryPictureSource& source,
                                         const std::function<bool(int done)>& step) {
    const int total = int(paths.size());
    std::vector<DiaryPicture> pictures(size_t(paths.size()));
    std::optional<ThumbnailCache> cache;
    if (!source.thumbnail_root.isEmpty()) cache.emplace(source.thumbnail_root);

    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    bool stop = false;
    {
        WorkerPool<int> decoders(std::min(source.decoders, total), [&](int& i) {
            DiaryPicture picture = make_picture(paths[i], source, cache ? &*cache : nullptr);
            std::lock_guard lock(mutex);
            pictures[size_t(i)] = std::move(picture);
            ++done;
            changed.notify_all();
        });
        for (int i = 0; i < total; ++i) decoders.post(i);
        int reported = 0;
        while (reported < total) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return done > reported; });
            reported = done;
            lock.unlock();
            if (step && !step(reported)) {
                stop = true;
                break;
            }
        }
    }  // the decoders finish what they hold and go; the waiting pictures are dropped
    if (stop) return {};
    return pictures;
}

}  // namespace fotavi
