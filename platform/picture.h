#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

#include "platform/failure.h"

namespace fotavi {

struct Picture {
    QImage image;     // null when the file could not be decoded
    Failure problem;  // why, when image is null
};

// The largest size of the given aspect that fits box.
QSize fit_into(QSize picture, QSize box);

// Decodes the JPEG at path straight to the size that fits box, turned by its
// EXIF orientation, keeping its aspect ratio; no full-size image is made.
// A HEIF picture (what phones save as HEIC) is decoded through libheif and
// turned as the file itself says. (A PNG picture named .jpg is shown too.) The file is looked at
// before it is read: anything that is no picture, or a picture whose decode would take more memory
// than a picture may, is refused with the reason, and no more of the file is read than its decode
// needs. Never throws.
Picture load_picture(const QString& path, QSize box);

// Something that loads a picture the way load_picture does; tests put in their own.
using PictureLoader = std::function<Picture(const QString& path, QSize box)>;

// Runs load on path and box, turning anything it throws into a Picture with
// the reason as its problem: a loader put in may throw where load_picture never
// does, and a worker must not end with it.
Picture load_safely(const PictureLoader& load, const QString& path, QSize box);

}  // namespace fotavi
