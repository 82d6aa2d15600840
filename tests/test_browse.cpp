#include <QBuffer>
#include <QTest>

#include <unistd.h>

#include "app/reasons.h"
#include "pictures/image_table.h"
#include "platform/picture.h"
#include "platform/picture_header.h"
#include "run.h"

using namespace fotavi;

namespace {

const QString kNeed = QStringLiteral("message|メッセージ|先に、画像ファイルを指定して下さい");
const QString kNoNext = QStringLiteral("message|メッセージ|これより次の画像ファイルはありません");
const QString kNoPrevious =
    QStringLiteral("message|メッセージ|これより前の画像ファイルはありません");
const QString kNothingFound = QStringLiteral("message|fotavi|検索対象ありませんでした。");

// Bytes this process has read from files so far.
qint64 bytes_read() {
    QFile io(QStringLiteral("/proc/self/io"));
    io.open(QIODevice::ReadOnly);
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:")) return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// Four pictures across two days, listed in an order unlike their times.
void make_four(const Album& album) {
    album.add(QStringLiteral("DSC0003.JPG"), at(2001, 9, 2, 12, 15));
    album.add(QStringLiteral("DSC0001.JPG"), at(2001, 9, 2, 5, 10, 13), QSize(64, 48));
    album.add(QStringLiteral("DSC0004.JPG"), at(2001, 9, 3, 8, 30), QSize(48, 64));
    album.add(QStringLiteral("DSC0002.jpg"), at(2001, 9, 2, 10, 40));
}

}  // namespace

class TestBrowse : public QObject {
    Q_OBJECT
private slots:
    void sort_is_stable_and_ascending() {
        const qint64 dates[] = {5, 3, 5, 1, 3, 5};
        std::vector<ListedFile> files;
        for (int i = 0; i < 6; ++i) files.push_back({QStringLiteral("f%1.jpg").arg(i), {dates[i]}});
        QStringList names;
        for (size_t at : table_order(files)) names << files[at].name;
        QCOMPARE(names, QStringList({"f3.jpg", "f1.jpg", "f4.jpg", "f0.jpg", "f2.jpg", "f5.jpg"}));
    }

    void start_up_shows_the_earliest_picture_of_the_folder() {
        Album album;
        make_four(album);
        Run run;
        run.start({album.file(QStringLiteral("DSC0003.JPG"))});
        QCOMPARE(run.names(),
                 QStringList({"DSC0001.JPG", "DSC0002.jpg", "DSC0003.JPG", "DSC0004.JPG"}));
        QCOMPARE(run.commands.folder(), album.path());
        QCOMPARE(run.commands.folder(), album.path());
        QCOMPARE(run.ui.file_name, QStringLiteral("DSC0001.JPG"));
        QCOMPARE(run.ui.file_date, QStringLiteral("2001/09/02(日)05:10"));
        // The box is empty until the picture is decoded, and shows it then.
        show_decoded(run.commands);
        QCOMPARE(run.ui.picture.size(), QSize(480, 360));
        const QStringList tail =
            run.ui.events.mid(run.ui.events.indexOf(QStringLiteral("file_name|DSC0001.JPG")));
        QCOMPARE(tail, QStringList({"file_name|DSC0001.JPG",
                                    QStringLiteral("file_date|2001/09/02(日)05:10"),
                                    "picture|0x0", "comment|", "enable|next", "enable|previous",
                                    "enable|lower_case", "enable|list", "picture|480x360"}));
        QVERIFY(run.ui.messages().isEmpty());
        QCOMPARE(QDir::currentPath(), album.path());
    }

