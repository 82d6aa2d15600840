// The parts of a HEIF file the program reads besides the picture: the box
// structure up to the primary picture, its EXIF item made a JPEG's EXIF
// block, the choice among its thumbnails, and the program's own reading of
// what each item derives from, which guards libheif's decoder. What is found
// is sane, and no thumbnail decode stops the program.
#include "fuzz.h"
#include "pictures/capture_time.h"
#include "platform/heif.h"

#include <algorithm>

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz_bytes(data, size);
    const HeifFile file(bytes);
    if (!file.problem().ok()) return 0;
    const QSize shown = file.size();
    FUZZ_CHECK(shown.width() > 0 && shown.height() > 0 && shown.width() <= 16384 &&
               shown.height() <= 16384);
    const QByteArray block = file.exif_block();
    FUZZ_CHECK(block.isEmpty() || (block.startsWith(QByteArrayView("Exif\0\0", 6)) &&
                                   block.size() <= qsizetype(size) + 6));
    FUZZ_CHECK(could_be_read(parse_capture_time(block)));
    const std::vector<QSize> sizes = file.thumbnail_sizes();
    for (const int side : {32, 256}) {
        const int chosen = choose_thumbnail(sizes, side, 1024);
        FUZZ_CHECK(chosen >= -1 && chosen < int(sizes.size()));
        if (chosen < 0) continue;
        const QSize size = sizes[size_t(chosen)];
        FUZZ_CHECK(!size.isEmpty() && size.width() <= 1024 && size.height() <= 1024);
        // Decoding a small one reaches libheif's colour conversion and turns too.
        if (std::max(size.width(), size.height()) <= 64) {
            const QImage image = file.decode_thumbnail(chosen);
            FUZZ_CHECK(image.isNull() || !image.size().isEmpty());
        }
    }
    return 0;
}
