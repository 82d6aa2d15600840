#include "platform/heif_items.h"

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <optional>

namespace fotavi {

namespace {

// A meta box is a few KiB; phones' largest, with hundreds of grid tiles, are
// tens of KiB. Anything larger is not read.
constexpr qint64 kMostMetaBytes = 4 * 1024 * 1024;
// The top-level boxes looked through for the meta box.
constexpr int kMostTopBoxes = 64;
// Derivations nest a few levels at most (an identity over a grid of tiles).
constexpr int kMostDepth = 8;

constexpr uint32_t fourcc(const char (&name)[5]) {
    return uint32_t(uchar(name[0])) << 24 | uint32_t(uchar(name[1])) << 16 |
           uint32_t(uchar(name[2])) << 8 | uint32_t(uchar(name[3]));
}

// Bytes read from the front, each read checked; a read past the end fails
// and every later one too.
class Cursor {
public:
    Cursor(const char* data, qint64 size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    qint64 left() const { return ok_ ? size_ - at_ : 0; }
    uint32_t u8() { return uint32_t(take(1)); }
    uint32_t u16() { return uint32_t(take(2)); }
    uint32_t u32() { return uint32_t(take(4)); }
    uint32_t id(bool wide) { return wide ? u32() : u16(); }
    void skip(qint64 n) {
        if (n < 0 || n > left())
            ok_ = false;
        else
            at_ += n;
    }

private:
    uint64_t take(int n) {
        if (!ok_ || n > left()) {
            ok_ = false;
            return 0;
        }
        uint64_t value = 0;
        for (int i = 0; i < n; ++i) value = value << 8 | uchar(data_[at_ + i]);
        at_ += n;
        return value;
    }
    const char* data_;
    qint64 size_;
    qint64 at_ = 0;
    bool ok_ = true;
};

// One box inside a cursor: its type and a cursor over its body.
struct Box {
    uint32_t type = 0;
    const char* body = nullptr;
    qint64 size = 0;
};

// A box's header: its type, its whole length and the header's own.
struct BoxHeader {
    uint32_t type = 0;
    qint64 length = 0;
    qint64 header = 0;
};

// The header at the front of head (available bytes of it, 8 or more), of a
// box that may take up to room bytes; nothing when it does not fit there.
std::optional<BoxHeader> header_of(const char* head, qint64 available, qint64 room) {
    Cursor cursor(head, available);
    BoxHeader box;
    box.length = cursor.u32();
    box.type = cursor.u32();
    box.header = 8;
    if (box.length == 1) {
        const uint64_t large = uint64_t(cursor.u32()) << 32 | cursor.u32();
        if (!cursor.ok() || large > uint64_t(room)) return std::nullopt;
        box.length = qint64(large);
        box.header = 16;
    } else if (box.length == 0) {
        box.length = room;
    }
    if (!cursor.ok() || box.length < box.header || box.length > room) return std::nullopt;
    return box;
}

// The boxes of data, one after another; stops at the first that does not
// fit, and then *whole (when given) is false.
std::vector<Box> boxes_in(const char* data, qint64 size, bool* whole = nullptr) {
    std::vector<Box> boxes;
    qint64 at = 0;
    while (size - at >= 8) {
        const auto box = header_of(data + at, size - at, size - at);
        if (!box) break;
        boxes.push_back({box->type, data + at + box->header, box->length - box->header});
        at += box->length;
    }
    if (whole && at != size) *whole = false;
    return boxes;
}

}  // namespace

HeifItems HeifItems::from_meta(const char* data, qint64 size) {
    HeifItems items;
    if (size < 4) return items;
    // Boxes that do not fit, cut entries or unknown versions leave room for
    // libheif to read the file otherwise than here: then nothing is decoded.
    bool whole = true;
    for (const Box& box : boxes_in(data + 4, size - 4, &whole)) {  // after version and flags
        Cursor body(box.body, box.size);
        const uint32_t version = body.u8();
        body.skip(3);
        if (box.type == fourcc("iinf")) {
            body.skip(version == 0 ? 2 : 4);
            whole = whole && body.ok() && version <= 1;
            const qint64 start = box.size - body.left();
            for (const Box& entry : boxes_in(box.body + start, body.left(), &whole)) {
                if (entry.type != fourcc("infe")) continue;
                Cursor infe(entry.body, entry.size);
                const uint32_t infe_version = infe.u8();
                infe.skip(3);
                if (infe_version < 2) continue;  // no item type in these
                const uint32_t id = infe.id(infe_version >= 3);
                infe.skip(2);  // protection index
                const uint32_t type = infe.u32();
                whole = whole && infe.ok() && infe_version <= 3 && !items.types_.count(id);
                items.types_[id] = type;
            }
        } else if (box.type == fourcc("iref")) {
            whole = whole && body.ok() && version <= 1;
            const qint64 start = box.size - body.left();
            for (const Box& reference : boxes_in(box.body + start, body.left(), &whole)) {
                Cursor refs(reference.body, reference.size);
                const uint32_t from = refs.id(version != 0);
                const uint32_t count = refs.u16();
                std::vector<uint32_t> to;
                for (uint32_t i = 0; i < count && refs.ok(); ++i)
                    to.push_back(refs.id(version != 0));
                whole = whole && refs.ok() && refs.left() == 0;
                if (reference.type == fourcc("dimg")) {
                    std::vector<uint32_t>& all = items.derived_from_[from];
                    all.insert(all.end(), to.begin(), to.end());
                }
            }
        }
    }
    items.whole_ = whole;
    return items;
}

HeifItems HeifItems::read(const Read& read, qint64 size) {
    // A second meta box could be the one libheif reads, and one not found
    // here was found there: then nothing is decoded.
    HeifItems found;
    bool seen = false;
    qint64 at = 0;
    for (int i = 0; i < kMostTopBoxes && size - at >= 8; ++i) {
        char head[16];
        const qint64 available = std::min<qint64>(16, size - at);
        if (!read(at, head, available)) break;
        const auto box = header_of(head, available, size - at);
        if (!box) break;
        if (box->type == fourcc("meta")) {
            const qint64 body = box->length - box->header;
            QByteArray bytes(std::min(body, kMostMetaBytes), Qt::Uninitialized);
            if (seen || body > kMostMetaBytes || !read(at + box->header, bytes.data(), body))
                return {};
            found = from_meta(bytes.constData(), body);
            seen = true;
        }
        at += box->length;
    }
    return found;
}

bool HeifItems::derivations_sound(uint32_t item) const {
    if (!whole_) return false;
    std::vector<uint32_t> path;
    return sound(item, 0, path);
}

bool HeifItems::sound(uint32_t item, int depth, std::vector<uint32_t>& path) const {
    const auto derived = derived_from_.find(item);
    if (derived == derived_from_.end()) return true;
    if (depth >= kMostDepth || std::find(path.begin(), path.end(), item) != path.end())
        return false;
    static const uint32_t kPictureTypes[] = {fourcc("hvc1"), fourcc("av01"), fourcc("grid"),
                                             fourcc("iden"), fourcc("iovl")};
    path.push_back(item);
    for (const uint32_t from : derived->second) {
        const auto type = types_.find(from);
        if (type == types_.end() ||
            std::find(std::begin(kPictureTypes), std::end(kPictureTypes), type->second) ==
                std::end(kPictureTypes) ||
            !sound(from, depth + 1, path))
            return false;
    }
    path.pop_back();
    return true;
}

}  // namespace fotavi
