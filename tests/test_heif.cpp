#include <QTest>
#include <QtEndian>

#include <libheif/heif.h>

#include "app/reasons.h"
#include "overview/exif_thumbnail.h"
#include "photo_diary/diary_pictures.h"
#include "pictures/capture_time.h"
#include "platform/heif.h"
#include "platform/heif_items.h"
#include "platform/picture.h"
#include "platform/picture_header.h"
#include "run.h"

using namespace fotavi;

namespace {

QByteArray camera_jpeg(const QByteArray& taken, QSize size = QSize(320, 240)) {
    const QByteArray segments =
        taken.isEmpty() ? QByteArray()
                        : jpeg_segment(0xE1, exif_block({taken, {}, {}, {}, {}, false}));
    return jpeg_with(segments, size, QColor(200, 40, 40));
}

// A HEIC of width x height, its left half red and its right half blue, that
// the file itself says to show turned (irot and imir properties), made
// through libheif: heif-enc makes none.
QByteArray turned_heic(const QString& path, int width, int height, heif_orientation turn) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_image_handle* handle = nullptr;
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = turn;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* pixels = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = pixels + y * stride + x * 3;
            pixel[0] = x < width / 2 ? 220 : 20;
            pixel[1] = 20;
            pixel[2] = x < width / 2 ? 20 : 220;
        }
    }
    const bool made =
        encoder && !heif_context_encode_image(context, image, encoder, options, &handle).code &&
        !heif_context_write_to_file(context, QFile::encodeName(path).constData()).code;
    if (handle) heif_image_handle_release(handle);
    heif_image_release(image);
    if (encoder) heif_encoder_release(encoder);
    heif_encoding_options_free(options);
    heif_context_free(context);
    return made ? read_all(path) : QByteArray();
}

// A box of type with body, and a full box (version, no flags).
QByteArray box(const char* type, const QByteArray& body) {
    QByteArray size(4, '\0');
    qToBigEndian(quint32(body.size() + 8), size.data());
    return size + QByteArray(type, 4) + body;
}
QByteArray full_box(const char* type, char version, const QByteArray& body) {
    return box(type, QByteArray(1, version) + QByteArray(3, '\0') + body);
}
QByteArray u16(int value) { return bytes_of({char(value >> 8), char(value)}); }

// A meta box's body listing items (number, type) and what each derives from.
QByteArray meta_of(const QList<QPair<int, QByteArray>>& items,
                   const QList<QPair<int, QList<int>>>& derived, int cut_reference = 0) {
    QByteArray entries;
    for (const auto& [id, type] : items)
        entries += full_box("infe", 2, u16(id) + u16(0) + type + QByteArray(1, '\0'));
    QByteArray references;
    for (const auto& [from, to] : derived) {
        QByteArray body = u16(from) + u16(int(to.size()));
        for (const int id : to) body += u16(id);
        references += box("dimg", body.left(body.size() - cut_reference));
    }
    return QByteArray(4, '\0') + full_box("iinf", 0, u16(int(items.size())) + entries) +
           full_box("iref", 0, references);
}

// The items of a whole file in memory, found from its top-level boxes.
HeifItems items_of_file(const QByteArray& file) {
    return HeifItems::read(
        [&](qint64 offset, char* into, qint64 count) {
            if (count > file.size() - offset) return false;
            std::copy_n(file.constData() + offset, count, into);
            return true;
        },
        file.size());
}

}  // namespace

