#include <QTest>

#include <atomic>
#include <future>
#include <mutex>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "app/reasons.h"
#include "pictures/picture_cache.h"
#include "run.h"
#include "platform/picture.h"

using namespace fotavi;

namespace {

const QSize kSmallBox(480, 360);
const QSize kLargeBox(640, 480);

QByteArray jpeg_of(QColor color, QSize size = QSize(64, 48)) { return jpeg_bytes(size, color); }

// Two JPEGs of the same length: a decoder stops at the end marker, so
// padding after it evens out the sizes.
std::pair<QByteArray, QByteArray> same_size(QColor a, QColor b) {
    QByteArray first = jpeg_of(a);
    QByteArray second = jpeg_of(b);
    const qsizetype longer = std::max(first.size(), second.size());
    first.append(longer - first.size(), '\0');
    second.append(longer - second.size(), '\0');
    return {first, second};
}

// The picture at path, once its decode (started by get, or running) is done.
Picture got(PictureCache& cache, const QString& path, QSize box) {
    for (;;) {
        if (std::optional<Picture> picture = cache.get(path, box)) return *picture;
        cache.wait_idle();
    }
}

// Red, green or blue: the channel that stands out in the middle of the picture.
QString colour_of(const QImage& image) {
    if (image.isNull()) return QStringLiteral("none");
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    if (c.red() > 150 && c.green() < 100 && c.blue() < 100) return QStringLiteral("red");
    if (c.green() > 150 && c.red() < 100 && c.blue() < 100) return QStringLiteral("green");
    if (c.blue() > 150 && c.red() < 100 && c.green() < 100) return QStringLiteral("blue");
    return QStringLiteral("other");
}

const QList<QColor> kColours{Qt::red, Qt::green, Qt::blue};
const QStringList kColourNames{QStringLiteral("red"), QStringLiteral("green"),
                               QStringLiteral("blue")};

// A run of the program on pictures taken one minute apart, in name order,
// each of its own colour (red, green, blue, red, ...).
struct Colours : Album, Run {
    explicit Colours(int count) {
        for (int i = 0; i < count; ++i) {
            add_bytes(QStringLiteral("DSC%1.JPG").arg(i), jpeg_of(kColours[i % 3]),
                      at(2024, 5, 3, 9, i));
        }
        ui.chosen_pictures.push_back(file(QStringLiteral("DSC0.JPG")));
        commands.open_picture();
        show_decoded(commands);
    }
};

}  // namespace

