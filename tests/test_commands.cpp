#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <sys/time.h>
#include <unistd.h>

#include "run.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text_file.h"

using namespace fotavi;

namespace {

const QString kNeed = QStringLiteral("message|メッセージ|先に、画像ファイルを指定して下さい");

// The same outing copied with cp: every file time is the copy's, the camera's
// times are in the EXIF blocks, and the names run against the camera's order.
void make_copied_outing(const Album& album) {
    const QDateTime copied = at(2024, 6, 1, 20, 0);
    album.add_exif("DSC0004.JPG", copied, {"2001:09:02 05:10:13", {}, {}, "40", {}, false});
    album.add_exif("DSC0003.JPG", copied, {"2001:09:02 10:40:00", {}, {}, {}, {}, true});
    album.add_exif("DSC0002.JPG", copied, {{}, "2001:09:02 12:15:00", {}, {}, {}, false});
    album.add_exif("DSC0001.JPG", copied, {"2001:09:03 08:30:00", {}, {}, {}, {}, false});
}

// time_log.txt of the outing with "station", "lunch" and "home" on its first, third and fourth
// picture.
QByteArray outing_log() {
    return encode_cp932(
               QStringLiteral(
                   "2001年9月2日(日)\r\n05:10 station\r\n12:15 lunch\r\n2001年9月3日(月)\r\n08:30 "
                   "home\r\n\r\n\r\n\r\n"
                   "<TABLE BORDER=1>\r\n<TR><TD COLSPAN=\"2\">2001年9月2日(日)</TD></TR>\r\n"
                   "<TR><TD>05:10</TD><TD>station</TD></TR>\r\n<TR><TD>12:15</TD><TD>lunch</TD></"
                   "TR>\r\n"
                   "<TR><TD "
                   "COLSPAN=\"2\">2001年9月3日(月)</TD></TR>\r\n<TR><TD>08:30</TD><TD>home</TD></"
                   "TR>\r\n"
                   "</TABLE>\r\n"))
        .bytes;
}

QStringList names_of(const ImageTable& table) {
    return QStringList(table.img_name.begin(), table.img_name.end());
}

QStringList files_in(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    names.removeAll("time_log.txt");
    names.removeAll("fotavi_comments.sqlite");
    return names;
}

}  // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    // Typing "station", Next, Next, "lunch", Next, "home", List.
    void list_writes_the_outing_and_names_the_folder() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.file("DSC0003.JPG"));
        run.ui.comment_text = "station";
        run.commands.k_incre();
        run.commands.k_incre();
        run.ui.comment_text = "lunch";
        run.commands.k_incre();
        run.ui.comment_text = "home";
        run.ui.clear();
        run.commands.k_list();
        QCOMPARE(run.ui.events, QStringList({"message|メッセージ|" + album.path() +
                                             "にtime_log.txt を出力しました"}));
        QCOMPARE(read_all(album.file("time_log.txt")), outing_log());
        QVERIFY(!run.commands.has_unwritten_comments());
        QCOMPARE(run.ui.comment_text, QStringLiteral("home"));
    }

    void list_on_an_empty_table_touches_nothing() {
        QTemporaryDir empty;
        QFile old(empty.filePath("time_log.txt"));
        old.open(QIODevice::WriteOnly);
        old.write("old log");
        old.close();
        Run run;
        run.start(empty.filePath("x.jpg"));
        run.ui.clear();
        run.commands.k_list();
        QCOMPARE(run.ui.events, QStringList({kNeed}));
        QCOMPARE(read_all(empty.filePath("time_log.txt")), QByteArray("old log"));
    }

    // A failed write keeps the old file, says why, and keeps every comment for another try.
    void a_failed_list_loses_nothing() {
        Album album;
        make_outing(album);
        QDir(album.path()).mkdir("time_log.txt");
        Run run;
        run.start(album.path());
        run.ui.comment_text = "station";
        run.commands.k_incre();
        run.ui.comment_text = "lunch";
        run.ui.clear();
        run.commands.k_list();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().first().contains(album.file("time_log.txt")),
                 qPrintable(run.ui.messages().first()));
        QVERIFY(!run.ui.messages().first().contains("出力しました"));
        QCOMPARE(run.commands.table().img_comment[0], QStringLiteral("station"));
        QCOMPARE(run.commands.table().img_comment[1], QStringLiteral("lunch"));
        QVERIFY(run.commands.has_unwritten_comments());
        QVERIFY(QDir(album.path()).rmdir("time_log.txt"));
        run.commands.k_list();
        QVERIFY(read_all(album.file("time_log.txt")).contains("lunch"));
        QVERIFY(!run.commands.has_unwritten_comments());
    }

    void characters_outside_code_page_932_are_counted() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.path());
        run.ui.comment_text =
            QStringLiteral("晴れ😀〜");  // the wave dash has a twin, the emoji none
        run.ui.clear();
        run.commands.k_list();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().first().contains(" 1 文字"),
                 qPrintable(run.ui.messages().first()));
        QVERIFY(read_all(album.file("time_log.txt"))
                    .contains(encode_cp932(QStringLiteral("晴れ?～")).bytes));
    }

    // What leaving or opening does with comments never written to the log.
    void unwritten_comments_data() {
        QTest::addColumn<QString>("action");  // exit, open, drop
        QTest::addColumn<QString>("typing");  // how the comments came to be
        QTest::addColumn<int>("answer");      // -1: no question expected
        QTest::addColumn<bool>("goes_on");
        QTest::addColumn<bool>("log_written");
        const auto write = int(UnwrittenAnswer::Write), discard = int(UnwrittenAnswer::Discard),
                   stay = int(UnwrittenAnswer::Stay);
        for (const QString action : {"exit", "open", "drop"}) {
            const QByteArray a = action.toUtf8();
            QTest::newRow(a + ", nothing typed") << action << "" << -1 << true << false;
            QTest::newRow(a + ", typed then erased") << action << "erase" << -1 << true << false;
            QTest::newRow(a + ", all listed") << action << "listed" << -1 << true << true;
            QTest::newRow(a + ", box only, write") << action << "box" << write << true << true;
            QTest::newRow(a + ", committed, discard")
                << action << "committed" << discard << true << false;
            QTest::newRow(a + ", changed after list, stay")
                << action << "changed" << stay << false << true;
        }
    }
    void unwritten_comments() {
        QFETCH(QString, action);
        QFETCH(QString, typing);
        QFETCH(int, answer);
        QFETCH(bool, goes_on);
        QFETCH(bool, log_written);
        Album album;
        make_outing(album);
        QTemporaryDir other;
        Album second;
        second.add("IMG.JPG", at(2020, 1, 1, 1, 1));
        Run run;
        run.start(album.path());
        if (typing == "erase") {
            run.ui.comment_text = "typo";
            run.commands.k_incre();
            run.commands.k_decre();
            run.ui.comment_text = "";
            run.commands.k_incre();
        } else if (typing == "listed" || typing == "changed") {
            run.ui.comment_text = "listed";
            run.commands.k_list();
            if (typing == "changed") run.ui.comment_text = "listed, then more";
        } else if (typing == "box") {
            run.ui.comment_text = "only in the box";
        } else if (typing == "committed") {
            run.ui.comment_text = "committed";
            run.commands.k_incre();
        }
        QFile::remove(album.file("time_log.txt"));
        if (answer >= 0) run.ui.unwritten_answers.push_back(UnwrittenAnswer(answer));
        run.ui.clear();
        bool went_on = false;
        if (action == "exit") {
            went_on = run.commands.exit();
            QCOMPARE(QFileInfo::exists(run.program.filePath("def_list.txt")), goes_on);
        } else if (action == "open") {
            run.ui.chosen_pictures.push_back(second.file("IMG.JPG"));
            run.commands.k_open();
            went_on = run.commands.work_dir() == second.path();
            QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
        } else {
            went_on = run.commands.open_dropped(second.file("IMG.JPG"));
            QCOMPARE(run.commands.work_dir() == second.path(), went_on);
        }
        QCOMPARE(run.ui.events.contains("ask unwritten"), answer >= 0);
        QCOMPARE(went_on, goes_on);
        QCOMPARE(QFileInfo::exists(album.file("time_log.txt")),
                 log_written && answer == int(UnwrittenAnswer::Write));
        if (!goes_on) QCOMPARE(run.commands.table().img_count(), 4);
    }

    void write_answer_that_fails_stays() {
        Album album;
        make_outing(album);
        QDir(album.path()).mkdir("time_log.txt");
        Run run;
        run.start(album.path());
        run.ui.comment_text = "precious";
        run.ui.unwritten_answers.push_back(UnwrittenAnswer::Write);
        QVERIFY(!run.commands.exit());
        QCOMPARE(run.ui.messages().size(), 1);
        QCOMPARE(run.commands.table().img_comment[0], QStringLiteral("precious"));
    }

    // Settings that cannot be saved are never lost without a word: the
    // person may stay and try again; a damaged file is kept aside first.
    void settings_at_exit_data() {
        QTest::addColumn<QByteArray>(
            "file");  // def_list.txt at start ("dir": a folder holds the name)
        QTest::addColumn<QList<bool>>("leave");   // answers to "leave without saving?"
        QTest::addColumn<QStringList>("exits");   // "stays" or "leaves", one per try
        QTest::addColumn<QByteArray>("written");  // def_list.txt afterwards
        const QByteArray defaults =
            encode_cp932(QStringLiteral("False\r\n米\r\n麦\r\n豆\r\n実\r\n")).bytes;
        QTest::newRow("cannot write, stay, then leave")
            << QByteArray("dir") << QList<bool>{false, true} << QStringList{"stays", "leaves"}
            << QByteArray("<missing>");
        QTest::newRow("cannot write, stay, fixed")
            << QByteArray("dir") << QList<bool>{false} << QStringList{"stays", "fix", "leaves"}
            << defaults;
        QTest::newRow("ten lines, kept aside")
            << QByteArray("True\r\na\r\nb\r\nc\r\nd\r\n5\r\n6\r\n7\r\n8\r\n9") << QList<bool>{}
            << QStringList{"leaves"} << QByteArray("True\r\na\r\nb\r\nc\r\nd\r\n");
        QTest::newRow("UTF-8, kept aside")
            << QStringLiteral("False\r\nお茶\r\n").toUtf8() << QList<bool>{}
            << QStringList{"leaves"} << QByteArray();
    }
    void settings_at_exit() {
        QFETCH(QByteArray, file);
        QFETCH(QList<bool>, leave);
        QFETCH(QStringList, exits);
        QFETCH(QByteArray, written);
        Run run;
        const QString path = run.program.filePath("def_list.txt");
        if (file != "dir") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        run.start("");
        if (file == "dir")  // the name is taken after start-up read the settings
            QVERIFY(QDir(run.program.path()).mkdir("def_list.txt"));
        const QStringList kept = QDir(run.program.path()).entryList({"def_list_damaged-*.txt"});
        if (file != "dir") {
            QCOMPARE(kept.size(), 1);
            QCOMPARE(read_all(run.program.filePath(kept.first())), file);
            QCOMPARE(run.ui.messages().size(), 1);
            QVERIFY(run.ui.messages().first().contains(kept.first()));
        }
        for (const bool answer : leave) run.ui.leave_answers.push_back(answer);
        for (const QString& expected : exits) {
            if (expected == "fix")
                QVERIFY(QDir(run.program.path()).rmdir("def_list.txt"));
            else
                QCOMPARE(run.commands.exit() ? "leaves" : "stays", expected);
        }
        QCOMPARE(run.ui.events.filter("ask leave|").size(), leave.size());
        if (written.isEmpty())  // what was readable of the damaged file, written as the program
                                // writes it
            QVERIFY(read_all(path).startsWith("False\r\n"));
        else
            QCOMPARE(read_all(path), written);
    }

    void phrases_code_page_932_cannot_hold_are_said() {
        Run run;
        run.start("");
        Settings chosen;
        chosen.pre_str[1] = QStringLiteral("€uro 😀");
        run.ui.settings_answers.push_back(chosen);
        run.commands.m_setup();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().first().contains(" 2 文字"),
                 qPrintable(run.ui.messages().first()));
    }

    void exit_writes_the_settings_into_the_program_folder() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.path());
        QVERIFY(run.commands.exit());
        QVERIFY(QFileInfo::exists(run.program.filePath("def_list.txt")));
        QVERIFY(!QFileInfo::exists(album.file("def_list.txt")));
        QCOMPARE(read_all(run.program.filePath("def_list.txt")),
                 encode_cp932(QStringLiteral("False\r\n米\r\n麦\r\n豆\r\n実\r\n")).bytes);
    }

    // Each row: the pictures in date order, what happens to the folder, the
    // names afterwards (table and disk) and the one message.
    //   interrupt:N  a rename of N to lower case was cut off between its two steps
    //   folder:N     a folder named N, made before the scan
    //   remove:N     N removed after the scan
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
        QTest::newRow("mixed") << QStringList{"Img_A.Jpg", "x.JPG", "y.jpg"} << QStringList{}
                               << QStringList{"img_a.jpg", "x.jpg", "y.jpg"} << done;
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
                QCOMPARE(cut.first_step(), QString());
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
        QCOMPARE(run.commands.table().img_count(), before.size());
        for (const QString& name : removals) QVERIFY(QFile::remove(album.file(name)));
        run.ui.comment_text = "first";
        run.commands.k_incre();
        run.ui.clear();
        run.commands.k_komoji();
        QStringList names;
        for (int i = 0; i < run.commands.table().img_count(); ++i)
            names << run.commands.table().img_name[i];
        QCOMPARE(names, after);
        QStringList on_disk = files_in(album.path());
        QStringList expected_disk = after;
        for (const QString& name : removals) expected_disk.removeAll(name);
        on_disk.sort();
        expected_disk.sort();
        QCOMPARE(on_disk, expected_disk);  // and no temporary file or note is left
        QCOMPARE(run.commands.table().img_comment[0], QStringLiteral("first"));
        QCOMPARE(run.commands.table().img_date[0], to_date_time(at(2020, 5, 1, 9, 0)));
        QCOMPARE(run.ui.events.first(), "file_name|" + after[1]);
        QCOMPARE(run.ui.messages(), QStringList{"message|メッセージ|" + message});
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
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
            QCOMPARE(run.commands.table().img_count(), 2);
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
            run.commands.k_open();
        } else {
            run.commands.k_komoji();
        }
        QCOMPARE(run.ui.messages(),
                 QStringList{"message|メッセージ|" + message.replace("%F", path)});
    }

    void renaming_needs_pictures() {
        Run run;
        run.start("");
        run.ui.clear();
        run.commands.k_komoji();
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
        QCOMPARE(cut.first_step(), QString());
        Run run;
        run.start(mount_point);
        QCOMPARE(run.commands.table().img_count(), 3);
        run.commands.k_komoji();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().last() ==
                     QStringLiteral("message|メッセージ|画像ファイル名を小文字にしました"),
                 qUtf8Printable(run.ui.messages().last()));
        QStringList on_disk = files_in(mount_point);
        on_disk.sort();
        QCOMPARE(on_disk, QStringList({"dsc0001.jpg", "dsc0002.jpg", long_name.toLower()}));
    }

    void version_and_help() {
        const QString head = QStringLiteral("フォタビ\r\n\r\nバージョン1.21\r\n");
        QVERIFY(version_text().startsWith(head));
        const QString notice = version_text().mid(head.size());
        QVERIFY(!notice.trimmed().isEmpty());
        QVERIFY(!notice.contains('\n') && !notice.contains('\r'));
        Run run;
        run.start("");
        run.ui.clear();
        run.commands.m_version();
        run.commands.m_help();
        QCOMPARE(run.ui.events,
                 QStringList({"information|バージョン情報|" + version_text(), "focus",
                              "open document|" + run.program.filePath("Mirabo.html")}));
    }

    void presets_insert_their_phrase() {
        Run run;
        run.start("");
        run.ui.comment_text = "朝";
        run.ui.clear();
        run.commands.k_pre_set(1);
        run.commands.k_pre_set(3);
        QCOMPARE(run.ui.events, QStringList({QStringLiteral("insert|麦"), "focus",
                                             QStringLiteral("insert|実"), "focus"}));
        QCOMPARE(run.ui.comment_text, QStringLiteral("朝麦実"));
    }

    // Copied pictures, the mode turned on: the camera's order and times, every comment kept.
    void capture_time_toggle_rescans_and_keeps_comments() {
        Album album;
        make_copied_outing(album);
        Run run;
        run.start(album.path());
        QCOMPARE(run.ui.file_date, QStringLiteral("2024/06/01(土)20:00"));
        const QString first_listed = run.ui.file_name;
        run.ui.comment_text = "typed before";
        run.ui.clear();
        run.commands.m_capture_time();
        QVERIFY(run.commands.settings().capture_time && run.ui.capture_time_checked);
        QCOMPARE(run.ui.events.first(),
                 QStringLiteral("progress|撮影日時を読んでいます（4 枚）|4"));
        QCOMPARE(run.ui.progress_steps, 4);
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
        QCOMPARE(names_of(run.commands.table()),
                 QStringList({"DSC0004.JPG", "DSC0003.JPG", "DSC0002.JPG", "DSC0001.JPG"}));
        // The same picture stays on screen, with its comment and its camera date.
        QCOMPARE(run.ui.file_name, first_listed);
        QCOMPARE(run.ui.comment_text, QStringLiteral("typed before"));
        QVERIFY(run.ui.file_date != QStringLiteral("2024/06/01(土)20:00"));

        run.commands.m_first();
        QCOMPARE(run.ui.file_date, QStringLiteral("2001/09/02(日)05:10"));
        run.ui.comment_text = "station";
        run.commands.k_incre();
        run.ui.comment_text = "";
        run.commands.k_incre();
        run.ui.comment_text = "lunch";
        run.commands.k_incre();
        run.ui.comment_text = "home";
        run.commands.k_list();
        QCOMPARE(read_all(album.file("time_log.txt")), outing_log());
        run.ui.settings_answers = {Settings{}};  // the dialog knows nothing of the mode
        run.commands.m_setup();
        QVERIFY(run.commands.settings().capture_time);
        QVERIFY(run.commands.exit());
        QVERIFY(read_all(run.program.filePath("def_list.txt")).endsWith("\r\nCaptureTime\r\n"));

        // Off again: file times, listing order, the comments still on their pictures.
        run.commands.m_capture_time();
        QVERIFY(!run.commands.settings().capture_time && !run.ui.capture_time_checked);
        QCOMPARE(run.ui.file_date, QStringLiteral("2024/06/01(土)20:00"));
        QCOMPARE(run.ui.comment_text, QStringLiteral("home"));
        const ImageTable& table = run.commands.table();
        for (int i = 0; i < table.img_count(); ++i) {
            const QString& name = table.img_name[i];
            const QString expected = name == "DSC0004.JPG"   ? "station"
                                     : name == "DSC0002.JPG" ? "lunch"
                                     : name == "DSC0001.JPG" ? "home"
                                                             : "";
            QCOMPARE(table.img_comment[i], expected);
        }
        QVERIFY(!run.commands.has_unwritten_comments());
        QVERIFY(run.commands.exit());
        QCOMPARE(read_all(run.program.filePath("def_list.txt")),
                 encode_cp932(QStringLiteral("False\r\n米\r\n麦\r\n豆\r\n実\r\n")).bytes);
        QVERIFY(!QDir(album.path()).entryList().contains("capture-times"));
    }

    // The hint comes once a folder, across runs, and only Yes turns the mode on.
    void capture_time_hint_data() {
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("mode_on");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::newRow("copied, yes") << true << false << true << true;
        QTest::newRow("copied, no") << true << false << false << true;
        QTest::newRow("copied, mode already on") << true << true << false << false;
        QTest::newRow("times kept by the copy") << false << false << false << false;
    }
    void capture_time_hint() {
        QFETCH(bool, copied);
        QFETCH(bool, mode_on);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        Album album;
        if (copied) {
            make_copied_outing(album);
        } else {
            album.add_exif("A.JPG", at(2001, 9, 2, 5, 10),
                           {"2001:09:02 05:10:00", {}, {}, {}, {}, false});
            album.add_exif("B.JPG", at(2001, 9, 2, 9, 0),
                           {"2001:09:02 09:00:00", {}, {}, {}, {}, false});
        }
        Run run;
        if (mode_on) {
            QFile config(run.program.filePath("def_list.txt"));
            QVERIFY(config.open(QIODevice::WriteOnly));
            config.write(
                encode_cp932(QStringLiteral("False\r\n米\r\n麦\r\n豆\r\n実\r\nCaptureTime\r\n"))
                    .bytes);
        }
        run.ui.yes_no_answers.push_back(answer);
        run.start(album.file("DSC0001.JPG"));
        const QStringList questions = run.ui.events.filter("ask yes no|");
        QCOMPARE(questions.size(), asked ? 1 : 0);
        if (asked)
            QVERIFY2(questions.first().contains(QStringLiteral("撮影日時を使う")),
                     qPrintable(questions.first()));
        QCOMPARE(run.commands.settings().capture_time, mode_on || answer);
        QCOMPARE(run.ui.capture_time_checked, mode_on || answer);
        if (copied && (mode_on || answer)) {
            QCOMPARE(run.commands.table().img_name.front(), QStringLiteral("DSC0004.JPG"));
            QCOMPARE(run.ui.file_name,
                     QStringLiteral("DSC0004.JPG"));  // a folder opens at its first picture
        }

        // Opened again, in this run and in the next, with the mode off: never asked again.
        if (run.commands.settings().capture_time) run.commands.m_capture_time();
        run.ui.clear();
        run.ui.chosen_pictures.push_back(album.file("DSC0001.JPG"));
        run.commands.k_open();
        FakeUi next_ui;
        next_ui.yes_no_answers.push_back(true);
        Commands next(next_ui, run.program.path(), run.program.path(), run.folders);
        next.open_dropped(album.path());
        QCOMPARE(run.ui.events.filter("ask yes no|").size() +
                     next_ui.events.filter("ask yes no|").size(),
                 copied && mode_on ? 1 : 0);  // the first time the mode is off
        QVERIFY(!QFileInfo::exists(album.file("capture-time-hints.txt")));
    }

    // Cancelling the reading of capture times changes nothing: mode, folder, table, screen.
    void cancelled_capture_scan_keeps_everything() {
        Album open, other;
        make_copied_outing(open);
        make_copied_outing(other);
        Run run;
        run.start(open.path());
        run.ui.comment_text = "kept";
        const QStringList names = names_of(run.commands.table());
        run.ui.cancel_at_step = 2;
        run.ui.clear();
        run.commands.m_capture_time();
        QCOMPARE(run.ui.events, QStringList({"progress|撮影日時を読んでいます（4 枚）|4",
                                             "progress end", "focus"}));
        QVERIFY(!run.commands.settings().capture_time && !run.ui.capture_time_checked);
        QCOMPARE(names_of(run.commands.table()), names);
        QCOMPARE(run.ui.comment_text, QStringLiteral("kept"));

        run.ui.cancel_at_step = -1;
        run.commands.m_capture_time();
        const QStringList camera_order = names_of(run.commands.table());
        run.ui.cancel_at_step = 3;
        run.ui.unwritten_answers.push_back(UnwrittenAnswer::Discard);
        run.ui.clear();
        run.ui.chosen_pictures.push_back(other.file("DSC0001.JPG"));
        run.commands.k_open();
        QCOMPARE(run.ui.events, QStringList({"open dialog", "ask unwritten",
                                             "progress|撮影日時を読んでいます（4 枚）|4",
                                             "progress end", "focus"}));
        QCOMPARE(run.commands.work_dir(), open.path());
        QCOMPARE(run.commands.disp_dir(), open.path());
        QCOMPARE(QDir::currentPath(), open.path());
        QCOMPARE(names_of(run.commands.table()), camera_order);
        QCOMPARE(run.commands.table().img_comment[size_t(run.commands.table().img_index)],
                 QStringLiteral("kept"));
    }

    void settings_dialog_applies_at_once_or_not_at_all() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.path());
        run.ui.comment_text = "typing";
        Settings large;
        large.size_large = true;
        large.pre_str = {"", "a", "ab", QStringLiteral("雨")};
        run.ui.settings_answers = {std::nullopt, large};
        run.ui.clear();
        run.ui.layout_values.clear();
        run.commands.m_setup();
        QCOMPARE(run.ui.events, QStringList({"settings dialog", "focus"}));
        run.ui.clear();
        run.commands.m_setup();
        QCOMPARE(run.commands.settings(), large);
        QCOMPARE(run.ui.captions,
                 QStringList({"(&Z)", "a(&X)", "a.(&C)", QStringLiteral("雨(&V)")}));
        QCOMPARE(run.ui.layout_values.size(), size_t(18));
        QCOMPARE(run.ui.layout_values.front().twips, 9175);
        QCOMPARE(run.ui.picture.size(), QSize(640, 480));
        QCOMPARE(run.ui.comment_text, QStringLiteral("typing"));
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
