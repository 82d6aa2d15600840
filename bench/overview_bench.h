#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

namespace fotavi {

// count camera-like pictures of size in folder (a few distinct ones, the
// rest second names for them), with an embedded EXIF thumbnail as most
// cameras write one when asked; their paths.
QStringList make_pictures(const QString& folder, int count, QSize size, bool embedded = false);
double seconds(const std::function<void()>& f);
// The peak resident memory of this process so far.
long peak_mib();
int cores();

// The overview's window on a folder of 2,000 pictures: from opening to the
// first painted frame and to every thumbnail on screen final, cache empty
// and full.
void bench_overview_window(int count);
// Peak memory of a process that opens the overview on count pictures, and
// of one that scrolls it from end to end.
void bench_overview_memory(int count);
// The child process of bench_overview_memory: args are the program, then
// "--open" or "--scroll", the folder and the thumbnail cache.
int overview_scroll_child(const QStringList& args);

}  // namespace fotavi
