#pragma once

#include <QStringView>

#include <vector>

#include "time_log/log_readback.h"

namespace fotavi {

// The lines of a time_log.txt, as views into its decoded text.
using LogLines = std::vector<QStringView>;

// Reads a file that is not exactly as the writer makes it: tags in any letter
// case, blanks around them, rows broken or missing, a file cut short. The
// table holds the entries; when it has no end, the diary above it gives the
// entries after its last whole row. last_line_cut: the file does not end
// with a line break.
void read_leniently(const LogLines& lines, bool last_line_cut, LogRead& read);

}  // namespace fotavi
