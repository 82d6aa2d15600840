#pragma once

#include <QString>

#include <atomic>
#include <utility>
#include <vector>

namespace fotavi {

// The captions pictures of folder already carry: for each picture given
// (its index and file name), the one description its sidecar NAME.ext.xmp or
// its own metadata holds (see chosen_caption), where it has one. done counts
// the pictures looked at. Reads only; a sidecar is never read through a link.
std::vector<std::pair<int, QString>> captions_in_pictures(
    const QString& folder, const std::vector<std::pair<int, QString>>& pictures,
    std::atomic<int>* done = nullptr);

}  // namespace fotavi
