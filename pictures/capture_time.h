#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "platform/date_time.h"
#include "platform/files.h"

namespace fotavi {

// The EXIF tag a picture's capture time came from.
enum class TimeTag { None, DateTimeOriginal, DateTimeDigitized, DateTime };

// The moment a camera recorded for a picture, as its clock showed it (the
// local time of the trip; no time zone is applied).
struct CaptureTime {
    DateTime date;         // whole seconds, so the minute shown is the camera's
    int microseconds = 0;  // the tag's SubSecTime: orders pictures of one second
    TimeTag tag = TimeTag::None;

    bool found() const { return tag != TimeTag::None; }
    bool operator==(const CaptureTime&) const = default;
};

// The EXIF block of a JPEG file: the contents of its APP1 segment from
// "Exif\0\0" on, found by walking the segment markers at the head of the file.
// Reads the marker headers and that one segment, never the picture. Empty when
// the file is no JPEG, has no EXIF block before the picture data, or ends
// inside the block. Of a HEIF file, its primary picture's EXIF item in the
// same form.
QByteArray read_exif_block(const QString& path);
// The same over the bytes of a file held in memory.
QByteArray exif_block_in(QByteArrayView file);

// The capture time in an EXIF block: DateTimeOriginal, else DateTimeDigitized,
// else the DateTime of the first directory, each only when it holds a real
// moment from 1900 to 2100. Nothing found for a missing or damaged block.
CaptureTime parse_capture_time(QByteArrayView block);

// Whether time is one parse_capture_time can give: nothing found (every
// field zero), or a moment from 1900 to 2100 from a known tag with its
// sub-second below one second. What a cache holds is checked with it.
bool could_be_read(const CaptureTime& time);

// Both at once: the capture time of the picture at path.
CaptureTime read_capture_time(const QString& path);

// An EXIF date-time, "YYYY:MM:DD HH:MM:SS" (NULs or spaces may follow);
// nothing when it is not a real moment from 1900 to 2100.
std::optional<DateTime> parse_exif_date(QByteArrayView text);
// SubSecTime digits as microseconds: "5" is half a second, "123" 0.123 s.
// Anything that is not digits gives 0.
int parse_sub_seconds(QByteArrayView text);

// The listing with each picture dated by its capture time where times has
// one (else its file time stays), in the order the table shows them: by
// date-time, then sub-second, then listing order. table_order's stable sort
// keeps that order. times runs parallel to files.
std::vector<ListedFile> order_by_capture_time(std::vector<ListedFile> files,
                                              const std::vector<CaptureTime>& times);

// Whether a folder's file times are plainly the time of a copy rather than
// of the camera: more than half of the pictures were written within ten
// minutes, while the cameras recorded those pictures over more than an hour.
// capture_time(i) reads picture i of files; at most 24 are read.
bool looks_copied(const std::vector<ListedFile>& files,
                  const std::function<CaptureTime(size_t)>& capture_time);

}  // namespace fotavi