    void command_line_data() {
        QTest::addColumn<QString>("arg");    // %A is the album folder
        QTest::addColumn<QString>("start");  // folder the program was started in
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("absolute picture") << "%A/DSC0002.jpg"
                                          << "/" << true << QStringList();
        QTest::newRow("picture missing, folder there") << "%A/GONE.JPG"
                                                       << "/" << true << QStringList();
        QTest::newRow("extension in any case") << "%A/x.Jpg"
                                               << "/" << true << QStringList();
        QTest::newRow("relative to the start folder") << "DSC0003.JPG"
                                                      << "%A" << true << QStringList();
        QTest::newRow("relative with a folder") << "./sub/../DSC0003.JPG"
                                                << "%A" << true << QStringList();
        QTest::newRow("a folder") << "%A"
                                  << "/" << true << QStringList();
        QTest::newRow("a folder, trailing slash") << "%A/"
                                                  << "/" << true << QStringList();
        QTest::newRow("a folder through ..") << "%A/sub/.."
                                             << "/" << true << QStringList();
        QTest::newRow("other extension") << "%A/notes.txt"
                                         << "/" << false << QStringList();
        QTest::newRow("two dots, jpg last") << "%A/a.b.jpg"
                                            << "/" << true << QStringList();
        QTest::newRow("no extension") << "%A/README"
                                      << "/" << false << QStringList();
        QTest::newRow("missing folder")
            << "/no/such/folder/DSC0001.JPG"
            << "/" << false
            << QStringList({QStringLiteral(
                   "message|メッセージ|フォルダ /no/such/folder を開けません。\n理由: "
                   "ファイルまたはフォルダが見つかりません")});
        QTest::newRow("empty argument") << ""
                                        << "/" << false << QStringList();
    }
    void command_line() {
        QFETCH(QString, arg);
        QFETCH(QString, start);
        QFETCH(bool, opened);
        QFETCH(QStringList, messages);
        Album album;
        make_four(album);
        QDir(album.path()).mkdir(QStringLiteral("sub"));
        Run run;
        run.start({arg.replace(QLatin1String("%A"), album.path())},
                  start.replace(QLatin1String("%A"), album.path()));
        QCOMPARE(run.commands.table().count(), opened ? 4 : 0);
        QCOMPARE(run.commands.folder(), opened ? album.path() : QString());
        QCOMPARE(run.ui.messages(), messages);
        QCOMPARE(run.ui.events.contains(QStringLiteral("enable|next")), opened);
        if (!opened) QCOMPARE(QDir::currentPath(), run.program.path());
    }

    void folder_without_pictures_says_so_and_keeps_the_screen() {
        Album album;
        make_four(album);
        QTemporaryDir empty;
        QDir(empty.path()).mkdir(QStringLiteral("folder.jpg"));  // a folder is no picture
        Run run;
        run.start({album.file(QStringLiteral("DSC0001.JPG"))});
        run.ui.clear();
        run.ui.chosen_pictures.push_back(empty.filePath(QStringLiteral("folder.jpg/x.jpg")));
        run.ui.chosen_pictures.push_back(empty.filePath(QStringLiteral("x.jpg")));
        run.commands.open_picture();
        run.commands.open_picture();
        QCOMPARE(run.ui.events,
                 QStringList({"open dialog",
                              "message|fotavi|" + QStringLiteral("検索対象ありませんでした。"),
                              "focus", "open dialog", kNothingFound, "focus"}));
        QCOMPARE(run.commands.table().count(), 0);
        QCOMPARE(run.commands.folder(), empty.path());
        run.ui.clear();
        run.commands.show_next();
        run.commands.show_last();
        run.commands.write_time_log();
        QCOMPARE(run.ui.events, QStringList({kNeed, "focus", kNeed, "focus", kNeed}));
    }

    void open_cancelled_changes_nothing_but_the_focus() {
        Album album;
        make_four(album);
        Run run;
        run.start({album.file(QStringLiteral("DSC0001.JPG"))});
        run.ui.comment_text = QStringLiteral("typed");
        run.ui.clear();
        run.commands.open_picture();
        QCOMPARE(run.ui.events, QStringList({"open dialog", "focus"}));
        QCOMPARE(run.commands.table().count(), 4);
    }

