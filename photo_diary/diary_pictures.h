#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "platform/picture.h"

namespace fotavi {

// The long side of a picture in the diary: sharp on screen and in print
// (about 170 dpi at the PDF's 70 mm).
inline constexpr int kDiaryPictureSide = 480;

// A picture ready for the diary.
struct DiaryPicture {
    QByteArray jpeg;  // the picture fitted into kDiaryPictureSide, turned upright; empty if none
    QSize size;       // of jpeg
    QString error;    // why there is none
};

struct DiaryPictureSource {
    QString thumbnail_root;  // the desktop's thumbnail cache; empty: not used
    int decoders = 2;
    PictureLoader loader = load_picture;
    FailureText reason;  // the sentence for a picture that cannot be shown (app's)
};

// The pictures at paths, made on several workers: a large enough thumbnail of
// the desktop's cache where there is one, else a decode at the cache's
// x-large size, which is then written to the cache for the next time.
// step(done) is called on the caller's thread after each picture; false
// stops the work, and an empty list is returned.
std::vector<DiaryPicture> diary_pictures(const QStringList& paths, const DiaryPictureSource& source,
                                         const std::function<bool(int done)>& step = {});

}  // namespace fotavi
