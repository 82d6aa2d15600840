#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

#include "platform/files.h"

namespace fotavi {

// A camera as its pictures name it: EXIF Make and Model, and the body's
// serial number when the camera writes one, joined by " / ". A phone and a
// camera are two cameras; two bodies of one model with serial numbers are
// two. Empty when the block names neither make nor model.
QString camera_of(QByteArrayView exif_block);
// The camera of the picture at path (JPEG or HEIF); empty when unknown.
QString read_camera(const QString& path);

// A camera's clock set wrong: seconds are added to the time of each of its
// pictures, in the time mode it was set in (the file times of a copied card
// and the cameras' capture times are off by different amounts).
struct ClockCorrection {
    QString camera;
    bool capture_time = false;
    qint64 seconds = 0;
    bool operator==(const ClockCorrection&) const = default;
};

// The correction of camera in the given mode among corrections, if any.
std::optional<ClockCorrection> correction_for(const std::vector<ClockCorrection>& corrections,
                                              const QString& camera, bool capture_time);

// The order of files once the corrections of the given mode are added to
// the dates of their cameras' pictures (cameras runs parallel to files):
// order[k] is the index in files of the k-th picture. Files are sorted
// stably by their corrected dates, so pictures of one second keep the order
// they came in. files' dates are corrected in place.
std::vector<size_t> correct_clocks(std::vector<ListedFile>& files,
                                   const std::vector<QString>& cameras,
                                   const std::vector<ClockCorrection>& corrections,
                                   bool capture_time);

// Whole seconds of an offset of days, hours and minutes, each of either sign.
inline qint64 offset_seconds(int days, int hours, int minutes) {
    return ((qint64(days) * 24 + hours) * 60 + minutes) * 60;
}

}  // namespace fotavi
