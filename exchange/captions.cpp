#include "exchange/captions.h"

#include <QStringDecoder>

#include <exiv2/exiv2.hpp>

#include <mutex>
#include <string>
#include <utility>

namespace fotavi {

namespace {

const Exiv2::XmpKey kXmpDescription("Xmp.dc.description");
const char kIptcCaption[] = "Iptc.Application2.Caption";
const char kIptcCharacterSet[] = "Iptc.Envelope.CharacterSet";
const char kExifDescription[] = "Exif.Image.ImageDescription";
const char kExifXpComment[] = "Exif.Image.XPComment";
const char kExifUserComment[] = "Exif.Photo.UserComment";
// ISO 2022's escape sequence for UTF-8, as IPTC declares a character set.
const char kIptcUtf8[] = "\x1b%G";

std::string utf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Metadata texts are UTF-8 as the guidelines ask; older writers used Latin-1,
// which is taken for anything that is not valid UTF-8.
QString from_bytes(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError()) text = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    while (text.endsWith(QChar(0))) text.chop(1);  // ASCII tags end in a zero byte
    return text;
}

// The Windows file manager's comment: UTF-16 little-endian, ended by a zero.
QByteArray xp_bytes(const QString& text) {
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

QString from_xp_bytes(const Exiv2::Value& value) {
    const long size = value.size();
    std::string raw(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) value.copy(reinterpret_cast<Exiv2::byte*>(raw.data()), Exiv2::littleEndian);
    QString text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        text.append(QChar(char16_t(uchar(raw[i]) | (uchar(raw[i + 1]) << 8))));
    while (text.endsWith(QChar(0))) text.chop(1);
    return text;
}

// UserComment: eight bytes naming the character set, then the text; UNICODE
// is UTF-16 in the byte order of the picture's EXIF block.
QString from_user_comment(const Exiv2::Value& value, Exiv2::ByteOrder order) {
    const long size = value.size();
    if (size <= 8) return {};
    std::string raw(size_t(size), '\0');
    value.copy(reinterpret_cast<Exiv2::byte*>(raw.data()), order);
    const std::string code = raw.substr(0, 8);
    const std::string text = raw.substr(8);
    if (code != std::string("UNICODE\0", 8)) return from_bytes(text);
    QString decoded;
    const bool big = order == Exiv2::bigEndian;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const uchar first = uchar(text[i]), second = uchar(text[i + 1]);
        decoded.append(QChar(char16_t(big ? (first << 8) | second : (second << 8) | first)));
    }
    while (decoded.endsWith(QChar(0))) decoded.chop(1);
    return decoded;
}

template <typename Data, typename Key>
void erase_all(Data& data, const Key& key) {
    for (auto it = data.findKey(key); it != data.end(); it = data.findKey(key)) data.erase(it);
}

void set_xmp_description(Exiv2::XmpData& xmp, const QString& caption) {
    erase_all(xmp, kXmpDescription);
    if (caption.isEmpty()) return;
    Exiv2::LangAltValue value;
    value.value_["x-default"] = utf8(caption);
    xmp.add(kXmpDescription, &value);
}

QString xmp_description(const Exiv2::XmpData& xmp) {
    const auto it = xmp.findKey(kXmpDescription);
    if (it == xmp.end()) return {};
    const auto* alternatives = dynamic_cast<const Exiv2::LangAltValue*>(&it->value());
    if (!alternatives) return from_bytes(it->toString());
    const auto chosen = alternatives->value_.find("x-default");
    if (chosen != alternatives->value_.end()) return from_bytes(chosen->second);
    return alternatives->value_.empty() ? QString()
                                        : from_bytes(alternatives->value_.begin()->second);
}

void set_all(Exiv2::Image& image, const QString& caption) {
    set_xmp_description(image.xmpData(), caption);

    Exiv2::IptcData& iptc = image.iptcData();
    erase_all(iptc, Exiv2::IptcKey(kIptcCaption));
    erase_all(iptc, Exiv2::IptcKey(kIptcCharacterSet));
    iptc[kIptcCharacterSet] = std::string(kIptcUtf8);
    iptc[kIptcCaption] = utf8(caption);

    Exiv2::ExifData& exif = image.exifData();
    exif[kExifDescription] = utf8(caption);
    const Exiv2::ExifKey xp_key(kExifXpComment);
    erase_all(exif, xp_key);
    const QByteArray xp = xp_bytes(caption);
    Exiv2::DataValue xp_value(Exiv2::unsignedByte);
    xp_value.read(reinterpret_cast<const Exiv2::byte*>(xp.constData()), long(xp.size()),
                  Exiv2::littleEndian);
    exif.add(xp_key, &xp_value);
}

bool writable(const Exiv2::Image& image) {
    for (const Exiv2::MetadataId kind : {Exiv2::mdExif, Exiv2::mdIptc, Exiv2::mdXmp}) {
        const Exiv2::AccessMode mode = image.checkMode(kind);
        if (mode != Exiv2::amWrite && mode != Exiv2::amReadWrite) return false;
    }
    return true;
}

QByteArray all_bytes(Exiv2::BasicIo& io) {
    if (io.open() != 0) return {};
    const long size = io.size();
    Exiv2::DataBuf buffer = io.read(size);
    io.close();
    if (buffer.size_ != size) return {};
    return QByteArray(reinterpret_cast<const char*>(buffer.pData_), qsizetype(buffer.size_));
}

FoundCaptions found_in(Exiv2::Image& image) {
    FoundCaptions found;
    image.readMetadata();
    const Exiv2::ExifData& exif = image.exifData();
    if (auto it = exif.findKey(Exiv2::ExifKey(kExifDescription)); it != exif.end())
        found.exif_description = from_bytes(it->toString());
    if (auto it = exif.findKey(Exiv2::ExifKey(kExifUserComment)); it != exif.end())
        found.user_comment = from_user_comment(it->value(), image.byteOrder());
    if (auto it = exif.findKey(Exiv2::ExifKey(kExifXpComment)); it != exif.end())
        found.xp_comment = from_xp_bytes(it->value());
    const Exiv2::IptcData& iptc = image.iptcData();
    if (auto it = iptc.findKey(Exiv2::IptcKey(kIptcCaption)); it != iptc.end())
        found.iptc_caption = from_bytes(it->toString());
    found.xmp_description = xmp_description(image.xmpData());
    return found;
}

QString line_breaks_as_lf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void lock_xmp_toolkit(void* data, bool lock) {
    auto* mutex = static_cast<std::recursive_mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

// exiv2 keeps the XMP namespaces a packet declares in one registry for the
// whole process, and a packet may bind a well-known prefix such as dc or xmp
// to a namespace of its own: every later caption would then be written there,
// where no other program looks. Each use of exiv2 here holds this session,
// which runs one use at a time and ends by dropping what the packets declared,
// so one file never changes how the next is read or written.
class MetadataSession {
public:
    MetadataSession() : lock_(mutex()) { start_metadata(); }
    ~MetadataSession() { forget_declared_namespaces(); }
    MetadataSession(const MetadataSession&) = delete;
    MetadataSession& operator=(const MetadataSession&) = delete;

    // Back to exiv2's own namespaces; a check of what was written starts here.
    static void forget_declared_namespaces() { Exiv2::XmpProperties::unregisterNs(); }

private:
    static std::mutex& mutex() {
        static std::mutex one;
        return one;
    }
    std::lock_guard<std::mutex> lock_;
};

FoundCaptions read_captions_unlocked(const QByteArray& picture) {
    try {
        auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(picture.constData()), long(picture.size()));
        return found_in(*image);
    } catch (const std::exception&) {
        return {};
    }
}

QString sidecar_description_unlocked(const QByteArray& packet) {
    try {
        Exiv2::XmpData xmp;
        if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0) return {};
        return xmp_description(xmp);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

void start_metadata() {
    static std::once_flag once;
    std::call_once(once, [] {
        static std::recursive_mutex xmp_toolkit;
        Exiv2::XmpParser::initialize(lock_xmp_toolkit, &xmp_toolkit);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
#ifdef EXV_ENABLE_BMFF
        // HEIC and HEIF pictures: read only, so their captions go to sidecars.
        Exiv2::enableBMFF(true);
#endif
    });
}

Embedded embed_caption(const QByteArray& picture, const QString& caption) {
    const MetadataSession session;
    Embedded result;
    try {
        // exiv2 rewrites some kinds (TIFF) in the very buffer it reads, and
        // the caller's picture must stay as it was: it works on a copy.
        const QByteArray copy(picture.constData(), picture.size());
        auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(copy.constData()), long(copy.size()));
        image->readMetadata();
        if (!writable(*image)) {
            result.unsupported = true;
            return result;
        }
        set_all(*image, caption);
        image->writeMetadata();
        result.bytes = all_bytes(image->io());
        if (result.bytes.isEmpty()) {
            result.problem = QStringLiteral("exiv2");
            return result;
        }
        // Some kinds exiv2 writes keep only part of it (an XMP file read as
        // a picture keeps no IPTC or EXIF), and a packet that rebound dc
        // wrote the description elsewhere: read back as a fresh reader
        // would, or the caption goes to a sidecar instead.
        MetadataSession::forget_declared_namespaces();
        const FoundCaptions back = read_captions_unlocked(result.bytes);
        if (back.xmp_description != caption || back.iptc_caption != caption ||
            back.exif_description != caption || back.xp_comment != caption) {
            result.bytes.clear();
            result.unsupported = true;
        }
    } catch (const std::exception& error) {
        // A kind exiv2 does not know, or a picture it cannot rewrite (an EXIF
        // block over 64 KB): the copy stays as the picture was, the caption beside it.
        result.bytes.clear();
        result.unsupported = true;
        result.reason = QString::fromLocal8Bit(error.what());
    }
    return result;
}

FoundCaptions read_captions(const QByteArray& picture) {
    const MetadataSession session;
    return read_captions_unlocked(picture);
}

FoundCaptions read_captions_of_file(const QString& path) {
    const MetadataSession session;
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        return found_in(*image);
    } catch (const std::exception&) {
        return {};
    }
}

