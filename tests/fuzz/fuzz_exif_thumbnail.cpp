// The embedded thumbnail of an EXIF block (libexif and our checks) and its
// decoding: whatever is found lies inside the input, has an orientation a
// camera writes, and decodes to no more than a thumbnail's size, turned.
#include "fuzz.h"
#include "overview/exif_thumbnail.h"
#include "pictures/capture_time.h"

using namespace fotavi;

namespace {

void check(const QByteArray& block) {
    const ExifThumbnail found = parse_exif_thumbnail(block);
    FUZZ_CHECK(found.jpeg.isEmpty() ||
               (found.jpeg.size() < block.size() && block.contains(found.jpeg)));
    FUZZ_CHECK(found.orientation >= 1 && found.orientation <= 8);
    FUZZ_CHECK(found.picture.isEmpty() ||
               (found.picture.width() < 1000000 && found.picture.height() < 1000000));
    const QImage image = thumbnail_image(found);
    FUZZ_CHECK(image.isNull() ||
               (image.width() <= kThumbnailMaxSide && image.height() <= kThumbnailMaxSide));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz_bytes(data, size);
    check(exif_block_in(bytes));
    // The input as a block itself, so the fuzzer reaches libexif directly too.
    check(bytes);
    return 0;
}
