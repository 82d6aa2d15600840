#pragma once

#include <QString>

#include <vector>

#include "comments/comment_store.h"
#include "pictures/clock_correction.h"
#include "platform/files.h"

namespace fotavi {

// The cameras of the listed pictures of folder (read from each picture's
// EXIF, so on a worker), when a correction of the time mode in use applies
// to any camera; empty when none does and nothing needs reading.
std::vector<QString> cameras_to_correct(const QString& folder, const std::vector<ListedFile>& files,
                                        const std::vector<ClockCorrection>& corrections,
                                        bool capture_time);

// Adds the corrections to the times of their cameras' pictures and puts the
// files in the order of the corrected times, the store's rows following
// their pictures (cameras as cameras_to_correct gave them; empty: nothing
// changes). The window and the commands run without a window order a
// folder alike through this.
void order_by_corrected_clocks(std::vector<ListedFile>& files, StoreLoad& load,
                               const std::vector<QString>& cameras, bool capture_time);

}  // namespace fotavi