    void navigation_commits_comments_and_refuses_at_the_ends() {
        Album album;
        make_four(album);
        Run run;
        run.start({album.file(QStringLiteral("DSC0004.JPG"))});
        show_decoded(run.commands);
        FakeUi& ui = run.ui;
        ui.clear();
        ui.comment_text = QStringLiteral("station");
        run.commands.show_previous();
        QCOMPARE(ui.events, QStringList({kNoPrevious, "file_name|DSC0001.JPG",
                                         QStringLiteral("file_date|2001/09/02(日)05:10"),
                                         "picture|480x360", "comment|station", "focus"}));
        run.commands.show_next();
        ui.comment_text = QStringLiteral("two\nlines");
        run.commands.show_last();
        show_decoded(run.commands);
        QCOMPARE(ui.file_name, QStringLiteral("DSC0004.JPG"));
        QCOMPARE(ui.picture.size(), QSize(270, 360));  // upright, fitted, not stretched
        ui.comment_text = QStringLiteral("home");
        ui.clear();
        run.commands.show_next();
        QCOMPARE(ui.events.first(), kNoNext);
        QCOMPARE(ui.comment_text, QStringLiteral("home"));
        run.commands.show_first();
        QCOMPARE(ui.comment_text, QStringLiteral("station"));
        run.commands.show_next();
        QCOMPARE(ui.comment_text, QStringLiteral("two\nlines"));
        QCOMPARE(run.commands.table().shown, 1);
        QCOMPARE(ui.events.last(), QStringLiteral("focus"));
        QVERIFY(!ui.messages().contains(QStringLiteral("information")));
    }

    void one_picture_refuses_both_ways() {
        Album album;
        album.add(QStringLiteral("only.jpg"), at(2020, 1, 1, 9, 0));
        Run run;
        run.start({album.file(QStringLiteral("only.jpg"))});
        run.ui.comment_text = QStringLiteral("kept");
        run.ui.clear();
        run.commands.show_next();
        run.commands.show_previous();
        QCOMPARE(run.ui.messages(), QStringList({kNoNext, kNoPrevious}));
        QCOMPARE(run.ui.comment_text, QStringLiteral("kept"));
        QCOMPARE(run.commands.table().comments[0], QStringLiteral("kept"));
    }

    void empty_table_stores_nothing() {
        Run run;
        run.start(QStringList());
        run.ui.comment_text = QStringLiteral("lost?");
        for (auto command :
             {&Commands::show_previous, &Commands::show_next, &Commands::show_first, &Commands::show_last}) {
            run.ui.clear();
            (run.commands.*command)();
            QCOMPARE(run.ui.events, QStringList({kNeed, "focus"}));
        }
        QCOMPARE(run.commands.table().count(), 0);
        QVERIFY(run.commands.document().log_is_current());
    }

