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
Picture load_picture(const QString& path, QSize box);

}  // namespace fotavi
