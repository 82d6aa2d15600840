// The journal of the version before (parse_old_journal): any bytes give rows
// with names and a comment each, numbers either exact or unknown, never cast.
#include <QFile>

#include "fuzz.h"
#include "comments/json_import.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const OldJournal journal = parse_old_journal(fuzz_bytes(data, size));
    for (const StoredComment& row : journal.rows) {
        FUZZ_CHECK(!row.name.isEmpty());
        FUZZ_CHECK(row.size >= -1);
        FUZZ_CHECK(row.size >= 0 || row.mtime_ns == 0);
        FUZZ_CHECK(row.mtime_ns >= 0);
    }
    return 0;
}