    // Bad files next to a good one: each gets a clear answer in the picture
    // box and can still be commented; none is read further than its decode
    // needs. bad.jpg comes after good.jpg, so it is also prepared in the
    // background while good.jpg is shown.
    void bad_files_data() {
        QTest::addColumn<QString>("kind");    // how bad.jpg is made
        QTest::addColumn<bool>("listed");     // the scan lists it
        QTest::addColumn<QString>("reason");  // in the placeholder; empty: shown
        QTest::addColumn<QSize>("shown");     // the picture's size when shown
        const QString damaged = QStringLiteral("画像のデータが壊れています");
        const QString not_jpeg = QStringLiteral("JPEG 画像ではありません");
        const QString no_data = QStringLiteral(
            "画像のデータがありません（JPEG の見出しだけで、画像の本体がありません）");
        QTest::newRow("zero bytes")
            << "empty" << true << QStringLiteral("ファイルが空です（0 バイト）") << QSize();
        QTest::newRow("text") << "text" << true << not_jpeg << QSize();
        // A HEIF picture is shown whatever its name; this one is a file type box only.
        QTest::newRow("HEIF header only, named .jpg")
            << "heif" << true << damaged << QSize();
        QTest::newRow("PNG named .jpg") << "png" << true << QString() << QSize(480, 360);
        QTest::newRow("JPEG header only") << "header only" << true << no_data << QSize();
        QTest::newRow("frame but no scan") << "no scan" << true << no_data << QSize();
        QTest::newRow("cut in half") << "half" << true << QString() << QSize(480, 360);
        QTest::newRow("progressive") << "progressive" << true << QString() << QSize(480, 360);
        QTest::newRow("12-bit samples")
            << "12 bit" << true << QStringLiteral("12 ビットの JPEG には対応していません")
            << QSize();
        QTest::newRow("20000 x 20000 claimed") << "20000" << true << QString() << QSize(360, 360);
        QTest::newRow("60000 x 60000 claimed")
            << "60000" << true << QStringLiteral("大きすぎて表示できません (60000 × 60000)")
            << QSize();
        QTest::newRow("20000 x 20000 progressive")
            << "20000 progressive" << true
            << QStringLiteral("大きすぎて表示できません (20000 × 20000)") << QSize();
        QTest::newRow("sparse 3 GB, no picture") << "sparse" << true << not_jpeg << QSize();
        QTest::newRow("sparse 3 GB after a JPEG start")
            << "sparse jpeg" << true << damaged << QSize();
        QTest::newRow("mode 000") << "mode 000" << true
                                  << QStringLiteral("アクセスが許可されていません") << QSize();
        QTest::newRow("folder named like a picture")
            << "folder" << false << QStringLiteral("画像ファイルではなくフォルダです") << QSize();
        QTest::newRow("dangling link")
            << "dangling" << false << QStringLiteral("ファイルまたはフォルダが見つかりません")
            << QSize();
    }
    void bad_files() {
        QFETCH(QString, kind);
        QFETCH(bool, listed);
        QFETCH(QString, reason);
        QFETCH(QSize, shown);
        Album album;
        album.add(QStringLiteral("good.jpg"), at(2020, 1, 1, 9, 0));
        const QString path = album.file(QStringLiteral("bad.jpg"));
        const QByteArray jpeg = jpeg_bytes(QSize(400, 300));
        QByteArray bytes;
        qint64 sparse_size = 0;
        if (kind == "text") {
            bytes = "hello, this is text\n";
        } else if (kind == "heif") {
            bytes = QByteArray::fromHex("0000001c66747970686569630000000068656963");
        } else if (kind == "png") {
            QBuffer png(&bytes);
            png.open(QIODevice::WriteOnly);
            QImage(400, 300, QImage::Format_RGB32).save(&png, "PNG");
        } else if (kind == "header only") {
            bytes = QByteArray::fromHex("ffd8ffe000104a4649460001");
        } else if (kind == "no scan") {
            bytes = jpeg.left(jpeg.indexOf("\xFF\xDA")) + "\xFF\xD9";
        } else if (kind == "half") {
            bytes = jpeg.left(jpeg.size() / 2);
        } else if (kind == "progressive") {
            bytes = jpeg_bytes(QSize(400, 300), Qt::darkCyan, true);
        } else if (kind == "12 bit") {
            bytes = jpeg;
            bytes[jpeg.indexOf("\xFF\xC0") + 4] = 12;
        } else if (kind == "20000" || kind == "60000") {
            bytes = with_claimed_size(jpeg, QSize(kind.toInt(), kind.toInt()));
        } else if (kind == "20000 progressive") {
            bytes = with_claimed_size(jpeg_bytes(QSize(400, 300), Qt::darkCyan, true),
                                      QSize(20000, 20000));
        } else if (kind == "sparse" || kind == "sparse jpeg") {
            // No disk is taken: the file is one hole after its first bytes.
            bytes = kind == "sparse" ? QByteArray("x") : jpeg.left(20);
            sparse_size = 3LL << 30;
        }
        if (kind == "folder") {
            QVERIFY(QDir(album.path()).mkdir(QStringLiteral("bad.jpg")));
        } else if (kind == "dangling") {
            QVERIFY(QFile::link(album.file(QStringLiteral("gone.jpg")), path));
        } else {
            album.add_bytes(QStringLiteral("bad.jpg"), kind == "mode 000" ? jpeg : bytes,
                            at(2020, 1, 1, 10, 0));
            if (sparse_size > 0) QVERIFY(QFile::resize(path, sparse_size));
            if (kind == "mode 000") {
                QVERIFY(QFile::setPermissions(path, {}));
                if (::access(QFile::encodeName(path).constData(), R_OK) == 0)
                    QSKIP(
                        "this user reads files of mode 000 (root); run as another user to see the "
                        "reason");
            }
        }
        Run run;
        run.start({album.path()});
        QCOMPARE(run.names(),
                 listed ? QStringList({"good.jpg", "bad.jpg"}) : QStringList({"good.jpg"}));
        show_decoded(run.commands);
        QVERIFY(!run.ui.picture.isNull());

        // What the picture box says is exactly what loading it says.
        const qint64 read_before = bytes_read();
        const Picture picture = load_picture(path, QSize(480, 360));
        QVERIFY2(bytes_read() - read_before < 2 * 1024 * 1024,
                 "more of the file was read than a picture needs");
        QCOMPARE(failure_text(picture.problem), reason);
        QCOMPARE(picture.image.size(), shown.isValid() ? shown : QSize(0, 0));
        if (!listed) return;
        run.ui.comment_text = QStringLiteral("good");
        run.commands.show_next();
        show_decoded(run.commands);
        QCOMPARE(run.ui.file_name, QStringLiteral("bad.jpg"));
        if (reason.isEmpty()) {
            QCOMPARE(run.ui.picture.size(), shown);
        } else {
            QVERIFY(run.ui.picture.isNull());
            QCOMPARE(run.ui.placeholder, "bad.jpg|" + reason);
        }
        run.ui.comment_text = QStringLiteral("bad but noted");
        run.commands.show_previous();
        QCOMPARE(run.commands.table().comments[1], QStringLiteral("bad but noted"));
        QCOMPARE(run.ui.comment_text, QStringLiteral("good"));
    }

