#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "platform/picture.h"

namespace fotavi {

// The long side of a picture in the diary: sharp on screen and in print
// (about 170 dpi at the PDF's 70 mm).
inline constexpr int kDiaryPictureSide = 480;

// Why a picture of the diary has no JPEG data.
enum class DiaryPictureProblem {
    None,
    Unreadable,  // the decoder refused it; DiaryPicture::failure says why
    NotEncoded,  // decoded, but no memory was left to make its JPEG data
};

// A picture ready for the diary.
struct DiaryPicture {
    QByteArray jpeg;  // the picture fitted into kDiaryPictureSide, turned upright; empty if none
    QSize size;       // of jpeg
    DiaryPictureProblem problem = DiaryPictureProblem::None;
    Failure failure;  // the decoder's, when Unreadable
    QString error;    // the reason the diary shows where there is no jpeg
};

// The reason the diary shows for a picture without JPEG data, made where the
// person's sentences are made.
using DiaryReason = std::function<QString(const DiaryPicture&)>;

struct DiaryPictureSource {
    QString thumbnail_root;  // the desktop's thumbnail cache; empty: not used
    int decoders = 2;
    PictureLoader loader = load_picture;
    // Where the pictures' JPEG data waits, in a file of no name, until the
    // diary is written out (beside the diary: it is about as large as the
    // pictures in it); empty: the system's temporary folder.
    QString spool_folder = QString();
};

// The pictures of a diary in order. What the page layout needs of each (its
// size, why it has none) is held here; the JPEG data waits in a file of no
// name and is read back one picture at a time, so memory does not grow with
// the number of pictures.
class DiaryPictures {
public:
    DiaryPictures();
    ~DiaryPictures();
    DiaryPictures(DiaryPictures&&) noexcept;
    DiaryPictures& operator=(DiaryPictures&&) noexcept;

    int count() const { return int(held_.size()); }
    // Picture i without its JPEG data; a picture past the end has none and no reason.
    const DiaryPicture& shape(int i) const;
    bool has_jpeg(int i) const { return shape(i).size.isValid(); }
    // Picture i with its JPEG data read back (none if it cannot be read).
    DiaryPicture read(int i) const;
    // Pictures without JPEG data.
    int missing() const;
    // The errno that kept a picture's data from being kept, or 0.
    int error() const { return error_; }
    // Sets the reason of each picture without JPEG data to reason(picture).
    void explain(const DiaryReason& reason);

private:
    friend DiaryPictures diary_pictures(const QStringList&, const DiaryPictureSource&,
                                        const std::function<bool(int)>&);
    struct Spool;
    std::vector<DiaryPicture> held_;  // each one's jpeg left empty
    std::vector<std::pair<qint64, qint64>> places_;  // each one's data: offset, length
    std::unique_ptr<Spool> spool_;
    int error_ = 0;
};

// The pictures at paths, made on several workers: a large enough thumbnail of
// the desktop's cache where there is one, else a decode at the cache's
// x-large size, which is then written to the cache for the next time. Each
// picture's JPEG data goes to the spool as soon as it is made.
// step(done) is called on the caller's thread after each picture; false
// stops the work, and no pictures are returned.
DiaryPictures diary_pictures(const QStringList& paths, const DiaryPictureSource& source,
                             const std::function<bool(int done)>& step = {});

}  // namespace fotavi
