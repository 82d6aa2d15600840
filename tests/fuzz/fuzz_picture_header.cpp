// The look at a picture file before decoding it (signature, JPEG marker walk,
// PNG header): a frame found to be shown has a size and a sane memory need.
#include "fuzz.h"
#include "platform/picture_header.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Header header = read_header(fuzz_bytes(data, size));
    if (header.signature.kind && header.frame.problem.ok()) {
        FUZZ_CHECK(header.frame.width > 0 && header.frame.height > 0);
        FUZZ_CHECK(header.frame.whole_image_bytes >= 0);
    }
    return 0;
}
