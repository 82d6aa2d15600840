#include <QCryptographicHash>
#include <QSignalSpy>
#include <QTest>

#include <atomic>

#include <sys/stat.h>
#include <unistd.h>

#include "album.h"
#include "app/reasons.h"
#include "overview/exif_thumbnail.h"
#include "overview/thumbnailer.h"
#include "platform/thumbnail_cache.h"

using namespace fotavi;

namespace {

// A picture of four quarters, red at the top left and blue elsewhere, so a
// turn or a mirroring shows where the red quarter went.
QByteArray quartered_jpeg(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width() / 2; ++x) image.setPixel(x, y, qRgb(255, 0, 0));
    return encoded(image, "JPG", 95);
}

// Which corner of image is red: "top-left", "top-right", ... or "none".
QString red_corner(const QImage& image) {
    if (image.isNull()) return QStringLiteral("none");
    const int w = image.width(), h = image.height();
    const QList<std::pair<QPoint, QString>> corners{
        {{w / 4, h / 4}, QStringLiteral("top-left")},
        {{3 * w / 4, h / 4}, QStringLiteral("top-right")},
        {{w / 4, 3 * h / 4}, QStringLiteral("bottom-left")},
        {{3 * w / 4, 3 * h / 4}, QStringLiteral("bottom-right")}};
    for (const auto& [point, name] : corners) {
        if (image.pixelColor(point).red() > 200) return name;
    }
    return QStringLiteral("none");
}

// A PNG as a file manager writes one: the given keys as text chunks.
QByteArray entry_png(QSize size, QColor color, const QList<std::pair<QString, QString>>& keys) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    const QByteArray bytes = encoded(image, "PNG");
    QList<std::pair<QByteArray, QByteArray>> text;
    for (const auto& [key, value] : keys) text.append({key.toLatin1(), value.toLatin1()});
    return png_with_text(bytes, text);
}

Exif dated() {
    Exif exif;
    exif.original = "2024:05:03 09:12:00";
    return exif;
}

int mode_of(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777)
                                                                    : -1;
}

// Writes at entry what the row names: a file manager's entry for key, or one
// spoilt in the row's way (stale, another URI, cut short, a link, ...).
void write_entry(const QString& entry, const QString& what, const ThumbnailKey& key) {
    const QString uri = QString::fromLatin1(key.uri), mtime = QString::number(key.mtime);
    QList<std::pair<QString, QString>> keys{{"Thumb::URI", uri}, {"Thumb::MTime", mtime}};
    QSize size(128, 96);
    if (what == "sized") keys.append({"Thumb::Size", QString::number(key.size)});
    if (what == "stale") keys[1].second = QString::number(key.mtime - 60);
    if (what == "other uri") keys[0].second = uri + "x";
    if (what == "other size") keys.append({"Thumb::Size", QString::number(key.size + 1)});
    if (what == "foreign") keys.clear();
    if (what == "too large") size = QSize(129, 96);
    QByteArray bytes = entry_png(size, Qt::green, keys);
    if (what == "cut") bytes.truncate(bytes.size() / 2);
    if (what == "jpeg") bytes = jpeg_bytes(QSize(128, 96), Qt::green);
    QFile out(what == "link" ? entry + ".real" : entry);
    if (what == "folder") {
        QDir().mkdir(entry);
    } else {
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.close();
    }
    if (what == "link") QFile::link(entry + ".real", entry);
}

// The thumbnails of an album, with a cache of their own and a count of decodes.
struct ThumbnailRig {
    Album album;
    QTemporaryDir cache;
    std::atomic<int> decodes{0};
    // DSC0001.JPG, with the cache entry the row names written for it.
    QString picture_with_entry(const QString& what) {
        album.add("DSC0001.JPG", at(2024, 5, 3, 9, 12), QSize(640, 480), Qt::blue);
        const QString picture = album.file("DSC0001.JPG");
        const ThumbnailKey key = thumbnail_key(picture);
        const QString entry = ThumbnailCache(cache.path()).path_of(key, ThumbnailSize::Normal);
        QDir().mkpath(QFileInfo(entry).path());
        write_entry(entry, what, key);
        return picture;
    }
    Thumbnailer::Options options() {
        Thumbnailer::Options o;
        o.cache_root = cache.path();
        o.reason = failure_text;
        o.loader = [this](const QString& path, QSize box) {
            ++decodes;
            return load_picture(path, box);
        };
        return o;
    }
};

