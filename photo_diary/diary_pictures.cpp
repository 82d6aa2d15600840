#include "photo_diary/diary_pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

#include "platform/io.h"
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
    if (!writer.write(image)) return {{}, {}, DiaryPictureProblem::NotEncoded, {}, {}};
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
    if (picture.image.isNull()) return {{}, {}, DiaryPictureProblem::Unreadable, picture.problem, {}};
    if (cache) cache->write(key, ThumbnailSize::XLarge, picture.image);
    return encoded(picture.image);
}

// A file of no name in folder, gone when it is closed (or when the program
// ends, however it ends); the file descriptor, or -1 with errno set.
int nameless_file(const QString& folder) {
    const QByteArray where = QFile::encodeName(folder);
    const int fd = ::open(where.constData(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    // A file system without such files: a name for a moment.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = where + "/.photo_diary-" + QByteArray::number(quint64(::getpid())) +
                                '-' + QByteArray::number(attempt) + ".tmp";
        const int named =
            ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (named >= 0) {
            ::unlink(name.constData());
            return named;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

// The file the pictures' JPEG data waits in; appended to by the workers.
struct DiaryPictures::Spool {
    int fd = -1;
    qint64 end = 0;
    ~Spool() {
        if (fd >= 0) ::close(fd);
    }
};

DiaryPictures::DiaryPictures() = default;
DiaryPictures::~DiaryPictures() = default;
DiaryPictures::DiaryPictures(DiaryPictures&&) noexcept = default;
DiaryPictures& DiaryPictures::operator=(DiaryPictures&&) noexcept = default;

const DiaryPicture& DiaryPictures::shape(int i) const {
    static const DiaryPicture none;
    return i >= 0 && i < count() ? held_[size_t(i)] : none;
}

DiaryPicture DiaryPictures::read(int i) const {
    DiaryPicture picture = shape(i);
    if (!has_jpeg(i) || !spool_) return picture;
    const auto [offset, length] = places_[size_t(i)];
    picture.jpeg.resize(length);
    if (pread_all(spool_->fd, picture.jpeg.data(), length, offset) != length) picture.jpeg.clear();
    return picture;
}

int DiaryPictures::missing() const {
    int none = 0;
    for (int i = 0; i < count(); ++i) none += !has_jpeg(i);
    return none;
}

void DiaryPictures::explain(const DiaryReason& reason) {
    for (DiaryPicture& picture : held_)
        if (picture.problem != DiaryPictureProblem::None) picture.error = reason(picture);
}

DiaryPictures diary_pictures(const QStringList& paths, const DiaryPictureSource& source,
                             const std::function<bool(int done)>& step) {
    const int total = int(paths.size());
    DiaryPictures pictures;
    if (total == 0) return pictures;
    pictures.spool_ = std::make_unique<DiaryPictures::Spool>();
    pictures.spool_->fd = nameless_file(
        source.spool_folder.isEmpty() ? QDir::tempPath() : source.spool_folder);
    if (pictures.spool_->fd < 0) {
        pictures.error_ = errno;
        return pictures;
    }
    pictures.held_.resize(size_t(total));
    pictures.places_.resize(size_t(total));
    std::optional<ThumbnailCache> cache;
    if (!source.thumbnail_root.isEmpty()) cache.emplace(source.thumbnail_root);

    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    bool stop = false;
    {
        // Each picture's data goes to the spool as soon as it is made: only
        // the pictures being made are in memory.
        WorkerPool<int> decoders(std::min(source.decoders, total), [&](int& i) {
            DiaryPicture picture = make_picture(paths[i], source, cache ? &*cache : nullptr);
            std::lock_guard lock(mutex);
            DiaryPictures::Spool& spool = *pictures.spool_;
            if (!picture.jpeg.isEmpty() && pictures.error_ == 0) {
                pictures.error_ = write_all(spool.fd, picture.jpeg.constData(), picture.jpeg.size());
                pictures.places_[size_t(i)] = {spool.end, picture.jpeg.size()};
                spool.end += picture.jpeg.size();
            }
            picture.jpeg = QByteArray();
            pictures.held_[size_t(i)] = std::move(picture);
            ++done;
            changed.notify_all();
        });
        for (int i = 0; i < total; ++i) decoders.post(i);
        int reported = 0;
        while (reported < total) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return done > reported; });
            reported = done;
            const bool failed = pictures.error_ != 0;
            lock.unlock();
            if (failed || (step && !step(reported))) {
                stop = true;
                break;
            }
        }
    }  // the decoders finish what they hold and go; the waiting pictures are dropped
    if (stop && pictures.error_ == 0) return {};
    return pictures;
}

}  // namespace fotavi
