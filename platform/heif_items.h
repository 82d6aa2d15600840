#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace fotavi {

// The items of a HEIF file as its meta box lists them: each item's type and
// the items each is derived from (a grid's tiles, what an identity turns,
// an overlay's layers). Read by the program itself so that a derivation
// pointing at something that is not a picture is refused before libheif,
// which asserts on it, is asked to decode it.
class HeifItems {
public:
    // Reads the boxes through read(offset, into, count), which gives whether
    // all count bytes were read, from a file of size bytes. Nothing is known
    // when there is not exactly one meta box, or it cannot be read.
    using Read = std::function<bool(qint64 offset, char* into, qint64 count)>;
    static HeifItems read(const Read& read, qint64 size);
    // The same over the boxes in memory (the meta box's own bytes, from its
    // version on); read ends here, and tests start here.
    static HeifItems from_meta(const char* data, qint64 size);

    // Whether item can be decoded as far as its derivations go: every item
    // it is derived from, all the way down, is listed with a type of coded
    // or derived picture, and none derives from itself. True for an item
    // that derives from nothing; false for every item when the lists are
    // damaged (a box that does not fit, an entry cut short, an item listed
    // twice) or were not found.
    bool derivations_sound(uint32_t item) const;

private:
    bool sound(uint32_t item, int depth, std::vector<uint32_t>& path) const;

    bool whole_ = false;  // one meta box found, its lists read whole
    std::map<uint32_t, uint32_t> types_;                      // item -> four-character type
    std::map<uint32_t, std::vector<uint32_t>> derived_from_;  // item -> its 'dimg' items
};

}  // namespace fotavi
