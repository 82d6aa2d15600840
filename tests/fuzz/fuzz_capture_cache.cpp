// The capture-time cache file: only values reading a picture could give are
// taken, and what is taken is written and read back the same.
#include "pictures/capture_cache.h"
#include "fuzz.h"

using namespace fotavi;

namespace {

const QString kFolder = QStringLiteral("/pictures/trip");

bool sound(const CachedTimes& times) {
    for (const CachedTime& t : times)
        if (t.size < 0 || !could_be_read(t.time)) return false;
    return true;
}

bool same(const CachedTimes& a, const CachedTimes& b) {
    if (a.size() != b.size()) return false;
    for (auto it = a.cbegin(); it != a.cend(); ++it) {
        const auto other = b.constFind(it.key());
        if (other == b.cend() || other->size != it->size || other->mtime_ns != it->mtime_ns ||
            !(other->time == it->time))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<CachedTimes> times = parse_capture_cache(fuzz_bytes(data, size), kFolder);
    if (!times) return 0;
    FUZZ_CHECK(sound(*times));
    const std::optional<CachedTimes> again =
        parse_capture_cache(capture_cache_bytes(kFolder, *times), kFolder);
    FUZZ_CHECK(again && same(*again, *times));
    return 0;
}
