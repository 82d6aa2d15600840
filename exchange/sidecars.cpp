#include "exchange/sidecars.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>

#include "comments/comment_store.h"
#include "document/folder_document.h"
#include "exchange/captions.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace fotavi {

namespace {

const QString kSettingsName = QStringLiteral("exchange.ini");
const QString kSidecarsKey = QStringLiteral("sidecars/write");

}  // namespace

SidecarWrite write_sidecar(const QString& picture_path, const QString& comment) {
    SidecarWrite result;
    result.path = picture_path + QStringLiteral(".xmp");
    const SmallFile existing =
        read_small_file_at(AT_FDCWD, QFile::encodeName(result.path), kSidecarLimit, false);
    if (existing.error == ENOENT && comment.isEmpty()) return result;
    if (existing.error != 0 && existing.error != ENOENT) {
        if (existing.kind == S_IFLNK)
            result.problem = refuse_to_write(result.path);
        else
            result.unread = existing;
        return result;
    }
    QString problem;
    const std::optional<QByteArray> bytes =
        sidecar_with_description(existing.bytes, comment, &problem);
    if (!bytes)
        result.not_xmp = true;
    else
        result.problem = write_file_atomically(result.path, *bytes);
    return result;
}

bool sidecars_wanted(const QString& config_dir) {
    const QSettings settings(QDir(config_dir).filePath(kSettingsName), QSettings::IniFormat);
    return settings.value(kSidecarsKey, false).toBool();
}

int remember_sidecars_wanted(const QString& config_dir, bool on) {
    if (const int error = make_folders(config_dir); error != 0) return error;
    QSettings settings(QDir(config_dir).filePath(kSettingsName), QSettings::IniFormat);
    settings.setValue(kSidecarsKey, on);
    settings.sync();
    return settings.status() == QSettings::NoError ? 0 : EIO;
}

QString user_config_folder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

SidecarSync::SidecarSync(FolderDocument& document, const QString& config_dir,
                         std::function<void(const SidecarWrite& failure)> on_failure)
    : config_dir_(config_dir), on_failure_(std::move(on_failure)) {
    on_ = sidecars_wanted(config_dir_);
    QObject::connect(&document, &FolderDocument::stored, &results_,
                     [this](const SaveReport& report) { stored(report); });
}

void SidecarSync::stored(const SaveReport& report) {
    if (!on_) return;
    for (const CommentChange& change : report.changes) {
        const QString path = QDir(report.folder).filePath(change.name);
        worker_.post([this, path, comment = change.comment] {
            const SidecarWrite written = write_sidecar(path, comment);
            results_.post([this, written] {
                if (written.ok()) {
                    failure_said_ = false;
                } else if (!failure_said_) {
                    failure_said_ = true;
                    if (on_failure_) on_failure_(written);
                }
            });
        });
    }
}

int SidecarSync::set_on(bool on) {
    on_ = on;
    return remember_sidecars_wanted(config_dir_, on);
}

void SidecarSync::wait_idle() {
    worker_.wait_idle();
    results_.deliver();
}

}  // namespace fotavi
