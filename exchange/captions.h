#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace fotavi {

// Captions inside pictures and in XMP sidecars, read and written through
// exiv2 so that other photo programs read them the way they write them. Every
// function works on bytes in memory and never touches a file. Calls from
// several threads run one at a time, and what one file's XMP declares never
// changes how the next is read or written.

// Makes exiv2 ready for use from several threads (its XMP toolkit must be set
// up once first) and keeps its warnings off standard error. Called by every
// function below; cheap after the first call.
void start_metadata();

// What a picture with a caption written in became.
struct Embedded {
    QByteArray bytes;  // the whole picture, only its metadata changed
    QString problem;   // why the written picture could not be taken back, else empty
    // The picture cannot take the caption here (exiv2 does not know its kind,
    // cannot write it, or would not keep all of it): the caption goes to a
    // sidecar instead; reason says exiv2's why, where it gave one.
    bool unsupported = false;
    QString reason;
    bool ok() const { return problem.isEmpty() && !unsupported; }
};

// picture with caption written where photo programs look for a description:
// XMP dc:description (x-default), IPTC Caption-Abstract with the UTF-8
// character set declared, EXIF ImageDescription (UTF-8) and XPComment
// (UTF-16, read by the Windows file manager). The compressed image data is
// left as it is.
Embedded embed_caption(const QByteArray& picture, const QString& caption);

// The descriptions a picture carries, each as it was found (empty where none).
struct FoundCaptions {
    QString exif_description;  // EXIF ImageDescription
    QString iptc_caption;      // IPTC Caption-Abstract
    QString xmp_description;   // XMP dc:description, x-default (else the first language)
    QString user_comment;      // EXIF UserComment
    QString xp_comment;        // EXIF XPComment
};

// Reads the descriptions of a picture in memory; nothing found when exiv2
// cannot read it.
FoundCaptions read_captions(const QByteArray& picture);
// The same for the picture file at path (exiv2 reads only what it needs).
FoundCaptions read_captions_of_file(const QString& path);

// Whether text is no caption at all: blank, or what cameras write by
// themselves ("OLYMPUS DIGITAL CAMERA", "SONY DSC", ...).
bool is_camera_text(const QString& text);

// The one description a picture carries, reconciled: EXIF ImageDescription
// first, then IPTC Caption-Abstract, then XMP (a sidecar's before the
// picture's own), then UserComment and XPComment; camera texts do not
// count. Line breaks come back as LF. Empty when there is none.
QString chosen_caption(const FoundCaptions& found, const QString& sidecar_description);

// The x-default dc:description of an XMP packet (a sidecar's bytes); empty
// when it has none or is not XMP.
QString sidecar_description(const QByteArray& packet);

// A sidecar's bytes with its dc:description set to caption (x-default only),
// or taken away when caption is empty, every other property kept. existing is
// the sidecar as it is now (empty for a new one). Nothing, with *problem set,
// when existing is not XMP, or when the description written would not read
// back where readers look (a packet binding dc to a namespace of its own).
std::optional<QByteArray> sidecar_with_description(const QByteArray& existing,
                                                   const QString& caption, QString* problem);

}  // namespace fotavi
