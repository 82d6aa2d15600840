#include "pictures/clock_correction.h"

#include <QScopeGuard>

#include <algorithm>
#include <numeric>

#include <libexif/exif-data.h>

#include "pictures/capture_time.h"
#include "pictures/image_table.h"

namespace fotavi {

namespace {

// Longer texts are damage: no camera names itself in more.
constexpr qsizetype kMostTextBytes = 128;

// An ASCII tag's text without its padding, or empty.
QString text_of(ExifContent* content, ExifTag tag) {
    if (!content) return {};
    const ExifEntry* entry = exif_content_get_entry(content, tag);
    if (!entry || !entry->data || entry->format != EXIF_FORMAT_ASCII) return {};
    QByteArrayView bytes(reinterpret_cast<const char*>(entry->data), qsizetype(entry->size));
    if (const qsizetype end = bytes.indexOf('\0'); end >= 0) bytes = bytes.first(end);
    if (bytes.size() > kMostTextBytes) return {};
    QString text = QString::fromLatin1(bytes).simplified();
    // Only printable characters: the name is shown and kept in the store.
    text.removeIf([](QChar c) { return !c.isPrint(); });
    return text;
}

}  // namespace

QString camera_of(QByteArrayView exif_block) {
    if (exif_block.size() < 14) return {};
    ExifData* data = exif_data_new();
    if (!data) return {};
    const auto free_data = qScopeGuard([data] { exif_data_unref(data); });
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(exif_block.data()),
                        unsigned(exif_block.size()));
    const QString make = text_of(data->ifd[EXIF_IFD_0], EXIF_TAG_MAKE);
    const QString model = text_of(data->ifd[EXIF_IFD_0], EXIF_TAG_MODEL);
    if (make.isEmpty() && model.isEmpty()) return {};
    // BodySerialNumber, which libexif 0.6 has no name for.
    const QString serial = text_of(data->ifd[EXIF_IFD_EXIF], ExifTag(0xA431));
    QStringList parts{make, model};
    if (!serial.isEmpty()) parts << serial;
    return parts.join(QStringLiteral(" / "));
}

QString read_camera(const QString& path) { return camera_of(read_exif_block(path)); }

std::optional<ClockCorrection> correction_for(const std::vector<ClockCorrection>& corrections,
                                              const QString& camera, bool capture_time) {
    for (const ClockCorrection& correction : corrections) {
        if (correction.camera == camera && correction.capture_time == capture_time)
            return correction;
    }
    return std::nullopt;
}

std::vector<size_t> correct_clocks(std::vector<ListedFile>& files,
                                   const std::vector<QString>& cameras,
                                   const std::vector<ClockCorrection>& corrections,
                                   bool capture_time) {
    for (size_t i = 0; i < files.size() && i < cameras.size(); ++i) {
        if (cameras[i].isEmpty()) continue;
        if (const auto correction = correction_for(corrections, cameras[i], capture_time))
            files[i].date.seconds += correction->seconds;
    }
    // The corrected dates are put in order as the window orders any listing.
    return table_order(files);
}

}  // namespace fotavi
