#include "platform/heif.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libheif/heif.h>

#include "platform/io.h"
#include "platform/picture_header.h"

namespace fotavi {

namespace {

// Larger sides are damage or a panorama no screen shows: libheif would
// otherwise accept up to 32768 x 32768 before anything is decoded.
constexpr int kMostSide = 16384;
// EXIF blocks of phones are a few tens of KiB; anything larger is no block of a picture's.
constexpr size_t kMostExifBytes = 1024 * 1024;

Failure reason_of(const heif_error& error) {
    switch (error.code) {
        case heif_error_Ok:
            return {};
        case heif_error_Unsupported_filetype:
        case heif_error_Unsupported_feature:
            return {Failure::Kind::HeifUnsupported};
        case heif_error_Memory_allocation_error:
            return {Failure::Kind::OutOfMemory};
        default:
            return {Failure::Kind::Damaged};
    }
}

// libheif registers its decoders on first use; once, before any thread asks,
// so pictures decoded ahead and thumbnails made at once never race on it.
void start_libheif() {
    static const bool started = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)started;
}

void release_image(void* image) { heif_image_release(static_cast<heif_image*>(image)); }

// A decoded image as a QImage that shares its pixels and frees them when the
// last copy goes.
QImage to_qimage(heif_image* image, bool alpha) {
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0) {
        heif_image_release(image);
        return {};
    }
    return QImage(pixels, width, height, stride,
                  alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888, release_image, image);
}

QImage decode_handle(const heif_image_handle* handle, Failure* error) {
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    heif_image* image = nullptr;
    const heif_error result = heif_decode_image(
        handle, &image, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    if (result.code != heif_error_Ok || !image) {
        if (image) heif_image_release(image);
        if (error) *error = reason_of(result);
        return {};
    }
    QImage decoded = to_qimage(image, alpha);
    if (decoded.isNull() && error) *error = {Failure::Kind::Damaged};
    return decoded;
}

}  // namespace

// Positioned reads of an open file for libheif, which asks for one piece at a time.
struct HeifFile::Reader {
    int fd = -1;
    qint64 size = 0;
    qint64 position = 0;
    bool owns_fd = false;

    ~Reader() {
        if (owns_fd) ::close(fd);
    }

    static int64_t get_position(void* self) { return static_cast<Reader*>(self)->position; }
    static int read(void* data, size_t n, void* self) {
        Reader& reader = *static_cast<Reader*>(self);
        if (n > size_t(reader.size - reader.position)) return -1;
        const qint64 got =
            pread_all(reader.fd, static_cast<char*>(data), qint64(n), reader.position);
        if (got != qint64(n)) return -1;
        reader.position += got;
        return 0;
    }
    static int seek(int64_t position, void* self) {
        Reader& reader = *static_cast<Reader*>(self);
        if (position < 0 || position > reader.size) return -1;
        reader.position = position;
        return 0;
    }
    static heif_reader_grow_status wait_for_file_size(int64_t target, void* self) {
        return target <= static_cast<Reader*>(self)->size ? heif_reader_grow_status_size_reached
                                                          : heif_reader_grow_status_size_beyond_eof;
    }
};

HeifFile::HeifFile(int fd, qint64 size) : reader_(new Reader{fd, size, 0, false}) {
    start_libheif();
    static const heif_reader calls = {1, Reader::get_position, Reader::read, Reader::seek,
                                      Reader::wait_for_file_size};
    context_ = heif_context_alloc();
    if (!context_) {
        problem_ = {Failure::Kind::OutOfMemory};
        return;
    }
    heif_context_set_maximum_image_size_limit(context_, kMostSide);
    problem_ = reason_of(heif_context_read_from_reader(context_, &calls, reader_.get(), nullptr));
    read_items_ = [fd, size] {
        return HeifItems::read(
            [fd, size](qint64 offset, char* into, qint64 count) {
                return count <= size - offset && pread_all(fd, into, count, offset) == count;
            },
            size);
    };
    open_primary();
}

HeifFile::HeifFile(QByteArrayView bytes) {
    start_libheif();
    context_ = heif_context_alloc();
    if (!context_) {
        problem_ = {Failure::Kind::OutOfMemory};
        return;
    }
    heif_context_set_maximum_image_size_limit(context_, kMostSide);
    problem_ = reason_of(heif_context_read_from_memory_without_copy(context_, bytes.data(),
                                                                    size_t(bytes.size()), nullptr));
    read_items_ = [bytes] {
        return HeifItems::read(
            [bytes](qint64 offset, char* into, qint64 count) {
                if (offset < 0 || count < 0 || count > bytes.size() - offset) return false;
                std::copy_n(bytes.data() + offset, count, into);
                return true;
            },
            bytes.size());
    };
    open_primary();
}

bool is_heif(int fd) {
    // The file type box comes first; its brands say HEIF. Only those bytes
    // are read, so asking of every JPEG of a folder costs a small read.
    char first[16];
    const qint64 got = pread_all(fd, first, sizeof first, 0);
    if (got <= 0) return false;
    FileWindow head(QByteArrayView(first, got));
    return signature_of(head).kind == PictureKind::Heif;
}