// HEIF pictures (what phones save as HEIC) beside the camera's JPEGs: listed,
// shown, dated, given thumbnails, and refused with a reason when damaged.
class TestHeif : public QObject {
    Q_OBJECT
private slots:
    void heif_picture_is_read_like_a_jpeg_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("taken");
        QTest::addColumn<int>("thumbnail");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("shown");  // in a box of 160 x 160
        QTest::newRow("phone picture with EXIF and thumbnail")
            << "IMG_0001.HEIC" << QByteArray("2026:11:03 09:15:00") << 64 << QSize(320, 240)
            << QSize(160, 120);
        QTest::newRow("lower-case .heif, no thumbnail")
            << "shot.heif" << QByteArray("2026:11:03 18:00:05") << 0 << QSize(320, 240)
            << QSize(160, 120);
        QTest::newRow("upright, EXIF stripped by a messaging app")
            << "received.HeIc" << QByteArray() << 32 << QSize(96, 128) << QSize(120, 160);
    }
    void heif_picture_is_read_like_a_jpeg() {
        QFETCH(QString, name);
        QFETCH(QByteArray, taken);
        QFETCH(int, thumbnail);
        QFETCH(QSize, size);
        QFETCH(QSize, shown);
        Album album;
        album.add_bytes(name, heic_from(camera_jpeg(taken, size), thumbnail),
                        at(2026, 12, 8, 9, 0));
        album.add("other.txt", at(2026, 12, 8, 9, 0));
        const FolderListing listing = list_pictures(album.path());
        QCOMPARE(int(listing.files.size()), 1);
        QCOMPARE(listing.files[0].name, name);

        const Picture picture = load_picture(album.file(name), QSize(160, 160));
        QVERIFY2(picture.problem.ok(), qPrintable(failure_text(picture.problem)));
        QCOMPARE(picture.image.size(), shown);
        const QColor middle = picture.image.pixelColor(shown.width() / 2, shown.height() / 2);
        QVERIFY2(middle.red() > 150 && middle.green() < 90, qPrintable(middle.name()));

        const CaptureTime time = read_capture_time(album.file(name));
        QCOMPARE(time.found(), !taken.isEmpty());
        if (time.found()) QCOMPARE(time.date, *parse_exif_date(taken));

        const OwnThumbnail own = read_heif_thumbnail(album.file(name), 32);
        QCOMPARE(own.covers, thumbnail > 0);
        QCOMPARE(own.image.isNull(), thumbnail == 0);
        if (thumbnail) QCOMPARE(std::max(own.image.width(), own.image.height()), thumbnail);
    }

    // The file's own turn is applied, once: the red left half of the picture
    // as stored ends where the turn puts it.
    void heif_picture_is_turned_as_the_file_says_data() {
        QTest::addColumn<int>("turn");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QPoint>("red");  // a point of the shown picture that is red
        QTest::newRow("as stored")
            << int(heif_orientation_normal) << QSize(64, 48) << QPoint(8, 24);
        QTest::newRow("a quarter clockwise")
            << int(heif_orientation_rotate_90_cw) << QSize(48, 64) << QPoint(24, 8);
        QTest::newRow("half a turn")
            << int(heif_orientation_rotate_180) << QSize(64, 48) << QPoint(56, 24);
        QTest::newRow("mirrored") << int(heif_orientation_flip_horizontally) << QSize(64, 48)
                                  << QPoint(56, 24);
    }
    void heif_picture_is_turned_as_the_file_says() {
        QFETCH(int, turn);
        QFETCH(QSize, shown);
        QFETCH(QPoint, red);
        Album album;
        QVERIFY(!turned_heic(album.file("turned.heic"), 64, 48, heif_orientation(turn)).isEmpty());
        const Picture picture = load_picture(album.file("turned.heic"), shown);
        QVERIFY2(picture.problem.ok(), qPrintable(failure_text(picture.problem)));
        QCOMPARE(picture.image.size(), shown);
        const QPoint blue(shown.width() - 1 - red.x(), shown.height() - 1 - red.y());
        QVERIFY(picture.image.pixelColor(red).red() > 150);
        QVERIFY(picture.image.pixelColor(blue).blue() > 150);
    }

    void damaged_heif_gets_the_placeholder_reason_data() {
        QTest::addColumn<int>("keep");  // bytes of a good HEIC kept; -1: a JPEG, -3: text instead
        QTest::addColumn<QString>("reason");
        const QString damaged = QStringLiteral("画像のデータが壊れています");
        QTest::newRow("cut after its file type box") << 24 << damaged;
        QTest::newRow("cut in the middle") << -2 << damaged;
        QTest::newRow("a JPEG named .heic is shown") << -1 << QString();
        QTest::newRow("text named .heic") << -3 << QStringLiteral("HEIF 画像ではありません");
    }
    void damaged_heif_gets_the_placeholder_reason() {
        QFETCH(int, keep);
        QFETCH(QString, reason);
        const QByteArray heic = heic_from(camera_jpeg("2026:11:03 09:15:00"));
        QByteArray bytes = keep == -1   ? camera_jpeg({})
                           : keep == -3 ? QByteArray("hello, this is text\n")
                                        : heic.left(keep == -2 ? heic.size() / 2 : keep);
        Album album;
        album.add_bytes("broken.heic", bytes, at(2026, 12, 8, 9, 0));
        const Picture picture = load_picture(album.file("broken.heic"), QSize(160, 160));
        QCOMPARE(failure_text(picture.problem), reason);
        QCOMPARE(picture.image.isNull(), !reason.isEmpty());
        QVERIFY(!read_capture_time(album.file("broken.heic")).found());
        QVERIFY(read_heif_thumbnail(album.file("broken.heic"), 32).image.isNull());
    }

    // What a picture is derived from is checked before libheif decodes it:
    // a derivation pointing at something that is not a picture would stop
    // the program on an assertion inside libheif.
    void derivations_checked_data() {
        QTest::addColumn<QByteArray>("meta");
        QTest::addColumn<bool>("sound");
        const QList<QPair<int, QByteArray>> grid{{1, "grid"}, {2, "hvc1"}, {3, "hvc1"}};
        QTest::newRow("grid of coded tiles") << meta_of(grid, {{1, {2, 3}}}) << true;
        QTest::newRow("nothing derived") << meta_of({{1, "hvc1"}}, {}) << true;
        QTest::newRow("identity over a grid")
            << meta_of({{1, "iden"}, {2, "grid"}, {3, "av01"}}, {{1, {2}}, {2, {3}}}) << true;
        QTest::newRow("identity of an Exif item")
            << meta_of({{1, "iden"}, {2, "Exif"}}, {{1, {2}}}) << false;
        QTest::newRow("tile of a type not known")
            << meta_of({{1, "grid"}, {2, "hvc1"}, {3, "hvc2"}}, {{1, {2, 3}}}) << false;
        QTest::newRow("tile not listed") << meta_of(grid, {{1, {2, 9}}}) << false;
        QTest::newRow("derived from itself round a loop")
            << meta_of({{1, "grid"}, {2, "iden"}}, {{1, {2}}, {2, {1}}}) << false;
        QTest::newRow("reference cut short") << meta_of(grid, {{1, {2, 3}}}, 1) << false;
    }
    void derivations_checked() {
        QFETCH(QByteArray, meta);
        QFETCH(bool, sound);
        QCOMPARE(HeifItems::from_meta(meta.constData(), meta.size()).derivations_sound(1), sound);
        // The same found from the file's top-level boxes, after its file type box.
        const QByteArray file = box("ftyp", "heic" + QByteArray(4, '\0')) + box("meta", meta);
        QCOMPARE(items_of_file(file).derivations_sound(1), sound);
        // A second meta box, which libheif might read instead, leaves nothing sound.
        QVERIFY(
            !items_of_file(file + box("meta", meta_of({{1, "hvc1"}}, {}))).derivations_sound(1));
    }

    void thumbnail_choice_data() {
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<int>("chosen");
        QTest::newRow("none") << QList<QSize>{} << -1;
        QTest::newRow("smallest that covers")
            << QList<QSize>{{640, 480}, {320, 240}, {96, 72}} << 1;
        QTest::newRow("else the largest") << QList<QSize>{{96, 72}, {160, 120}} << 1;
        QTest::newRow("too large or empty never")
            << QList<QSize>{{4000, 3000}, {0, 0}, {200, 150}} << 2;
    }
    void thumbnail_choice() {
        QFETCH(QList<QSize>, sizes);
        QFETCH(int, chosen);
        QCOMPARE(choose_thumbnail(std::vector<QSize>(sizes.begin(), sizes.end()), 256, 1024),
                 chosen);
    }

    // A day from a camera (JPEG) and a phone (HEIC), both copied, so only
    // their capture times order them: one order, one time_log.txt.
    void camera_and_phone_pictures_make_one_diary() {
        Album album;
        const QDateTime copied = at(2024, 6, 1, 20, 0);
        album.add_bytes("DSC0001.JPG", camera_jpeg("2001:09:02 05:10:13"), copied);
        album.add_bytes("IMG_0002.HEIC", heic_from(camera_jpeg("2001:09:02 10:40:00"), 64), copied);
        album.add_bytes("DSC0003.JPG", camera_jpeg("2001:09:02 12:15:00"), copied);
        album.add_bytes("img_0001.heif", heic_from(camera_jpeg("2001:09:03 08:30:00")), copied);
        QByteArray settings;
        {
            Run run;
            run.start(album.file("IMG_0002.HEIC"));
            run.commands.toggle_capture_time();
            QCOMPARE(run.names(),
                     QStringList({"DSC0001.JPG", "IMG_0002.HEIC", "DSC0003.JPG", "img_0001.heif"}));
            run.commands.show_first();
            for (const char* text : {"station", "", "lunch", "home"}) {
                run.type(QString::fromUtf8(text));
                run.commands.show_next();
            }
            run.commands.write_time_log();
            QCOMPARE(read_all(album.file("time_log.txt")), cp932(kOutingLog));
            // The photo diary embeds each kind as a JPEG it makes.
            QTemporaryDir cache;
            const DiaryPictures pictures =
                diary_pictures({album.file("IMG_0002.HEIC"), album.file("DSC0001.JPG")},
                               {cache.path(), 1, load_picture});
            QCOMPARE(pictures.count(), 2);
            for (int i = 0; i < pictures.count(); ++i) {
                const DiaryPicture made = pictures.read(i);
                QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
                QVERIFY(made.jpeg.startsWith("\xFF\xD8\xFF") && made.size == QSize(480, 360));
            }
            QVERIFY(run.commands.may_quit());
            settings = read_all(run.program.filePath("def_list.txt"));
        }
        // Read back without the store, in the same mode: each comment finds its picture again.
        QVERIFY(QDir(album.path()).remove("fotavi_comments.sqlite"));
        Run again;
        QVERIFY(put_file(again.program.filePath("def_list.txt"), settings));
        again.start(album.path());
        QCOMPARE(again.comment_of("IMG_0002.HEIC"), QString());
        QCOMPARE(again.comment_of("img_0001.heif"), QStringLiteral("home"));
        QCOMPARE(again.comment_of("DSC0001.JPG"), QStringLiteral("station"));
    }
};

QTEST_GUILESS_MAIN(TestHeif)
#include "test_heif.moc"
