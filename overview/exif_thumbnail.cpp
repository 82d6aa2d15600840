#include "overview/exif_thumbnail.h"

#include <QBuffer>
#include <QImageReader>
#include <QScopeGuard>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <libexif/exif-data.h>

#include "pictures/capture_time.h"
#include "platform/heif.h"

namespace fotavi {

namespace {

// The first value of a SHORT or LONG tag, or 0.
quint32 number_of(ExifData* data, ExifIfd ifd, ExifTag tag) {
    ExifContent* content = data->ifd[ifd];
    if (!content) return 0;
    const ExifEntry* entry = exif_content_get_entry(content, tag);
    if (!entry || !entry->data || entry->components < 1) return 0;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2)
        return exif_get_short(entry->data, order);
    if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4)
        return exif_get_long(entry->data, order);
    return 0;
}

// The middle of image in the shape of picture, when the two shapes differ
// by more than a rounding: cameras pad a 3:2 picture's 4:3 thumbnail with bars.
QImage cut_to_shape(const QImage& image, QSize picture) {
    if (picture.isEmpty() || image.isNull()) return image;
    const double want = double(picture.width()) / picture.height();
    const double have = double(image.width()) / image.height();
    if (std::abs(want / have - 1) < 0.03) return image;
    if (want > have) {
        const int height = std::max(1, int(std::lround(image.width() / want)));
        return image.copy(0, (image.height() - height) / 2, image.width(), height);
    }
    const int width = std::max(1, int(std::lround(image.height() * want)));
    return image.copy((image.width() - width) / 2, 0, width, image.height());
}

}  // namespace

ExifThumbnail parse_exif_thumbnail(QByteArrayView block) {
    ExifThumbnail result;
    if (block.size() < 14) return result;
    ExifData* data = exif_data_new();
    if (!data) return result;
    const auto free_data = qScopeGuard([data] { exif_data_unref(data); });
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(block.data()),
                        unsigned(block.size()));
    if (data->data && data->size > 0)
        result.jpeg = QByteArray(reinterpret_cast<const char*>(data->data), qsizetype(data->size));
    const quint32 orientation = number_of(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    if (orientation >= 1 && orientation <= 8) result.orientation = int(orientation);
    const quint32 width = number_of(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION);
    const quint32 height = number_of(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION);
    if (width > 0 && height > 0 && width < 1000000 && height < 1000000)
        result.picture = QSize(int(width), int(height));
    return result;
}

QImage oriented(const QImage& image, int orientation) {
    // Orientations 2 to 8 are a mirroring (left-right, top-bottom or both)
    // followed by a quarter turn clockwise or none.
    static const struct {
        bool mirror, flip, turn;
    } steps[9] = {{},
                  {false, false, false},
                  {true, false, false},
                  {true, true, false},
                  {false, true, false},
                  {false, true, true},
                  {false, false, true},
                  {true, false, true},
                  {true, true, true}};
    if (image.isNull() || orientation < 2 || orientation > 8) return image;
    const auto& step = steps[orientation];
    QImage result = image.mirrored(step.mirror, step.flip);
    if (step.turn) result = result.transformed(QTransform().rotate(90));
    return result;
}

QImage read_exif_thumbnail(const QString& path) {
    return thumbnail_image(parse_exif_thumbnail(read_exif_block(path)));
}

QImage thumbnail_image(const ExifThumbnail& thumbnail) {
    if (thumbnail.jpeg.isEmpty()) return {};
    QByteArray bytes = thumbnail.jpeg;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || size.width() > kThumbnailMaxSide ||
        size.height() > kThumbnailMaxSide)
        return {};
    const QImage image = reader.read();
    if (image.isNull()) return {};
    return oriented(cut_to_shape(image, thumbnail.picture), thumbnail.orientation);
}

OwnThumbnail read_heif_thumbnail(const QString& path, int side) {
    const std::unique_ptr<HeifFile> file = HeifFile::open(path);
    if (!file) return {};
    const std::vector<QSize> sizes = file->thumbnail_sizes();
    const int chosen = choose_thumbnail(sizes, side, kThumbnailMaxSide);
    if (chosen < 0) return {};
    const QSize size = sizes[size_t(chosen)];
    return {file->decode_thumbnail(chosen), std::max(size.width(), size.height()) >= side};
}

}  // namespace fotavi
