#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "platform/files.h"
#include "platform/text_file.h"
#include "platform/worker.h"

namespace fotavi {

class FolderDocument;
struct SaveReport;

// The largest sidecar read for merging; real ones are a few kilobytes.
inline constexpr qint64 kSidecarLimit = 16 * 1024 * 1024;

// Sets the description of the sidecar NAME.ext.xmp beside the picture at
// picture_path to comment, keeping every other property of a sidecar already
// there; an empty comment takes the description away and keeps the sidecar
// (no sidecar is made for it). Written atomically, never through a symbolic
// link.
struct SidecarWrite {
    QString path;            // the sidecar
    bool not_xmp = false;    // a file there is no XMP we can rewrite: left as it is
    SmallFile unread;        // the sidecar there could not be read: its errno, its kind
    WriteProblem problem;    // why it could not be written
    bool ok() const { return !not_xmp && unread.ok() && problem.ok(); }
};
SidecarWrite write_sidecar(const QString& picture_path, const QString& comment);

// Whether the person asked for sidecars, as remembered in config_dir (the
// per-user configuration folder), and remembering it; the latter returns
// why it could not be kept, or empty.
bool sidecars_wanted(const QString& config_dir);
// 0, or the errno of why it could not be remembered.
int remember_sidecars_wanted(const QString& config_dir, bool on);

// The per-user configuration folder, where the sidecar setting is kept.
QString user_config_folder();

// While on, writes the sidecar of every comment the document has stored,
// on a worker of its own, after each save completes; failures come back on
// the owner's thread through on_failure, once until a sidecar is written again.
// Starts on when the person asked for sidecars (config_dir remembers it).
class SidecarSync {
public:
    SidecarSync(FolderDocument& document, const QString& config_dir,
                std::function<void(const SidecarWrite& failure)> on_failure);
    // Turns sidecars on or off and remembers it; 0, or the errno of why it
    // could not be remembered.
    int set_on(bool on);
    bool on() const { return on_; }
    // Blocks until every sidecar asked for is written; delivers the failures.
    void wait_idle();

private:
    void stored(const SaveReport& report);

    const QString config_dir_;
    const std::function<void(const SidecarWrite& failure)> on_failure_;
    bool on_ = false;
    bool failure_said_ = false;
    Mailbox results_;  // before the worker, which posts to it
    Worker worker_;
};

}  // namespace fotavi
