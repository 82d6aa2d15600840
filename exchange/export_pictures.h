#pragma once

#include <QString>
#include <QStringList>

#include <ctime>
#include <functional>
#include <vector>

namespace fotavi {

// One picture to copy and the comment to carry in it.
struct PictureToExport {
    QString name;  // a file name in the request's folder
    QString comment;
};

struct ExportRequest {
    QString folder;       // where the pictures are
    QString destination;  // where the copies go (made when missing)
    std::vector<PictureToExport> pictures;
    // Files of the same names in the destination are replaced (the person
    // agreed); otherwise they are left as they are and listed.
    bool replace_existing = false;
};

// What stopped one picture's copy.
struct ExportFailure {
    enum class Step { Read, Caption, Write, Link };
    QString name;
    Step step = Step::Read;
    int error = 0;   // the errno, where the system refused
    QString detail;  // exiv2's reason, where the caption could not be written
};

struct ExportReport {
    int written = 0;       // copies made
    int with_sidecar = 0;  // of them, copies whose caption went to a sidecar beside
    QStringList existing;  // names left as they were in the destination
    std::vector<ExportFailure> failures;
    bool cancelled = false;
    // The whole export could not start: the destination is the pictures'
    // own folder, or could not be made (errno).
    bool same_folder = false;
    int destination_error = 0;
    bool ok() const {
        return !cancelled && !same_folder && destination_error == 0 && failures.empty() &&
               existing.isEmpty();
    }
};

// The names of pictures that the destination already holds something under.
QStringList existing_names(const QString& destination,
                           const std::vector<PictureToExport>& pictures);

// Copies the pictures into the destination, each with its comment written
// into its metadata (where the kind of picture takes none, into NAME.ext.xmp
// beside the copy); only the metadata differs from the picture's, and the
// copy keeps the picture's modification time. Each copy is written to a
// temporary file in the destination and then given its name, so a copy is
// there whole or not at all; nothing is read or written through a symbolic
// link. go_on(done, total) is called before the first picture and after
// each; false stops the export, leaving the copies made so far.
ExportReport export_pictures(const ExportRequest& request,
                             const std::function<bool(int done, int total)>& go_on);

// Writes bytes to name in the folder open as dir_fd through a temporary file
// there, with the modification time mtime (timespec: seconds, nanoseconds),
// never through a symbolic link; replace says whether a file of that name may
// be replaced. 0, or the errno (EEXIST: the name is taken).
int write_new_file(int dir_fd, const QByteArray& name, const QByteArray& bytes,
                   const struct timespec* mtime, bool replace);

}  // namespace fotavi
