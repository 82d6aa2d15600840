// The EXIF block of a JPEG's head (the marker walk) and the capture time in
// a block (libexif and our date checks): whatever is found is a moment a
// camera could have recorded.
#include "pictures/capture_time.h"
#include "fuzz.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz_bytes(data, size);
    const QByteArray block = exif_block_in(bytes);
    // A JPEG's block is a piece of the file; a HEIF file's is its EXIF item
    // with the JPEG's header put in front.
    FUZZ_CHECK(block.isEmpty() || (block.startsWith(QByteArrayView("Exif\0\0", 6)) &&
                                   (bytes.contains(block) || bytes.contains(block.sliced(6)))));
    FUZZ_CHECK(could_be_read(parse_capture_time(block)));
    // The input as a block itself, so the fuzzer reaches libexif directly too.
    FUZZ_CHECK(could_be_read(parse_capture_time(bytes)));
    return 0;
}
