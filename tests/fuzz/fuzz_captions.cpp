// Captions through exiv2: any bytes, read as a picture and as a sidecar,
// never crash; a caption written into a picture or a sidecar reads back
// exactly from each place it was written to.
#include "exchange/captions.h"
#include "fuzz.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz_bytes(data, size);
    const QString caption = QStringLiteral("説明🌅\nline");
    (void)read_captions(bytes);
    (void)sidecar_description(bytes);

    const Embedded embedded = embed_caption(bytes, caption);
    if (embedded.ok()) {
        const FoundCaptions found = read_captions(embedded.bytes);
        FUZZ_CHECK(found.xmp_description == caption && found.iptc_caption == caption &&
                   found.exif_description == caption && found.xp_comment == caption);
    }
    QString problem;
    if (const auto sidecar = sidecar_with_description(bytes, caption, &problem))
        FUZZ_CHECK(sidecar_description(*sidecar) == caption);
    return 0;
}
