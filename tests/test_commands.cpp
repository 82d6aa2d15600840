#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <sys/time.h>
#include <unistd.h>

#include "app/reasons.h"
#include "platform/files.h"
#include "platform/text_file.h"
#include "run.h"

using namespace fotavi;

namespace {

const QString kNeed = QStringLiteral("message|メッセージ|先に、画像ファイルを指定して下さい");

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
        run.commands.show_next();
        run.commands.show_next();
        run.ui.comment_text = "lunch";
        run.commands.show_next();
        run.ui.comment_text = "home";
        run.ui.clear();
        run.commands.write_time_log();
        QCOMPARE(run.ui.events, QStringList({"message|メッセージ|" + album.path() +
                                             "にtime_log.txt を出力しました"}));
        QCOMPARE(read_all(album.file("time_log.txt")), cp932(kOutingLog));
        QVERIFY(run.commands.document().log_is_current());
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
        run.commands.write_time_log();
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
        run.commands.show_next();
        run.ui.comment_text = "lunch";
        run.ui.clear();
        run.commands.write_time_log();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().first().contains(album.file("time_log.txt")),
                 qPrintable(run.ui.messages().first()));
        QVERIFY(!run.ui.messages().first().contains("出力しました"));
        QCOMPARE(run.commands.table().comments[0], QStringLiteral("station"));
        QCOMPARE(run.commands.table().comments[1], QStringLiteral("lunch"));
        QVERIFY(!run.commands.document().log_is_current());
        QVERIFY(QDir(album.path()).rmdir("time_log.txt"));
        run.commands.write_time_log();
        QVERIFY(read_all(album.file("time_log.txt")).contains("lunch"));
        QVERIFY(run.commands.document().log_is_current());
    }

    void characters_outside_code_page_932_are_counted() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.path());
        run.ui.comment_text =
            QStringLiteral("晴れ😀〜");  // the wave dash has a twin, the emoji none
        run.ui.clear();
        run.commands.write_time_log();
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
            run.commands.show_next();
            run.commands.show_previous();
            run.ui.comment_text = "";
            run.commands.show_next();
        } else if (typing == "listed" || typing == "changed") {
            run.ui.comment_text = "listed";
            run.commands.write_time_log();
            if (typing == "changed") run.ui.comment_text = "listed, then more";
        } else if (typing == "box") {
            run.ui.comment_text = "only in the box";
        } else if (typing == "committed") {
            run.ui.comment_text = "committed";
            run.commands.show_next();
        }
        QFile::remove(album.file("time_log.txt"));
        if (answer >= 0) run.ui.unwritten_answers.push_back(UnwrittenAnswer(answer));
        run.ui.clear();
        bool went_on = false;
        if (action == "exit") {
            went_on = run.commands.may_quit();
            QCOMPARE(QFileInfo::exists(run.program.filePath("def_list.txt")), goes_on);
        } else if (action == "open") {
            run.ui.chosen_pictures.push_back(second.file("IMG.JPG"));
            run.commands.open_picture();
            went_on = run.commands.folder() == second.path();
            QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
        } else {
            went_on = run.commands.open_dropped(second.file("IMG.JPG"));
            QCOMPARE(run.commands.folder() == second.path(), went_on);
        }
        QCOMPARE(run.ui.events.contains("ask unwritten"), answer >= 0);
        QCOMPARE(went_on, goes_on);
        QCOMPARE(QFileInfo::exists(album.file("time_log.txt")),
                 log_written && answer == int(UnwrittenAnswer::Write));
        if (!goes_on) QCOMPARE(run.commands.table().count(), 4);
    }

    void write_answer_that_fails_stays() {
        Album album;
        make_outing(album);
        QDir(album.path()).mkdir("time_log.txt");
        Run run;
        run.start(album.path());
        run.ui.comment_text = "precious";
        run.ui.unwritten_answers.push_back(UnwrittenAnswer::Write);
        QVERIFY(!run.commands.may_quit());
        QCOMPARE(run.ui.messages().size(), 1);
        QCOMPARE(run.commands.table().comments[0], QStringLiteral("precious"));
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
                QCOMPARE(run.commands.may_quit() ? "leaves" : "stays", expected);
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
        chosen.phrases[1] = QStringLiteral("€uro 😀");
        run.ui.settings_answers.push_back(chosen);
        run.commands.open_settings();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().first().contains(" 2 文字"),
                 qPrintable(run.ui.messages().first()));
    }

    void exit_writes_the_settings_into_the_program_folder() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.path());
        QVERIFY(run.commands.may_quit());
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
    void version_and_help() {
        const QString head = QStringLiteral("フォタビ\r\n\r\nバージョン1.21\r\n");
        QVERIFY(version_text().startsWith(head));
        const QString notice = version_text().mid(head.size());
        QVERIFY(!notice.trimmed().isEmpty());
        QVERIFY(!notice.contains('\n') && !notice.contains('\r'));
        Run run;
        run.start("");
        run.ui.clear();
        run.commands.show_version();
        run.commands.open_help();
        QCOMPARE(run.ui.events,
                 QStringList({"information|バージョン情報|" + version_text(), "focus",
                              "open document|" + run.program.filePath("Mirabo.html")}));
    }

    void presets_insert_their_phrase() {
        Run run;
        run.start("");
        run.ui.comment_text = "朝";
        run.ui.clear();
        run.commands.insert_phrase(1);
        run.commands.insert_phrase(3);
        QCOMPARE(run.ui.events, QStringList({QStringLiteral("insert|麦"), "focus",
                                             QStringLiteral("insert|実"), "focus"}));
        QCOMPARE(run.ui.comment_text, QStringLiteral("朝麦実"));
    }

    // Copied pictures, the mode turned on: the camera's order and times, every comment kept.
    void settings_dialog_applies_at_once_or_not_at_all() {
        Album album;
        make_outing(album);
        Run run;
        run.start(album.path());
        run.ui.comment_text = "typing";
        Settings large;
        large.size_large = true;
        large.phrases = {"", "a", "ab", QStringLiteral("雨")};
        run.ui.settings_answers = {std::nullopt, large};
        run.ui.clear();
        run.ui.layout_values.clear();
        run.commands.open_settings();
        QCOMPARE(run.ui.events, QStringList({"settings dialog", "focus"}));
        run.ui.clear();
        run.commands.open_settings();
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
        show_decoded(run.commands);  // the picture decoded anew for the larger box
        QCOMPARE(run.commands.settings(), large);
        QCOMPARE(run.ui.captions,
                 QStringList({"(&Z)", "a(&X)", "a.(&C)", QStringLiteral("雨(&V)")}));
        QCOMPARE(run.ui.layout_values.size(), size_t(18));
        QCOMPARE(run.ui.layout_values.front().twips, 9175);
        QCOMPARE(run.ui.picture.size(), QSize(640, 480));
        QCOMPARE(run.ui.comment_text, QStringLiteral("typing"));
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
