#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <sys/time.h>
#include <unistd.h>

#include "app/reasons.h"
#include "platform/files.h"
#include "run.h"

using namespace fotavi;

namespace {

const QString kNeed = QStringLiteral("message|メッセージ|先に、画像ファイルを指定して下さい");

QStringList files_in(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    names.removeAll("time_log.txt");
    // The store, and its log while it is open.
    names.removeIf([](const QString& name) { return name.startsWith("fotavi_comments.sqlite"); });
    return names;
}
}  // namespace

// 小文字: every picture of the folder renamed to lower case, never replacing
// a file, on any file system; failures named with their reason.
class TestRenaming : public QObject {
    Q_OBJECT
private slots:
    void lower_case_renaming_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("message");
        const QString done = QStringLiteral("画像ファイル名を小文字にしました");
        const QString taken = system_reason(EEXIST);
        const QString gone = system_reason(ENOENT);
        const QString long_name = QString(236, u'L') + ".JPG";
        QTest::newRow("camera names") << QStringList{"DSC0001.JPG", "DSC0002.JPG"} << QStringList{}
                                      << QStringList{"dsc0001.jpg", "dsc0002.jpg"} << done;
        QTest::newRow("already lower") << QStringList{"a.jpg", "b.jpg"} << QStringList{}
                                       << QStringList{"a.jpg", "b.jpg"} << done;
        QTest::newRow("mixed") << QStringList{"Pic_A.Jpg", "x.JPG", "y.jpg"} << QStringList{}
                               << QStringList{"pic_a.jpg", "x.jpg", "y.jpg"} << done;
        QTest::newRow("letters beyond ASCII")
            << QStringList{QStringLiteral("ÉTÉ.JPG"), QStringLiteral("ΑΘΗΝΑ.JPG"),
                           QStringLiteral("写真.JPG")}
            << QStringList{}
            << QStringList{QStringLiteral("été.jpg"), QStringLiteral("αθηνα.jpg"),
                           QStringLiteral("写真.jpg")}
            << done;
        QTest::newRow("240 characters") << QStringList{long_name, "B.JPG"} << QStringList{}
                                        << QStringList{long_name.toLower(), "b.jpg"} << done;
        QTest::newRow("lower-case twin exists")
            << QStringList{"P.JPG", "p.jpg", "Q.JPG"} << QStringList{}
            << QStringList{"P.JPG", "p.jpg", "q.jpg"}
            << QStringLiteral(
                   "画像ファイル 3 個のうち 2 個を小文字にしました。次の 1 個はできませんでした:\n"
                   "P.JPG: ") +
                   taken;
        QTest::newRow("every rename fails")
            << QStringList{"A.JPG", "B.JPG"} << QStringList{"folder:a.jpg", "folder:b.jpg"}
            << QStringList{"A.JPG", "B.JPG"}
            << QStringLiteral(
                   "画像ファイル 2 個のどれも小文字にできませんでした:\nA.JPG: %1\nB.JPG: %1")
                   .arg(taken);
        QTest::newRow("removed after the scan")
            << QStringList{"A.JPG", "B.JPG"} << QStringList{"remove:A.JPG"}
            << QStringList{"A.JPG", "b.jpg"}
            << QStringLiteral(
                   "画像ファイル 2 個のうち 1 個を小文字にしました。次の 1 個はできませんでした:\n"
                   "A.JPG: ") +
                   gone;
        QTest::newRow("lower-case name removed after the scan")
            << QStringList{"a.jpg", "B.JPG"} << QStringList{"remove:a.jpg"}
            << QStringList{"a.jpg", "b.jpg"}
            << QStringLiteral(
                   "画像ファイル 2 個のうち 1 個を小文字にしました。次の 1 個はできませんでした:\n"
                   "a.jpg: ") +
                   gone;
        // The scan finishes a rename the program did not live to finish.
        QTest::newRow("interrupted rename is finished")
            << QStringList{"C.JPG", "D.JPG"} << QStringList{"interrupt:C.JPG"}
            << QStringList{"c.jpg", "d.jpg"} << done;
        QTest::newRow("interrupted, long name")
            << QStringList{long_name, "D.JPG"} << QStringList{"interrupt:" + long_name}
            << QStringList{long_name.toLower(), "d.jpg"} << done;
        QTest::newRow("interrupted, new name taken since: old name back")
            << QStringList{"C.JPG", "c.jpg"} << QStringList{"interrupt:C.JPG"}
            << QStringList{"C.JPG", "c.jpg"}
            << QStringLiteral(
                   "画像ファイル 2 個のうち 1 個を小文字にしました。次の 1 個はできませんでした:\n"
                   "C.JPG: ") +
                   taken;
    }
    void lower_case_renaming() {
        QFETCH(QStringList, before);
        QFETCH(QStringList, setup);
        QFETCH(QStringList, after);
        QFETCH(QString, message);
        Album album;
        for (int i = 0; i < before.size(); ++i) album.add(before[i], at(2020, 5, 1, 9, i));
        QStringList removals;
        for (const QString& step : setup) {
            const QString name = step.section(':', 1);
            if (step.startsWith("interrupt:")) {
                TwoStepRename cut(album.file(name), album.file(name.toLower()));
                QCOMPARE(cut.first_step(), 0);
                QVERIFY(!QFileInfo::exists(album.file(name)));
            } else if (step.startsWith("folder:")) {
                QVERIFY(QDir(album.path()).mkdir(name));
            } else {
                removals << name;
            }
        }
        Run run;
        run.start(album.path());
        QCOMPARE(run.ui.messages(), QStringList());
        QCOMPARE(run.commands.table().count(), before.size());
        for (const QString& name : removals) QVERIFY(QFile::remove(album.file(name)));
        run.ui.comment_text = "first";
        run.commands.show_next();
        run.ui.clear();
        run.commands.lower_case_names();
        QStringList names;
        for (int i = 0; i < run.commands.table().count(); ++i)
            names << run.commands.table().names[i];
        QCOMPARE(names, after);
        QStringList on_disk = files_in(album.path());
        QStringList expected_disk = after;
        for (const QString& name : removals) expected_disk.removeAll(name);
        on_disk.sort();
        expected_disk.sort();
        QCOMPARE(on_disk, expected_disk);  // and no temporary file or note is left
        QCOMPARE(run.commands.table().comments[0], QStringLiteral("first"));
        QCOMPARE(run.commands.table().dates[0], to_date_time(at(2020, 5, 1, 9, 0)));
        QCOMPARE(run.ui.events.first(), "file_name|" + after[1]);
        QCOMPARE(run.ui.messages(), QStringList{"message|メッセージ|" + message});
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
    }

    // Pictures of the same second come in name order, whatever order the
    // folder lists them in, and the same after 小文字; by capture time, the
    // sub-seconds come first, then the name.
    void same_second_follows_the_names_data() {
        QTest::addColumn<bool>("capture_time");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("file times")
            << false << QStringList{"DSCN0101.JPG", "DSCN0102.JPG", "DSCN0103.JPG",
                                    "DSCN0104.JPG", "DSCN0105.JPG", "DSCN0106.JPG"};
        QTest::newRow("capture times")
            << true << QStringList{"DSCN0102.JPG", "DSCN0103.JPG", "DSCN0104.JPG",
                                   "DSCN0105.JPG", "DSCN0106.JPG", "DSCN0101.JPG"};
    }
    void same_second_follows_the_names() {
        QFETCH(bool, capture_time);
        QFETCH(QStringList, order);
        Album album;
        const QDateTime second = at(2020, 5, 1, 9, 0);
        // Made in shuffled order; DSCN0106 and DSCN0101 carry sub-seconds.
        for (const char* name : {"DSCN0105.JPG", "DSCN0101.JPG", "DSCN0106.JPG", "DSCN0103.JPG",
                                 "DSCN0102.JPG", "DSCN0104.JPG"}) {
            const QByteArray sub = name == QByteArray("DSCN0106.JPG")   ? "10"
                                   : name == QByteArray("DSCN0101.JPG") ? "50"
                                                                        : "";
            album.add_exif(name, second, {"2020:05:01 09:00:00", {}, {}, sub, {}, false});
        }
        QStringList lower;
        for (const QString& name : order) lower << name.toLower();
        for (const QStringList& expected : {order, lower}) {
            Run run;
            run.start(album.path());
            if (capture_time) run.commands.toggle_capture_time();
            QCOMPARE(run.names(), expected);
            run.commands.lower_case_names();
        }
    }

    // A system error reaches the user as what failed and its reason in
    // Japanese, whatever the locale (the tests run with LANG=C.UTF-8).
    //   open     the Open dialog chooses a picture in the folder
    //   komoji   the folder is opened, then 小文字
    void system_errors_are_named_in_japanese_data() {
        QTest::addColumn<QString>("folder");  // %A: a folder of A.JPG and B.JPG, %D: a small disk
        QTest::addColumn<QString>("setup");   // what is done to it before
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");  // %F: the folder
        QTest::newRow("folder missing")
            << "/no/such/folder"
            << ""
            << "open"
            << QStringLiteral("フォルダ %F を開けません。\n理由: ") + system_reason(ENOENT);
        QTest::newRow("a file where a folder should be")
            << "%A/A.JPG"
            << ""
            << "open"
            << QStringLiteral("フォルダ %F を開けません。\n理由: ") + system_reason(ENOTDIR);
        QTest::newRow("folder without permission")
            << "%A"
            << "mode 000"
            << "open"
            << QStringLiteral("フォルダ %F を開けません。\n理由: ") + system_reason(EACCES);
        QTest::newRow("folder that cannot be listed")
            << "%A"
            << "mode 100"
            << "open"
            << QStringLiteral("フォルダ %F の中を読めません。\n理由: ") + system_reason(EACCES);
        QTest::newRow("renaming in a folder without write permission")
            << "%A"
            << "mode 500"
            << "komoji"
            << QStringLiteral(
                   "画像ファイル 2 個のどれも小文字にできませんでした:\nA.JPG: %1\nB.JPG: %1")
                   .arg(system_reason(EACCES));
        QTest::newRow("renaming on a read-only disk")
            << "%D"
            << "read-only"
            << "komoji"
            << QStringLiteral(
                   "画像ファイル 2 個のどれも小文字にできませんでした:\nA.JPG: %1\nB.JPG: %1")
                   .arg(system_reason(EROFS));
    }
    void system_errors_are_named_in_japanese() {
        QFETCH(QString, folder);
        QFETCH(QString, setup);
        QFETCH(QString, command);
        QFETCH(QString, message);
        Album album;
        QTemporaryDir disk;
        bool mounted = false;
        auto restore = qScopeGuard([&] {
            QDir::setCurrent(QDir::rootPath());
            QFile::setPermissions(album.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            if (mounted) QProcess::execute("umount", {disk.path()});
        });
        if (folder == "%D") {
            mounted = QProcess::execute(
                          "mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk.path()}) == 0;
            if (!mounted) QSKIP("cannot mount a small tmpfs here");
        }
        const QString path = folder.replace("%A", album.path()).replace("%D", disk.path());
        const QString pictures = folder.startsWith(disk.path()) ? disk.path() : album.path();
        for (int i = 0; i < 2; ++i) {
            const QString file = pictures + (i == 0 ? "/A.JPG" : "/B.JPG");
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(jpeg_bytes(QSize(16, 16))) > 0);
            out.close();
            const timeval times[2] = {{i, 0}, {i, 0}};  // A first
            ::utimes(QFile::encodeName(file).constData(), times);
        }
        Run run;
        run.start("");
        if (command == "komoji") {
            run.commands.open_dropped(path);
            QCOMPARE(run.commands.table().count(), 2);
        }
        const QFileDevice::Permissions modes[] = {
            {}, QFile::ExeOwner, QFile::ReadOwner | QFile::ExeOwner};
        const int mode = QStringList{"mode 000", "mode 100", "mode 500"}.indexOf(setup);
        if (mode >= 0) {
            QVERIFY(QFile::setPermissions(album.path(), modes[mode]));
            const int wanted = QList<int>{R_OK | X_OK, R_OK, W_OK}[mode];
            if (::access(QFile::encodeName(album.path()).constData(), wanted) == 0)
                QSKIP(
                    "this user is not stopped by permissions (root); run as another user to see "
                    "the reason");
        } else if (setup == "read-only") {
            QVERIFY(QProcess::execute("mount", {"-o", "remount,ro", disk.path()}) == 0);
        }
        run.ui.clear();
        if (command == "open") {
            run.ui.chosen_pictures.push_back(path + "/x.jpg");
            run.commands.open_picture();
        } else {
            run.commands.lower_case_names();
        }
        QCOMPARE(run.ui.messages(),
                 QStringList{"message|メッセージ|" + message.replace("%F", path)});
    }

    void renaming_needs_pictures() {
        Run run;
        run.start("");
        run.ui.clear();
        run.commands.lower_case_names();
        QCOMPARE(run.ui.events, QStringList({kNeed, "focus"}));
    }

    // A camera card: only the letter case changes, on a file system that ignores it.
    void renaming_on_a_fat_card() {
        QTemporaryDir work;
        const QString image = work.filePath("card.img");
        const QString mount_point = work.filePath("card");
        QDir().mkpath(mount_point);
        if (QProcess::execute("mkfs.vfat", {"-C", image, "2048"}) != 0)
            QSKIP("mkfs.vfat is not available");
        // The kernel's vfat where loop mounts are allowed, else FAT in user space.
        if (QProcess::execute("mount", {"-o", "loop", image, mount_point}) != 0 &&
            QProcess::execute("fusefat", {"-o", "rw+", image, mount_point}) != 0)
            QSKIP("neither a loop mount nor fusefat works on this machine");
        auto unmount = qScopeGuard([&] {
            QDir::setCurrent(QDir::rootPath());
            QProcess::execute("umount", {mount_point});
        });
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const QString long_name = QString(236, u'L') + ".JPG";
        for (const QString& name :
             {QStringLiteral("DSC0001.JPG"), QStringLiteral("DSC0002.JPG"), long_name})
            QVERIFY(picture.save(mount_point + "/" + name, "JPG"));
        // The program ended between the two steps of renaming DSC0002.JPG.
        TwoStepRename cut(mount_point + "/DSC0002.JPG", mount_point + "/dsc0002.jpg");
        QCOMPARE(cut.first_step(), 0);
        Run run;
        run.start(mount_point);
        QCOMPARE(run.commands.table().count(), 3);
        run.commands.lower_case_names();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().last() ==
                     QStringLiteral("message|メッセージ|画像ファイル名を小文字にしました"),
                 qUtf8Printable(run.ui.messages().last()));
        QStringList on_disk = files_in(mount_point);
        on_disk.sort();
        QCOMPARE(on_disk, QStringList({"dsc0001.jpg", "dsc0002.jpg", long_name.toLower()}));
    }
};

QTEST_GUILESS_MAIN(TestRenaming)
#include "test_renaming.moc"