bool is_camera_text(const QString& text) {
    // Texts cameras and phones put into ImageDescription and UserComment on
    // their own; compared without regard to case and surrounding blanks.
    static const char* const kCameraTexts[] = {"OLYMPUS DIGITAL CAMERA",
                                               "SONY DSC",
                                               "DIGITAL CAMERA",
                                               "MINOLTA DIGITAL CAMERA",
                                               "KONICA MINOLTA DIGITAL CAMERA",
                                               "SAMSUNG DIGITAL CAMERA",
                                               "SAMSUNG CAMERA PICTURES",
                                               "Exif_JPEG_PICTURE",
                                               "LEAD Technologies Inc. V1.01",
                                               "KODAK Digital Still Camera",
                                               "default"};
    QString trimmed = text;
    trimmed.replace(QChar(0), QLatin1Char(' '));
    trimmed = trimmed.trimmed();
    if (trimmed.isEmpty()) return true;
    for (const char* camera : kCameraTexts)
        if (trimmed.compare(QLatin1String(camera), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString chosen_caption(const FoundCaptions& found, const QString& sidecar_description) {
    const QString* order[] = {&found.exif_description, &found.iptc_caption, &sidecar_description,
                              &found.xmp_description,  &found.user_comment, &found.xp_comment};
    for (const QString* text : order)
        if (!is_camera_text(*text)) return line_breaks_as_lf(*text);
    return {};
}

QString sidecar_description(const QByteArray& packet) {
    const MetadataSession session;
    return sidecar_description_unlocked(packet);
}

std::optional<QByteArray> sidecar_with_description(const QByteArray& existing,
                                                   const QString& caption, QString* problem) {
    const MetadataSession session;
    try {
        Exiv2::XmpData xmp;
        if (!existing.trimmed().isEmpty() &&
            Exiv2::XmpParser::decode(xmp, existing.toStdString()) != 0) {
            if (problem) *problem = QStringLiteral("XMP");
            return std::nullopt;
        }
        set_xmp_description(xmp, caption);
        std::string packet;
        if (Exiv2::XmpParser::encode(
                packet, xmp,
                Exiv2::XmpParser::omitPacketWrapper | Exiv2::XmpParser::useCompactFormat) != 0) {
            if (problem) *problem = QStringLiteral("XMP");
            return std::nullopt;
        }
        // A sidecar whose last property went keeps being a sidecar: an empty packet.
        if (packet.empty())
            packet =
                "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/>\n"
                "</x:xmpmeta>\n";
        // A sidecar that rebinds dc or another well-known prefix would take
        // the description into its own namespace, where no reader finds it:
        // such a file is left as it is rather than rewritten.
        QByteArray written = QByteArray::fromStdString(packet);
        MetadataSession::forget_declared_namespaces();
        if (sidecar_description_unlocked(written) != caption) {
            if (problem) *problem = QStringLiteral("XMP");
            return std::nullopt;
        }
        return written;
    } catch (const std::exception& error) {
        if (problem) *problem = QString::fromLocal8Bit(error.what());
        return std::nullopt;
    }
}

}  // namespace fotavi
