// Rename notes (parse_rename_note): a note is taken only when both its
// names stay inside the folder, and only in the one form the program writes.
#include "fuzz.h"
#include "platform/files.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz_bytes(data, size);
    const std::optional<RenameNote> note = parse_rename_note(bytes);
    if (!note) return 0;
    for (const QByteArray& name : {note->from, note->to}) {
        FUZZ_CHECK(!name.isEmpty() && name.size() <= 255 && name != "." && name != ".." &&
                   !name.contains('/') && !name.contains('\0'));
    }
    FUZZ_CHECK(rename_note_bytes(*note) == bytes);
    return 0;
}