class TestPictureCache : public QObject {
    Q_OBJECT
private slots:
    // A prepared picture is handed out only while its file is as it was when
    // decoded; anything else is decoded again, and a failure reads exactly as
    // load_picture words it.
    void file_changed_after_it_was_prepared_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("colour");
        QTest::newRow("unchanged") << "none"
                                   << "red";
        QTest::newRow("rewritten, new size and time") << "bigger"
                                                      << "blue";
        QTest::newRow("rewritten, same size, new time") << "same size"
                                                        << "blue";
        QTest::newRow("deleted") << "delete"
                                 << "none";
        QTest::newRow("not a JPEG any more") << "garbage"
                                             << "none";
        QTest::newRow("emptied") << "empty"
                                 << "none";
    }
    void file_changed_after_it_was_prepared() {
        QFETCH(QString, change);
        QFETCH(QString, colour);
        Album album;
        const QString path = album.file(QStringLiteral("a.jpg"));
        const auto [red, blue] = same_size(Qt::red, Qt::blue);
        album.add_bytes(QStringLiteral("a.jpg"), red, at(2024, 5, 3, 9, 0));

        PictureCache cache;
        cache.prepare({path}, kSmallBox);
        cache.wait_idle();
        const Picture prepared = got(cache, path, kSmallBox);
        QCOMPARE(colour_of(prepared.image), QStringLiteral("red"));

        if (change == "bigger") {
            album.add_bytes(QStringLiteral("a.jpg"), blue + QByteArray(100, '\0'),
                            at(2024, 5, 3, 9, 1));
        } else if (change == "same size") {
            album.add_bytes(QStringLiteral("a.jpg"), blue, at(2024, 5, 3, 9, 1));
            QCOMPARE(QFileInfo(path).size(), red.size());
        } else if (change == "delete") {
            QVERIFY(QFile::remove(path));
        } else if (change == "garbage") {
            album.add_bytes(QStringLiteral("a.jpg"), QByteArray(red.size(), 'x'),
                            at(2024, 5, 3, 9, 1));
        } else if (change == "empty") {
            album.add_bytes(QStringLiteral("a.jpg"), QByteArray(), at(2024, 5, 3, 9, 1));
        }
        const Picture now = got(cache, path, kSmallBox);
        QCOMPARE(colour_of(now.image), colour);
        const Picture direct = load_picture(path, kSmallBox);
        QCOMPARE(now.problem, direct.problem);
        QCOMPARE(now.image.size(), direct.image.size());
        // The same file unchanged is not decoded again.
        QCOMPARE(now.image.cacheKey() == prepared.image.cacheKey(), change == "none");
    }

    // get never waits for a decode: a picture not asked for before, one being
    // decoded ahead, and one waiting behind others are handed out as nothing
    // while the decoder is held, decoded before any other still waiting, and
    // ready names the picture once get hands it out.
    void get_never_waits_for_a_decode_data() {
        QTest::addColumn<QStringList>("ahead");    // prepared before the get
        QTest::addColumn<QString>("held");         // its decode waits until the get returned
        QTest::addColumn<QStringList>("order");    // the decodes, in order
        QTest::newRow("not asked for before") << QStringList{} << "a" << QStringList{"a"};
        QTest::newRow("being decoded ahead") << QStringList{"a"} << "a" << QStringList{"a"};
        QTest::newRow("waiting behind others")
            << QStringList{"b", "c", "a"} << "b" << QStringList{"b", "a", "c"};
    }
    void get_never_waits_for_a_decode() {
        QFETCH(QStringList, ahead);
        QFETCH(QString, held);
        QFETCH(QStringList, order);
        Album album;
        for (int i = 0; i < 3; ++i)
            album.add_bytes(QStringLiteral("%1.jpg").arg(QChar(u'a' + i)), jpeg_of(kColours[i]),
                            at(2024, 5, 3, 9, i));
        const auto path = [&](const QString& name) { return album.file(name + ".jpg"); };
        std::promise<void> release, entered;
        const std::shared_future<void> released = release.get_future().share();
        std::mutex mutex;
        QStringList decoded, ready;
        PictureCache cache(4, [&](const QString& file, QSize box) {
            if (file == path(held)) {
                entered.set_value();
                released.wait();
            }
            std::lock_guard lock(mutex);
            decoded << QFileInfo(file).baseName();
            return load_picture(file, box);
        });
        cache.on_ready([&](const QString& file) {
            std::lock_guard lock(mutex);
            ready << QFileInfo(file).baseName();
        });
        QStringList paths;
        for (const QString& name : ahead) paths << path(name);
        cache.prepare(paths, kSmallBox);
        if (ahead.contains(held)) entered.get_future().wait();  // the held decode is running
        QVERIFY(!cache.get(path("a"), kSmallBox));
        release.set_value();
        cache.wait_idle();
        QCOMPARE(decoded, order);
        QCOMPARE(ready, QStringList{"a"});
        const std::optional<Picture> shown = cache.get(path("a"), kSmallBox);
        QVERIFY(shown);
        QCOMPARE(colour_of(shown->image), QStringLiteral("red"));
    }

    // The window goes on while the picture is decoded: the labels are the new
    // picture's at once, the box keeps the picture before, and the picture
    // comes when it is decoded; one the person has moved past is not shown.
    void next_shows_the_picture_once_decoded() {
        Colours run(4);
        run.ui.clear();
        run.commands.picture_cache().clear();  // nothing prepared
        run.commands.show_next();
        QCOMPARE(run.ui.file_name, QStringLiteral("DSC1.JPG"));
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("red"));
        run.commands.show_next();  // before DSC1 arrived
        show_decoded(run.commands);
        QCOMPARE(run.ui.events.filter(QStringLiteral("picture|")), QStringList{"picture|480x360"});
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("blue"));
    }

    // A file that fails in the background gives the same reason when shown,
    // and one that is mended afterwards is shown.
    void failure_prepared_in_the_background() {
        Album album;
        const QString path = album.file(QStringLiteral("bad.jpg"));
        album.add_bytes(QStringLiteral("bad.jpg"), jpeg_of(Qt::green).left(20),
                        at(2024, 5, 3, 9, 0));
        PictureCache cache;
        cache.prepare({path}, kSmallBox);
        cache.wait_idle();
        const Picture failed = got(cache, path, kSmallBox);
        QVERIFY(failed.image.isNull());
        QVERIFY(!failed.problem.ok());
        QCOMPARE(failed.problem, load_picture(path, kSmallBox).problem);
        album.add_bytes(QStringLiteral("bad.jpg"), jpeg_of(Qt::green), at(2024, 5, 3, 9, 1));
        QCOMPARE(colour_of(got(cache, path, kSmallBox).image), QStringLiteral("green"));
    }

    // Whatever a decode throws becomes that picture's reason, in the background
    // or on the spot, and the cache goes on with the other pictures.
    void decode_that_throws_data() {
        QTest::addColumn<QString>("thrown");
        QTest::addColumn<bool>("in_background");
        QTest::addColumn<QString>("reason");
        const QString memory = QStringLiteral("メモリが足りません");
        const QString unexpected = QStringLiteral("画像を読み込めません（予期しないエラー）");
        QTest::newRow("out of memory, background") << "bad_alloc" << true << memory;
        QTest::newRow("out of memory, on the spot") << "bad_alloc" << false << memory;
        QTest::newRow("other exception, background") << "runtime_error" << true << unexpected;
        QTest::newRow("not an exception class, background") << "int" << true << unexpected;
    }
    void decode_that_throws() {
        QFETCH(QString, thrown);
        QFETCH(bool, in_background);
        QFETCH(QString, reason);
        Album album;
        album.add_bytes(QStringLiteral("a.jpg"), jpeg_of(Qt::red), at(2024, 5, 3, 9, 0));
        album.add_bytes(QStringLiteral("b.jpg"), jpeg_of(Qt::green), at(2024, 5, 3, 9, 1));
        const QString bad = album.file(QStringLiteral("a.jpg"));
        const QString good = album.file(QStringLiteral("b.jpg"));
        std::atomic<int> throws{0};
        PictureCache cache(4, [&](const QString& path, QSize box) {
            if (path == bad) {
                ++throws;
                if (thrown == "bad_alloc") throw std::bad_alloc();
                if (thrown == "runtime_error") throw std::runtime_error("decoder");
                throw 42;
            }
            return load_picture(path, box);
        });
        if (in_background) {
            cache.prepare({bad, good}, kSmallBox);
            cache.wait_idle();
        }
        const Picture failed = got(cache, bad, kSmallBox);
        QVERIFY(failed.image.isNull());
        QCOMPARE(failure_text(failed.problem), reason);
        QCOMPARE(throws.load(), 1);
        QCOMPARE(colour_of(got(cache, good, kSmallBox).image), QStringLiteral("green"));
        // The background thread still prepares pictures.
        cache.prepare({bad, good}, kLargeBox);
        cache.wait_idle();
        QCOMPARE(throws.load(), 2);
        const qint64 prepared = got(cache, good, kLargeBox).image.cacheKey();
        QCOMPARE(got(cache, good, kLargeBox).image.cacheKey(), prepared);
    }

    void other_box_is_decoded_again() {
        Album album;
        const QString path = album.file(QStringLiteral("wide.jpg"));
        album.add_bytes(QStringLiteral("wide.jpg"), jpeg_of(Qt::red, QSize(1200, 800)),
                        at(2024, 5, 3, 9, 0));
        PictureCache cache;
        cache.prepare({path}, kLargeBox);
        cache.wait_idle();
        QCOMPARE(got(cache, path, kLargeBox).image.size(), QSize(640, 426));
        QCOMPARE(got(cache, path, kSmallBox).image.size(), QSize(480, 320));
        cache.prepare({path}, kSmallBox);
        cache.wait_idle();
        QCOMPARE(got(cache, path, kLargeBox).image.size(), QSize(640, 426));
    }

    // Only the latest list is kept (and the picture last shown): the memory
    // stays a few boxes whatever the folder holds.
    void only_the_latest_list_is_kept() {
        Album album;
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            album.add_bytes(QStringLiteral("%1.jpg").arg(i), jpeg_of(kColours[i % 3]),
                            at(2024, 5, 3, 9, i));
            paths << album.file(QStringLiteral("%1.jpg").arg(i));
        }
        PictureCache cache;
        cache.prepare(paths.mid(0, 2), kSmallBox);
        cache.wait_idle();
        const qint64 first = got(cache, paths[0], kSmallBox).image.cacheKey();
        const qint64 second = got(cache, paths[1], kSmallBox).image.cacheKey();
        cache.prepare(paths.mid(2, 2), kSmallBox);
        cache.wait_idle();
        QCOMPARE(got(cache, paths[1], kSmallBox).image.cacheKey(), second);  // the one last shown
        QVERIFY(got(cache, paths[0], kSmallBox).image.cacheKey() != first);  // dropped, decoded anew
        for (int i = 0; i < 6; ++i)
            QCOMPARE(colour_of(got(cache, paths[i], kSmallBox).image), kColourNames[i % 3]);
    }

    // Next and Previous with the background decodes running: the order, the
    // pictures and the comments are those of the folder.
    void navigation_with_background_decodes() {
        Colours run(7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(run.ui.file_name, QStringLiteral("DSC%1.JPG").arg(i));
            QCOMPARE(colour_of(run.ui.picture), kColourNames[i % 3]);
            run.ui.comment_text = QStringLiteral("comment %1").arg(i);
            run.commands.show_next();
            show_decoded(run.commands);
        }
        QCOMPARE(run.ui.messages().size(), 1);  // no next picture
        for (int i = 6; i >= 0; --i) {
            QCOMPARE(run.ui.file_name, QStringLiteral("DSC%1.JPG").arg(i));
            QCOMPARE(run.ui.comment_text, QStringLiteral("comment %1").arg(i));
            QCOMPARE(colour_of(run.ui.picture), kColourNames[i % 3]);
            run.commands.show_previous();
            show_decoded(run.commands);
        }
        run.commands.show_last();
        show_decoded(run.commands);
        QCOMPARE(colour_of(run.ui.picture), kColourNames[6 % 3]);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(run.commands.table().comments[i], QStringLiteral("comment %1").arg(i));
    }

    // The next picture was prepared, then changed on disk before Next.
    void next_picture_changed_after_it_was_prepared() {
        Colours run(4);
        run.commands.picture_cache().wait_idle();
        run.add_bytes(QStringLiteral("DSC1.JPG"), jpeg_of(Qt::blue, QSize(80, 60)),
                            at(2024, 5, 3, 9, 1));
        QVERIFY(QFile::remove(run.file(QStringLiteral("DSC2.JPG"))));
        run.commands.show_next();
        show_decoded(run.commands);
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("blue"));
        QCOMPARE(run.ui.picture.size(), QSize(480, 360));
        run.commands.show_next();
        show_decoded(run.commands);
        QCOMPARE(run.ui.placeholder, "DSC2.JPG|" + system_reason(ENOENT));
        run.commands.show_next();
        show_decoded(run.commands);
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("red"));
    }

    // Renaming to lower case changes every path; the pictures shown stay right.
    void lower_case_renaming_then_navigation() {
        Colours run(5);
        run.commands.show_next();
        show_decoded(run.commands);
        run.commands.lower_case_names();
        show_decoded(run.commands);
        QCOMPARE(run.ui.file_name, QStringLiteral("dsc1.jpg"));
        run.commands.show_next();
        show_decoded(run.commands);
        QCOMPARE(run.ui.file_name, QStringLiteral("dsc2.jpg"));
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("blue"));
        run.commands.show_previous();
        show_decoded(run.commands);
        run.commands.show_previous();
        show_decoded(run.commands);
        QCOMPARE(run.ui.file_name, QStringLiteral("dsc0.jpg"));
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("red"));
        QVERIFY(run.ui.placeholder.isEmpty());
    }

    // A new box size applies to the picture shown and to those prepared before.
    void box_change_decodes_again() {
        Album album;
        for (int i = 0; i < 3; ++i)
            album.add_bytes(QStringLiteral("P%1.JPG").arg(i),
                            jpeg_of(kColours[i], QSize(1200, 800)), at(2024, 5, 3, 9, i));
        FakeUi ui;
        QTemporaryDir program;
        Commands commands(ui, program.path(), program.path());
        ui.chosen_pictures.push_back(album.file(QStringLiteral("P0.JPG")));
        commands.open_picture();
        show_decoded(commands);
        QCOMPARE(ui.picture.size(), QSize(480, 320));
        commands.picture_cache().wait_idle();
        Settings large;
        large.size_large = true;
        ui.settings_answers.push_back(large);
        commands.open_settings();
        show_decoded(commands);
        QCOMPARE(ui.picture.size(), QSize(640, 426));
        commands.show_next();
        show_decoded(commands);
        QCOMPARE(ui.picture.size(), QSize(640, 426));
        QCOMPARE(colour_of(ui.picture), QStringLiteral("green"));
    }

    // Opening the folder again starts over: a picture rewritten at the same
    // size and given back its old time is read anew.
    void scan_starts_over() {
        Colours run(2);
        const auto [green, blue] = same_size(Qt::green, Qt::blue);
        run.add_bytes(QStringLiteral("DSC1.JPG"), green, at(2024, 5, 3, 9, 1));
        run.commands.show_next();
        show_decoded(run.commands);
        run.commands.show_previous();
        show_decoded(run.commands);
        run.commands.picture_cache().wait_idle();
        run.add_bytes(QStringLiteral("DSC1.JPG"), blue, at(2024, 5, 3, 9, 1));
        run.ui.chosen_pictures.push_back(run.file(QStringLiteral("DSC0.JPG")));
        run.commands.open_picture();
        show_decoded(run.commands);
        run.commands.show_next();
        show_decoded(run.commands);
        QCOMPARE(run.ui.file_name, QStringLiteral("DSC1.JPG"));
        QCOMPARE(colour_of(run.ui.picture), QStringLiteral("blue"));
    }
};

QTEST_GUILESS_MAIN(TestPictureCache)
#include "test_picture_cache.moc"