    void picture_deleted_after_the_scan() {
        Album album;
        make_four(album);
        Run run;
        run.start({album.path()});
        QFile::remove(album.file(QStringLiteral("DSC0002.jpg")));
        run.commands.show_next();
        QCOMPARE(run.ui.file_name, QStringLiteral("DSC0002.jpg"));
        QVERIFY(run.ui.placeholder.contains(QStringLiteral("見つかりません")));
        run.commands.show_next();
        QCOMPARE(run.ui.file_name, QStringLiteral("DSC0003.JPG"));
    }

    void names_that_are_not_utf8_are_counted() {
        Album album;
        album.add(QStringLiteral("good.jpg"), at(2020, 1, 1, 9, 0));
        const QByteArray bad =
            QFile::encodeName(album.path()) + "/\x83\x74\x83\x48.jpg";  // Shift_JIS
        {
            FILE* f = std::fopen(bad.constData(), "wb");
            QVERIFY(f);
            std::fclose(f);
        }
        Run run;
        run.start({album.path()});
        QCOMPARE(run.names(), QStringList({"good.jpg"}));
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY(run.ui.messages().first().contains(QStringLiteral(" 1 個")));
        ::unlink(bad.constData());  // QTemporaryDir cannot name it
    }

    // A phone's weekend: every picture is listed in date order, each can be
    // commented from the first to the last, and List writes every comment.
    void eight_hundred_pictures_are_all_listed_and_logged() {
        Album album;
        const int count = 800;
        for (int i = 0; i < count; ++i)
            album.add(QStringLiteral("P%1.JPG").arg(i, 4, 10, QLatin1Char('0')),
                      at(2020, 1, 1, 0, 0).addSecs(60 * (count - i)), QSize(8, 8));
        Run run;
        run.start({album.path()});
        QVERIFY(run.ui.messages().isEmpty());
        QCOMPARE(run.commands.table().count(), count);
        QCOMPARE(run.ui.file_name, QStringLiteral("P0799.JPG"));
        for (int i = 0; i < count; ++i) {
            run.ui.comment_text = QStringLiteral("c%1").arg(i);
            run.commands.show_next();
        }
        QCOMPARE(run.ui.messages().size(), 1);  // Next on the last picture refuses once
        QCOMPARE(run.commands.table().names[count - 1], QStringLiteral("P0000.JPG"));
        run.commands.write_time_log();
        QFile log(album.file("time_log.txt"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray bytes = log.readAll();
        QCOMPARE(bytes.count("</TD></TR>\r\n") - bytes.count("COLSPAN"), qsizetype(count));
        QVERIFY(bytes.contains("<TD>c799</TD>"));
    }
};

QTEST_GUILESS_MAIN(TestBrowse)
#include "test_browse.moc"
