#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/failure.h"
#include "platform/heif_items.h"

struct heif_context;
struct heif_image_handle;

namespace fotavi {

// A HEIF file (what phones save as HEIC) opened for the items the program
// uses: the primary picture, its EXIF block and its thumbnails, read through
// libheif. Only the boxes that describe the items and the items asked for are
// read, never the whole file. Outside input: every size is checked before
// anything is decoded. Not thread-safe; one object a thread.
class HeifFile {
public:
    // Reads the file open as fd (size bytes, positioned reads only).
    HeifFile(int fd, qint64 size);
    // Reads a file held in memory, which must outlive the object.
    explicit HeifFile(QByteArrayView bytes);
    // The file at path when it is a regular file whose first bytes say it
    // is HEIF, open for reading (the object holds it open); else nothing.
    // Never waits on a named pipe put in a picture's place.
    static std::unique_ptr<HeifFile> open(const QString& path);
    ~HeifFile();
    HeifFile(const HeifFile&) = delete;
    HeifFile& operator=(const HeifFile&) = delete;

    // Why the file cannot be read; none when it can.
    Failure problem() const { return problem_; }

    // The primary picture's size as shown, after the file's own turns.
    QSize size() const;
    bool has_alpha() const;

    // The primary picture at full size, turned and mirrored as the file
    // says; a null image with the reason in *error otherwise.
    QImage decode(Failure* error) const;

    // The EXIF block of the primary picture in the form a JPEG's APP1
    // segment holds it ("Exif\0\0" and the TIFF header on); empty when there
    // is none or it is damaged.
    QByteArray exif_block() const;

    // The sizes of the primary picture's thumbnails, in the file's order.
    std::vector<QSize> thumbnail_sizes() const;
    // Thumbnail number index decoded, turned as the file says; null on failure.
    QImage decode_thumbnail(int index) const;

private:
    void open_primary();
    // handle (the item numbered item) decoded, or a null image with *error
    // set when its derivations point at something that is not a picture.
    QImage decode_checked(const heif_image_handle* handle, uint32_t item, Failure* error) const;

    struct Reader;
    std::unique_ptr<Reader> reader_;
    std::function<HeifItems()> read_items_;
    mutable std::optional<HeifItems> items_;
    heif_context* context_ = nullptr;
    heif_image_handle* primary_ = nullptr;
    Failure problem_;
};

// Whether the file open as fd starts as a HEIF file does (reads its first bytes).
bool is_heif(int fd);

// Which of a picture's thumbnails (their sizes) serves a square of side
// pixels: the smallest that covers it on its longer side, else the largest;
// one whose sides are empty or longer than most_side is never chosen. -1
// when none serves.
int choose_thumbnail(const std::vector<QSize>& sizes, int side, int most_side);

}  // namespace fotavi
