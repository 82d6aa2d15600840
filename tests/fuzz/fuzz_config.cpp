// def_list.txt (parse_config): any bytes give settings; a file read without
// a problem is written and read back to the same settings.
#include "fuzz.h"
#include "settings/settings.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ConfigRead read = parse_config(fuzz_bytes(data, size));
    if (!read.ok()) return 0;
    const ConfigRead again = parse_config(serialize_config(read.settings));
    FUZZ_CHECK(again.ok() && again.settings == read.settings);
    return 0;
}
