#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

namespace fotavi {

// An embedded thumbnail lives inside one APP1 segment (at most 64 KiB); a
// larger claimed size is no thumbnail.
inline constexpr int kThumbnailMaxSide = 1024;

// The small picture a camera stores in its EXIF block (IFD1, most often
// 160 x 120) and what is needed to show it the right way up.
struct ExifThumbnail {
    QByteArray jpeg;      // the embedded JPEG's bytes; empty when there is none
    int orientation = 1;  // EXIF Orientation of the picture, 1 to 8
    QSize picture;        // PixelXDimension x PixelYDimension, as stored; empty if not given
};

// The embedded thumbnail of an EXIF block as read_exif_block returns it;
// nothing for a missing or damaged block.
ExifThumbnail parse_exif_thumbnail(QByteArrayView block);

// image turned and mirrored as EXIF orientation says (1 to 8; anything else
// leaves it as it is).
QImage oriented(const QImage& image, int orientation);

// The embedded thumbnail decoded, cut to the picture's own shape where the
// camera filled a 4:3 thumbnail with bars, and turned by the picture's
// orientation; a null image when it is missing, damaged or larger than a
// thumbnail can be.
QImage thumbnail_image(const ExifThumbnail& thumbnail);

// The embedded thumbnail of the JPEG at path, decoded, cut to the picture's
// own shape where the camera filled a 4:3 thumbnail with bars, and turned by
// the picture's orientation; a null image when there is none. Reads only the
// head of the file.
QImage read_exif_thumbnail(const QString& path);

// The thumbnail a HEIF file holds as an image of its own, turned as the file
// says: the smallest that covers side pixels on its longer side (covers is
// then true), else the largest. A null image for any other file or a HEIF
// file without one.
struct OwnThumbnail {
    QImage image;
    bool covers = false;
};
OwnThumbnail read_heif_thumbnail(const QString& path, int side);

}  // namespace fotavi