std::unique_ptr<HeifFile> HeifFile::open(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    if (!is_heif(fd)) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<HeifFile> file(new HeifFile(fd, info.st_size));
    file->reader_->owns_fd = true;
    return file;
}

HeifFile::~HeifFile() {
    if (primary_) heif_image_handle_release(primary_);
    if (context_) heif_context_free(context_);
}

void HeifFile::open_primary() {
    if (!problem_.ok()) return;
    problem_ = reason_of(heif_context_get_primary_image_handle(context_, &primary_));
    if (!problem_.ok()) return;
    const QSize shown = size();
    if (shown.isEmpty() || shown.width() > kMostSide || shown.height() > kMostSide)
        problem_ = {Failure::Kind::Damaged};
}

QSize HeifFile::size() const {
    if (!primary_) return {};
    return {heif_image_handle_get_width(primary_), heif_image_handle_get_height(primary_)};
}

bool HeifFile::has_alpha() const {
    return primary_ && heif_image_handle_has_alpha_channel(primary_);
}

QImage HeifFile::decode(Failure* error) const {
    if (!problem_.ok()) {
        if (error) *error = problem_;
        return {};
    }
    heif_item_id item = 0;
    if (heif_context_get_primary_image_ID(context_, &item).code != heif_error_Ok) {
        if (error) *error = {Failure::Kind::Damaged};
        return {};
    }
    return decode_checked(primary_, item, error);
}

QImage HeifFile::decode_checked(const heif_image_handle* handle, uint32_t item,
                                Failure* error) const {
    // Read on the first decode only: listing and dating never need it.
    if (!items_) items_ = read_items_();
    if (!items_->derivations_sound(item)) {
        if (error) *error = {Failure::Kind::Damaged};
        return {};
    }
    return decode_handle(handle, error);
}

QByteArray HeifFile::exif_block() const {
    if (!problem_.ok()) return {};
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(primary_, "Exif", &id, 1) < 1) return {};
    const size_t size = heif_image_handle_get_metadata_size(primary_, id);
    if (size < 4 || size > kMostExifBytes) return {};
    QByteArray item(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(primary_, id, item.data()).code != heif_error_Ok) return {};
    // The item starts with the offset of the TIFF header from the end of
    // those four bytes; some writers leave the "Exif\0\0" of a JPEG in front.
    const quint32 offset = qFromBigEndian<quint32>(item.constData());
    if (offset > size - 4) return {};
    QByteArrayView tiff = QByteArrayView(item).sliced(4 + offset);
    const QByteArrayView header("Exif\0\0", 6);
    if (tiff.startsWith(header)) tiff = tiff.sliced(6);
    if (!tiff.startsWith("II*") && !tiff.startsWith(QByteArrayView("MM\0*", 4))) return {};
    return header.toByteArray() + tiff.toByteArray();
}

std::vector<QSize> HeifFile::thumbnail_sizes() const {
    std::vector<QSize> sizes;
    if (!problem_.ok()) return sizes;
    const int count = std::clamp(heif_image_handle_get_number_of_thumbnails(primary_), 0, 16);
    std::vector<heif_item_id> ids(size_t(count), 0);
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), count);
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary_, ids[size_t(i)], &thumbnail).code !=
                heif_error_Ok ||
            !thumbnail) {
            sizes.emplace_back();
            continue;
        }
        sizes.emplace_back(heif_image_handle_get_width(thumbnail),
                           heif_image_handle_get_height(thumbnail));
        heif_image_handle_release(thumbnail);
    }
    return sizes;
}

QImage HeifFile::decode_thumbnail(int index) const {
    if (!problem_.ok() || index < 0) return {};
    const int count = std::clamp(heif_image_handle_get_number_of_thumbnails(primary_), 0, 16);
    std::vector<heif_item_id> ids(size_t(count), 0);
    if (index >= heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), count))
        return {};
    heif_image_handle* thumbnail = nullptr;
    if (heif_image_handle_get_thumbnail(primary_, ids[size_t(index)], &thumbnail).code !=
            heif_error_Ok ||
        !thumbnail)
        return {};
    QImage image = decode_checked(thumbnail, ids[size_t(index)], nullptr);
    heif_image_handle_release(thumbnail);
    return image;
}

int choose_thumbnail(const std::vector<QSize>& sizes, int side, int most_side) {
    int best = -1;
    auto longer = [&](int i) {
        return std::max(sizes[size_t(i)].width(), sizes[size_t(i)].height());
    };
    for (int i = 0; i < int(sizes.size()); ++i) {
        const QSize size = sizes[size_t(i)];
        if (size.isEmpty() || size.width() > most_side || size.height() > most_side) continue;
        if (best < 0) {
            best = i;
            continue;
        }
        const bool covers = longer(i) >= side, best_covers = longer(best) >= side;
        // Of those that cover the side the smallest, else the largest of those that do not.
        if (covers != best_covers ? covers
            : covers              ? longer(i) < longer(best)
                                  : longer(i) > longer(best))
            best = i;
    }
    return best;
}

}  // namespace fotavi
