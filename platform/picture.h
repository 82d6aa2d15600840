#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace fotavi {

struct Picture {
    QImage image;   // null when the file could not be decoded
    QString error;  // why, when image is null
};

// The largest size of the given aspect that fits box.
QSize fit_into(QSize picture, QSize box);

// Decodes the JPEG at path straight to the size that fits box, turned by its
// EXIF orientation, keeping its aspect ratio; no full-size image is made.
// A HEIF picture (what phones save as HEIC) is decoded through libheif and
// turned as the file itself says. (A PNG picture named .jpg is shown too.) The file is looked at
// before it is read: anything that is no picture, or a picture whose decode would take more memory
// than a picture may, is refused with the reason in Japanese, and no more of the file is read than
// its decode needs. Never throws.
Picture load_picture(const QString& path, QSize box);

}  // namespace fotavi