// The last thumbnail ready() brought for path.
Thumbnail wait_final(Thumbnailer& thumbnails, QSignalSpy& spy, const QString& path) {
    for (int round = 0; round < 100; ++round) {
        for (const QList<QVariant>& args : spy) {
            const auto t = args[2].value<Thumbnail>();
            if (args[0].toString() == path && t.state != Thumbnail::State::Preview) return t;
        }
        spy.wait(100);
    }
    thumbnails.wait_idle();
    return {};
}

}  // namespace

class TestThumbnails : public QObject {
    Q_OBJECT
private slots:
    // Names as the Thumbnail Managing Standard gives them; the first row is its own example.
    void names_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("name");
        QTest::newRow("the standard's example")
            << "/home/jens/photos/me.png" << QByteArray("file:///home/jens/photos/me.png")
            << "c6ee772d9e49320e97ec29a7eb5b1697.png";
        QTest::newRow("space and Japanese as UTF-8 bytes")
            << "/写真/a b.jpg" << QByteArray("file:///%E5%86%99%E7%9C%9F/a%20b.jpg") << "";
        QTest::newRow("reserved and unsafe characters escaped")
            << "/x/#%;?[]\"<>^`{|}\\.jpg"
            << QByteArray("file:///x/%23%25%3B%3F%5B%5D%22%3C%3E%5E%60%7B%7C%7D%5C.jpg") << "";
        QTest::newRow("characters a path keeps")
            << "/x/a-_.!~*'()&=+$,:@.JPG" << QByteArray("file:///x/a-_.!~*'()&=+$,:@.JPG") << "";
    }
    void names() {
        QFETCH(QString, path);
        QFETCH(QByteArray, uri);
        QFETCH(QString, name);
        QCOMPARE(file_uri(path), uri);
        const QString md5 =
            QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex());
        QCOMPARE(thumbnail_name(uri), name.isEmpty() ? md5 + ".png" : name);
    }

    // What lies at a picture's entry: used only when it is a PNG of the right
    // size that names the file as it is now; anything else is made again.
    void entries_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("used");
        QTest::newRow("a file manager's entry") << "good" << true;
        QTest::newRow("with the right Thumb::Size") << "sized" << true;
        QTest::newRow("stale: other mtime") << "stale" << false;
        QTest::newRow("other URI") << "other uri" << false;
        QTest::newRow("other file size") << "other size" << false;
        QTest::newRow("no keys: a foreign PNG") << "foreign" << false;
        QTest::newRow("larger than the folder's size") << "too large" << false;
        QTest::newRow("cut short") << "cut" << false;
        QTest::newRow("a JPEG in the PNG's place") << "jpeg" << false;
        QTest::newRow("a symbolic link to a good entry") << "link" << false;
        QTest::newRow("a folder") << "folder" << false;
    }
    void entries() {
        QFETCH(QString, what);
        QFETCH(bool, used);
        ThumbnailRig s;
        const QString picture = s.picture_with_entry(what);
        const ThumbnailKey key = thumbnail_key(picture);
        QVERIFY(key.ok());
        ThumbnailCache cache(s.cache.path());
        const QString entry = cache.path_of(key, ThumbnailSize::Normal);

        QCOMPARE(!cache.read(key, ThumbnailSize::Normal).isNull(), used);
        Thumbnailer thumbnails(s.options());
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        QCOMPARE(thumbnails.request(picture, ThumbnailSize::Normal).state, Thumbnail::State::None);
        const Thumbnail got = wait_final(thumbnails, spy, picture);
        QCOMPARE(got.state, Thumbnail::State::Final);
        QCOMPARE(got.image.pixelColor(10, 10).green() > 200, used);  // the entry's, or decoded
        QCOMPARE(s.decodes.load(), used ? 0 : 1);
        thumbnails.wait_idle();
        // Made again: a regular file, private, that the next reader takes.
        if (!used && what != "folder") {
            QCOMPARE(mode_of(entry), 0600);
            QVERIFY(!cache.read(key, ThumbnailSize::Normal).isNull());
        }
    }

    // A renamed picture takes its entries along, Thumb::URI rewritten; an
    // entry that would not be used for it stays where it is.
    void entries_follow_renames_data() { entries_data(); }
    void entries_follow_renames() {
        QFETCH(QString, what);
        QFETCH(bool, used);
        ThumbnailRig s;
        const QString picture = s.picture_with_entry(what);
        const ThumbnailKey key = thumbnail_key(picture);
        QVERIFY(key.ok());
        ThumbnailCache cache(s.cache.path());
        const QString entry = cache.path_of(key, ThumbnailSize::Normal);
        const QString renamed = s.album.file("dsc0001.jpg");
        QVERIFY(QFile::rename(picture, renamed));
        const ThumbnailKey new_key = thumbnail_key(renamed);

        QCOMPARE(cache.move(key, new_key), used ? 1 : 0);
        const QImage moved = cache.read(new_key, ThumbnailSize::Normal);
        QCOMPARE(!moved.isNull(), used);
        QCOMPARE(QFileInfo::exists(entry) || QFileInfo(entry).isSymLink(), !used);
        if (used) QCOMPARE(moved.text("Thumb::URI").toLatin1(), new_key.uri);
        if (used) QCOMPARE(mode_of(cache.path_of(new_key, ThumbnailSize::Normal)), 0600);
    }

    // A cache made here is private, and a later run takes it without a decode.
    void written_entry_is_reused() {
        ThumbnailRig s;
        s.album.add("a.jpg", at(2024, 5, 3, 9, 12), QSize(800, 600), Qt::blue);
        const QString picture = s.album.file("a.jpg");
        {
            Thumbnailer thumbnails(s.options());
            QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
            thumbnails.request(picture, ThumbnailSize::Large);
            QCOMPARE(wait_final(thumbnails, spy, picture).image.size(), QSize(256, 192));
        }
        const QString entry = s.cache.path() + "/large/" + thumbnail_name(file_uri(picture));
        QCOMPARE(mode_of(entry), 0600);
        QCOMPARE(mode_of(s.cache.path() + "/large"), 0700);
        QCOMPARE(QImage(entry).text("Thumb::URI").toLatin1(), file_uri(picture));
        Thumbnailer again(s.options());
        QSignalSpy spy(&again, &Thumbnailer::ready);
        again.request(picture, ThumbnailSize::Normal);  // the large entry serves a normal one
        QCOMPARE(wait_final(again, spy, picture).image.size(), QSize(128, 96));
        QCOMPARE(s.decodes.load(), 1);
        // Known now: answered at once, from memory.
        QCOMPARE(again.request(picture, ThumbnailSize::Normal).state, Thumbnail::State::Final);
    }

    // A cache that cannot be written changes nothing but the speed.
    void unwritable_cache() {
        ThumbnailRig s;
        s.album.add("a.jpg", at(2024, 5, 3, 9, 12), QSize(300, 200), Qt::blue);
        QFile blocker(s.cache.path() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Thumbnailer::Options options = s.options();
        options.cache_root = blocker.fileName();  // a file where the folder should be
        Thumbnailer thumbnails(options);
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        thumbnails.request(s.album.file("a.jpg"), ThumbnailSize::Normal);
        QCOMPARE(wait_final(thumbnails, spy, s.album.file("a.jpg")).state, Thumbnail::State::Final);
        QCOMPARE(QFileInfo(blocker.fileName()).isFile(), true);
    }

    // Pictures that cannot be shown get their reason, never a stall.
    void undecodable_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("cut short") << "cut";
        QTest::newRow("not a JPEG") << "text";
        QTest::newRow("empty") << "empty";
        QTest::newRow("3 GB of nothing, sparse") << "sparse";
        QTest::newRow("a folder named .jpg") << "folder";
        QTest::newRow("gone") << "gone";
    }
    void undecodable() {
        QFETCH(QString, what);
        ThumbnailRig s;
        const QString path = s.album.file("x.jpg");
        const QByteArray jpeg = jpeg_bytes(QSize(64, 48));
        if (what == "cut") s.album.add_bytes("x.jpg", jpeg.left(200), at(2024, 5, 3, 9, 0));
        if (what == "text") s.album.add_bytes("x.jpg", "no picture", at(2024, 5, 3, 9, 0));
        if (what == "empty") s.album.add_bytes("x.jpg", {}, at(2024, 5, 3, 9, 0));
        if (what == "sparse") {
            s.album.add_bytes("x.jpg", {}, at(2024, 5, 3, 9, 0));
            QVERIFY(::truncate(QFile::encodeName(path).constData(), 3LL << 30) == 0);
        }
        if (what == "folder") QVERIFY(QDir().mkdir(path));
        Thumbnailer thumbnails(s.options());
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        thumbnails.request(path, ThumbnailSize::Normal);
        const Thumbnail got = wait_final(thumbnails, spy, path);
        QCOMPARE(got.state, Thumbnail::State::Failed);
        QVERIFY(!got.error.isEmpty());
        QVERIFY(QDir(s.cache.path() + "/normal").isEmpty());
    }

    // A picture cut short is judged in the overview as in the main window:
    // damaged there, the overview's placeholder with the same reason; shown
    // there (its missing part grey), shown here too.
    void cut_pictures_as_the_main_window_shows_them_data() {
        QTest::addColumn<int>("keep");  // bytes kept: < 0 counts from the end
        QTest::addColumn<bool>("embedded");
        QTest::newRow("header only") << 20 << false;
        QTest::newRow("cut before the picture data") << 0 << false;
        QTest::newRow("cut in half") << -2 << false;
        QTest::newRow("cut in half, camera's thumbnail whole") << -2 << true;
        QTest::newRow("last bytes missing") << -1 << false;
    }
    void cut_pictures_as_the_main_window_shows_them() {
        QFETCH(int, keep);
        QFETCH(bool, embedded);
        ThumbnailRig s;
        const QByteArray block = exif_block(dated(), {1, {}, quartered_jpeg({160, 120})});
        const QByteArray jpeg = embedded ? jpeg_with(jpeg_segment(0xE1, block), QSize(640, 480))
                                         : quartered_jpeg(QSize(640, 480));
        const qsizetype scan = jpeg.lastIndexOf("\xFF\xDA");  // the picture's, not the thumbnail's
        const qsizetype kept = keep == 0    ? scan
                               : keep == -2 ? jpeg.size() / 2
                               : keep == -1 ? jpeg.size() - 10
                                            : keep;
        s.album.add_bytes("cut.jpg", jpeg.left(kept), at(2024, 5, 3, 9, 0));
        const QString path = s.album.file("cut.jpg");
        const Picture main_window = load_picture(path, QSize(480, 360));
        Thumbnailer thumbnails(s.options());
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        thumbnails.request(path, ThumbnailSize::Normal);
        const Thumbnail got = wait_final(thumbnails, spy, path);
        QCOMPARE(got.state == Thumbnail::State::Failed, main_window.image.isNull());
        QCOMPARE(got.error, failure_text(main_window.problem));
    }

    // The camera's embedded thumbnail, the right way up and without its bars.
    void exif_thumbnails_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("red");
        QTest::newRow("upright") << 1 << QSize() << QSize(160, 120) << "top-left";
        QTest::newRow("6: turned right") << 6 << QSize() << QSize(120, 160) << "top-right";
        QTest::newRow("8: turned left") << 8 << QSize() << QSize(120, 160) << "bottom-left";
        QTest::newRow("3: upside down") << 3 << QSize() << QSize(160, 120) << "bottom-right";
        QTest::newRow("2: mirrored") << 2 << QSize() << QSize(160, 120) << "top-right";
        QTest::newRow("3:2 picture: bars cut")
            << 1 << QSize(6000, 4000) << QSize(160, 107) << "top-left";
    }
    void exif_thumbnails() {
        QFETCH(int, orientation);
        QFETCH(QSize, pixels);
        QFETCH(QSize, size);
        QFETCH(QString, red);
        Album album;
        const QByteArray block =
            exif_block(dated(), {orientation, pixels, quartered_jpeg({160, 120})});
        album.add_bytes("a.jpg", jpeg_with(jpeg_segment(0xE1, block)), at(2024, 5, 3, 9, 12));
        const QImage image = read_exif_thumbnail(album.file("a.jpg"));
        QCOMPARE(image.size(), size);
        QCOMPARE(red_corner(image), red);
    }

    // Damaged blocks give no thumbnail, and no crash.
    void exif_thumbnail_damaged_data() {
        QTest::addColumn<QByteArray>("block");
        const QByteArray good = exif_block({}, {1, {}, quartered_jpeg({160, 120})});
        QTest::newRow("no thumbnail") << exif_block(dated());
        QTest::newRow("thumbnail cut off") << good.left(good.size() - 500);
        QTest::newRow("thumbnail not a JPEG") << exif_block({}, {1, {}, QByteArray(3000, 'x')});
        QTest::newRow("header only") << good.left(20);
    }
    void exif_thumbnail_damaged() {
        QFETCH(QByteArray, block);
        Album album;
        album.add_bytes("a.jpg", jpeg_with(jpeg_segment(0xE1, block)), at(2024, 5, 3, 9, 12));
        QVERIFY(read_exif_thumbnail(album.file("a.jpg")).isNull());
    }

    // The preview comes first, the decode replaces it.
    void preview_then_final() {
        ThumbnailRig s;
        const QByteArray block = exif_block({}, {6, {}, quartered_jpeg({160, 120})});
        s.album.add_bytes("a.jpg", jpeg_with(jpeg_segment(0xE1, block), QSize(400, 300), Qt::blue),
                          at(2024, 5, 3, 9, 12));
        const QString path = s.album.file("a.jpg");
        Thumbnailer thumbnails(s.options());
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        thumbnails.request(path, ThumbnailSize::Normal);
        const Thumbnail final = wait_final(thumbnails, spy, path);
        QCOMPARE(spy.first()[2].value<Thumbnail>().state, Thumbnail::State::Preview);
        QCOMPARE(red_corner(spy.first()[2].value<Thumbnail>().image), "top-right");
        QCOMPARE(final.state, Thumbnail::State::Final);
        QCOMPARE(final.image.size(), QSize(96, 128));  // the picture's own orientation 6
    }

    // A HEIF file's own thumbnail is the thumbnail when it covers the size
    // (no decode, and written to the cache); a smaller one is a preview.
    void heif_own_thumbnail_data() {
        QTest::addColumn<int>("own");  // its longer side; 0: none
        QTest::addColumn<bool>("preview");
        QTest::addColumn<int>("decodes");
        QTest::newRow("covers the 128 of a normal thumbnail") << 160 << false << 0;
        QTest::newRow("smaller: a preview, then a decode") << 64 << true << 1;
        QTest::newRow("none: a decode") << 0 << false << 1;
    }
    void heif_own_thumbnail() {
        QFETCH(int, own);
        QFETCH(bool, preview);
        QFETCH(int, decodes);
        ThumbnailRig s;
        s.album.add_bytes("IMG_0001.HEIC", heic_from(jpeg_bytes(QSize(400, 300), Qt::blue), own),
                          at(2024, 5, 3, 9, 12));
        const QString path = s.album.file("IMG_0001.HEIC");
        Thumbnailer thumbnails(s.options());
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        thumbnails.request(path, ThumbnailSize::Normal);
        const Thumbnail final = wait_final(thumbnails, spy, path);
        QCOMPARE(final.image.size(), QSize(128, 96));
        QVERIFY(final.image.pixelColor(64, 48).blue() > 150);
        QCOMPARE(spy.first()[2].value<Thumbnail>().state == Thumbnail::State::Preview, preview);
        QCOMPARE(s.decodes.load(), decodes);
        QVERIFY(QFileInfo::exists(s.cache.path() + "/normal/" + thumbnail_name(file_uri(path))));
    }

    // Scrolled away: waiting work is dropped; memory stays in its budget.
    void latest_wins_and_budget() {
        ThumbnailRig s;
        QStringList paths;
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("p%1.jpg").arg(i);
            s.album.add(name, at(2024, 5, 3, 9, i), QSize(320, 240));
            paths << s.album.file(name);
        }
        Thumbnailer::Options options = s.options();
        options.memory_budget = 5 * 128 * 96 * 4;
        Thumbnailer thumbnails(options);
        QSignalSpy spy(&thumbnails, &Thumbnailer::ready);
        for (const QString& path : paths) thumbnails.request(path, ThumbnailSize::Normal);
        thumbnails.keep_waiting_only(paths.mid(30));
        thumbnails.wait_idle();
        QVERIFY2(s.decodes < 40, qPrintable(QString::number(s.decodes)));
        for (const QString& path : paths.mid(30))
            QCOMPARE(wait_final(thumbnails, spy, path).state, Thumbnail::State::Final);
        QVERIFY(thumbnails.memory_used() <= options.memory_budget);
        QCOMPARE(thumbnails.request(paths.last(), ThumbnailSize::Normal).state,
                 Thumbnail::State::Final);  // the latest are kept
    }
};

QTEST_GUILESS_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
