#include "exchange/captions_in_folder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>

#include "exchange/captions.h"
#include "exchange/sidecars.h"
#include "platform/files.h"

namespace fotavi {

std::vector<std::pair<int, QString>> captions_in_pictures(
    const QString& folder, const std::vector<std::pair<int, QString>>& pictures,
    std::atomic<int>* done) {
    std::vector<std::pair<int, QString>> found;
    const QDir dir(folder);
    for (const auto& [index, name] : pictures) {
        const QString path = dir.filePath(name);
        const SmallFile sidecar = read_small_file_at(
            AT_FDCWD, QFile::encodeName(path + QStringLiteral(".xmp")), kSidecarLimit, false);
        const QString from_sidecar = sidecar.ok() ? sidecar_description(sidecar.bytes) : QString();
        const QString caption = chosen_caption(read_captions_of_file(path), from_sidecar);
        if (!caption.isEmpty()) found.emplace_back(index, caption);
        if (done) ++*done;
    }
    return found;
}

}  // namespace fotavi
