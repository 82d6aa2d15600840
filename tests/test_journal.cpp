#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cerrno>
#include <memory>

#include <unistd.h>

#include "album.h"
#include "app/commands.h"
#include "fake_ui.h"
#include "platform/text_file.h"

using namespace fotavi;

namespace {

const QString kJournal = QStringLiteral("fotavi_comments.json");

// One run of the program on a folder; dropping it without exit() is a kill
// after the last save reached the disk.
struct Run {
    FakeUi ui;
    QTemporaryDir program;
    Commands commands;

    Run(const QString& state, JournalStore::Writer writer = {})
        : commands(ui, program.path(), program.path(), UserFolders{state + "/cache", state},
                   std::move(writer)) {}
    void open(const QString& folder) { commands.start_up({folder}, QDir::rootPath()); }
    QString comment_of(const QString& name) const {
        const ImageTable& t = commands.table();
        for (int i = 0; i < t.img_count(); ++i)
            if (t.img_name[size_t(i)] == name) return t.img_comment[size_t(i)];
        return QStringLiteral("<not listed>");
    }
};

void make_outing(const Album& album) {
    album.add("DSC0001.JPG", at(2001, 9, 2, 5, 10, 13));
    album.add("DSC0002.JPG", at(2001, 9, 2, 10, 40));
    album.add("DSC0003.JPG", at(2001, 9, 2, 12, 15));
    album.add("DSC0004.JPG", at(2001, 9, 3, 8, 30), QSize(48, 64));
}

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList journal_names(const QString& path) {
    return QJsonDocument::fromJson(read_all(path)).object().value("pictures").toObject().keys();
}

// A writer that fails with the given errno for paths inside failing_folder.
JournalStore::Writer failing_in(const QString& failing_folder, int error) {
    return [failing_folder, error](const QString& path, const QByteArray& bytes, int* code) {
        if (path.startsWith(failing_folder + '/')) {
            *code = error;
            return QStringLiteral("%1: %2").arg(path).arg(error);
        }
        return write_file_atomically(path, bytes, code);
    };
}

}  // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    // A session is a script of steps; after it, the program is killed and a
    // new one opens the folder: every comment must come back.
    void comments_come_back_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");  // name=comment after reopening
        QTest::newRow("navigated")
            << QStringList{"type station", "next", "type lunch\nsoup", "next"}
            << QStringList{"DSC0001.JPG=station", "DSC0002.JPG=lunch\nsoup", "DSC0003.JPG="};
        QTest::newRow("typed, never stored")
            << QStringList{"next", "type half a thought", "pause"}
            << QStringList{"DSC0002.JPG=half a thought", "DSC0001.JPG="};
        QTest::newRow("erased again")
            << QStringList{"type typo", "next", "previous", "type ", "next"}
            << QStringList{"DSC0001.JPG="};
        QTest::newRow("after List") << QStringList{"type station", "list", "type changed", "next"}
                                    << QStringList{"DSC0001.JPG=changed"};
        QTest::newRow("lower case")
            << QStringList{"type station", "next", "type lunch", "lower case"}
            << QStringList{"dsc0001.jpg=station", "dsc0002.jpg=lunch"};
        QTest::newRow("renamed outside")
            << QStringList{"type station", "next", "rename DSC0001.JPG trip.jpg"}
            << QStringList{"trip.jpg=station"};
        QTest::newRow("moved away") << QStringList{"type station", "next", "move away DSC0001.JPG"}
                                    << QStringList{"DSC0001.JPG=<not listed>", "DSC0002.JPG="};
        QTest::newRow("moved away and back")
            << QStringList{"type station", "next", "move away DSC0001.JPG", "reopen",
                           "move back DSC0001.JPG"}
            << QStringList{"DSC0001.JPG=station"};
        QTest::newRow("read-only folder") << QStringList{"read-only", "type station", "next"}
                                          << QStringList{"DSC0001.JPG=station"};
    }
    void comments_come_back() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        Album album;
        make_outing(album);
        QTemporaryDir state, away;
        JournalStore::Writer writer;
        if (steps.contains("read-only")) writer = failing_in(album.path(), EROFS);
        auto run = std::make_unique<Run>(state.path(), writer);
        run->open(album.path());
        for (const QString& step : steps) {
            const QString arg = step.section(' ', 1);
            if (step.startsWith("type ")) {
                run->ui.comment_text = arg;
                run->commands.comment_edited();
            } else if (step == "next") {
                run->commands.k_incre();
            } else if (step == "previous") {
                run->commands.k_decre();
            } else if (step == "list") {
                run->commands.k_list();
            } else if (step == "lower case") {
                run->commands.k_komoji();
            } else if (step == "pause") {
                QTest::qWait(1300);  // the typing is saved within a second or two
            } else if (step == "reopen") {
                run->commands.comments().flush();
                run = std::make_unique<Run>(state.path(), writer);
                run->open(album.path());
            } else if (step.startsWith("rename ")) {
                QVERIFY(QFile::rename(album.file(arg.section(' ', 0, 0)),
                                      album.file(arg.section(' ', 1))));
            } else if (step.startsWith("move away ")) {
                QVERIFY(QFile::rename(album.file(step.section(' ', 2)),
                                      away.filePath(step.section(' ', 2))));
            } else if (step.startsWith("move back ")) {
                QVERIFY(QFile::rename(away.filePath(step.section(' ', 2)),
                                      album.file(step.section(' ', 2))));
            }
        }
        run->commands.comments().flush();
        run = std::make_unique<Run>(state.path(), writer);  // killed, started again
        run->open(album.path());
        for (const QString& pair : expected)
            QCOMPARE(run->comment_of(pair.section('=', 0, 0)), pair.section('=', 1));
        QVERIFY(run->ui.messages().isEmpty());
        if (steps.contains("read-only")) {
            QVERIFY(!QFile::exists(album.file(kJournal)));
            QCOMPARE(QDir(state.path()).entryList(QDir::Files).size(), 1);
        }
        // Pictures no longer in the folder keep their comments in the journal but stay out of the
        // log.
        run->commands.k_list();
        if (steps.contains("move away DSC0001.JPG") && !steps.contains("move back DSC0001.JPG")) {
            QVERIFY(journal_names(album.file(kJournal)).contains("DSC0001.JPG"));
            QVERIFY(!read_all(album.file("time_log.txt")).contains("station"));
        }
    }

    // A folder with a time_log.txt but no journal gets its comments back
    // from it; List then writes the same bytes again, or keeps the old file
    // aside when it holds entries the new one would not.
    void time_log_is_read_back_data() {
        QTest::addColumn<QString>("change");        // what differs from the worked example
        QTest::addColumn<QStringList>("comments");  // of DSC0001..4 after opening
        QTest::addColumn<QString>("said");          // a fragment of the one message, or empty
        QTest::addColumn<bool>("kept");             // List kept the old file aside
        QTest::newRow("worked example")
            << "" << QStringList{"station", "", "lunch", "home"} << "" << false;
        QTest::newRow("a shared minute, fewer entries")
            << "DSC0002 at 12:15" << QStringList{"station", "", "", "home"} << "1 個の記録" << true;
        QTest::newRow("a picture moved away")
            << "no DSC0004" << QStringList{"station", "", "lunch", "<not listed>"} << "1 個の記録"
            << true;
        QTest::newRow("saved as UTF-8")
            << "utf-8" << QStringList{"station", "", "lunch", "home"} << "読み取れない" << true;
        QTest::newRow("a journal is there, empty")
            << "journal" << QStringList{"", "", "", ""} << "" << true;
    }
    void time_log_is_read_back() {
        QFETCH(QString, change);
        QFETCH(QStringList, comments);
        QFETCH(QString, said);
        QFETCH(bool, kept);
        Album album;
        make_outing(album);
        if (change == "DSC0002 at 12:15") album.touch("DSC0002.JPG", at(2001, 9, 2, 12, 15, 30));
        if (change == "no DSC0004") QVERIFY(QFile::remove(album.file("DSC0004.JPG")));
        const QString example = QStringLiteral(
            "2001年9月2日(日)\r\n05:10 station\r\n12:15 lunch\r\n2001年9月3日(月)\r\n08:30 "
            "home\r\n\r\n\r\n\r\n"
            "<TABLE BORDER=1>\r\n<TR><TD COLSPAN=\"2\">2001年9月2日(日)</TD></TR>\r\n"
            "<TR><TD>05:10</TD><TD>station</TD></TR>\r\n<TR><TD>12:15</TD><TD>lunch</TD></TR>\r\n"
            "<TR><TD "
            "COLSPAN=\"2\">2001年9月3日(月)</TD></TR>\r\n<TR><TD>08:30</TD><TD>home</TD></TR>\r\n"
            "</TABLE>\r\n");
        const QByteArray bytes = change == "utf-8" ? example.toUtf8() : encode_cp932(example).bytes;
        {
            QFile log(album.file("time_log.txt"));
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write(bytes);
        }
        if (change == "journal") {
            QFile journal(album.file(kJournal));
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.write(serialize_journal(album.path(), {}));
        }
        QTemporaryDir state;
        Run run(state.path());
        run.open(album.path());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(run.comment_of(QStringLiteral("DSC000%1.JPG").arg(i + 1)), comments[i]);
        QCOMPARE(run.ui.messages().size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty())
            QVERIFY2(run.ui.messages().first().contains(said),
                     qPrintable(run.ui.messages().first()));
        QVERIFY(!run.commands.has_unwritten_comments());

        run.ui.clear();
        run.commands.k_list();
        const QStringList backups = QDir(album.path()).entryList({"time_log_*.txt"});
        QCOMPARE(backups.size(), kept ? 1 : 0);
        QCOMPARE(run.ui.messages().first().contains("として残しました"), kept);
        if (kept) QCOMPARE(read_all(album.file(backups.first())), bytes);
        if (change.isEmpty()) QCOMPARE(read_all(album.file("time_log.txt")), bytes);
        // Read back once: opening again says nothing and places nothing anew.
        Run again(state.path());
        again.open(album.path());
        QVERIFY(again.ui.messages().isEmpty());
    }

    // Anything at the journal's name that is not a journal of ours is said
    // once, kept aside under a new name, and the program goes on with what
    // it could read.
    void bad_journals_are_kept_aside_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("comment");  // of DSC0001.JPG afterwards
        QTest::addColumn<QString>("aside");    // the tag of the name it is kept under
        QTest::newRow("not JSON") << "not json"
                                  << ""
                                  << "damaged";
        QTest::newRow("another format") << "format"
                                        << ""
                                        << "damaged";
        QTest::newRow("wrong types") << "types"
                                     << "kept"
                                     << "damaged";
        QTest::newRow("huge") << "huge"
                              << ""
                              << "damaged";
        QTest::newRow("a folder") << "folder"
                                  << ""
                                  << "damaged";
        QTest::newRow("a symbolic link") << "link"
                                         << ""
                                         << "damaged";
        QTest::newRow("newer version") << "newer"
                                       << "kept"
                                       << "newer";
    }
    void bad_journals_are_kept_aside() {
        QFETCH(QString, kind);
        QFETCH(QString, comment);
        QFETCH(QString, aside);
        Album album;
        make_outing(album);
        QTemporaryDir state;
        const QString path = album.file(kJournal);
        const QByteArray good = R"({"format": "fotavi comment journal", "version": %V, "pictures": {
            "DSC0001.JPG": {"comment": "kept", "future": [1, 2]}, "DSC0002.JPG": {"comment": 5}}})";
        QByteArray original;
        if (kind == "not json") original = "{\"format\": \"fotavi comment journal\", ";
        if (kind == "format") original = R"({"format": "other", "version": 1, "pictures": {}})";
        if (kind == "types") original = QByteArray(good).replace("%V", "1");
        if (kind == "newer") original = QByteArray(good).replace("%V", "7");
        if (!original.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(original);
        }
        if (kind == "huge") {  // sparse: 100 MB that cost no disk
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
            QCOMPARE(::truncate(QFile::encodeName(path).constData(), off_t(100) << 20), 0);
        }
        if (kind == "folder") QVERIFY(QDir(album.path()).mkdir(kJournal));
        if (kind == "link") QVERIFY(QFile::link(album.file("DSC0002.JPG"), path));
        const QByteArray picture = read_all(album.file("DSC0002.JPG"));

        Run run(state.path());
        run.open(album.path());
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY2(run.ui.messages().first().contains("残しました"),
                 qPrintable(run.ui.messages().first()));
        QCOMPARE(run.comment_of("DSC0001.JPG"), comment);
        const QStringList kept =
            QDir(album.path())
                .entryList({"fotavi_comments-" + aside + "-*"}, QDir::AllEntries | QDir::System);
        QCOMPARE(kept.size(), 1);
        if (!original.isEmpty()) QCOMPARE(read_all(album.file(kept.first())), original);
        QCOMPARE(read_all(album.file("DSC0002.JPG")), picture);  // a link's target is never touched

        // The program goes on: the next comment is saved in a journal of its own.
        run.ui.comment_text = "new";
        run.commands.k_incre();
        run.commands.comments().flush();
        QVERIFY(journal_names(path).contains("DSC0001.JPG"));
        QCOMPARE(run.ui.messages().size(), 1);
    }

    // A full disk or a folder that vanished: the previous journal stays whole,
    // the comments stay in memory, the problem is said once, and the next
    // store tries again.
    void failed_saves_are_said_once_and_tried_again() {
        Album album;
        make_outing(album);
        QTemporaryDir state;
        bool full = false;
        Run run(state.path(), [&full](const QString& path, const QByteArray& bytes, int* code) {
            if (full) {
                *code = ENOSPC;
                return QStringLiteral("%1 を書き込めませんでした。").arg(path);
            }
            return write_file_atomically(path, bytes, code);
        });
        run.open(album.path());
        run.ui.comment_text = "station";
        run.commands.k_incre();
        run.commands.comments().flush();
        const QByteArray before = read_all(album.file(kJournal));
        full = true;
        for (const char* text : {"lunch", "soup"}) {
            run.ui.comment_text = text;
            run.commands.k_incre();
            run.commands.comments().flush();
        }
        QCOMPARE(run.ui.messages().size(), 1);
        QCOMPARE(read_all(album.file(kJournal)), before);
        QCOMPARE(run.commands.table().img_comment[1], QStringLiteral("lunch"));
        // Opening the same folder again keeps what only memory holds.
        run.open(album.path());
        QCOMPARE(run.comment_of("DSC0003.JPG"), QStringLiteral("soup"));
        // Room again: the next store saves what only memory held, even
        // without a new comment.
        full = false;
        run.commands.m_first();
        run.commands.comments().flush();
        QCOMPARE(journal_names(album.file(kJournal)).size(), 3);
        run.commands.m_last();
        run.ui.comment_text = "home";
        run.commands.m_first();
        run.commands.comments().flush();
        QCOMPARE(journal_names(album.file(kJournal)).size(), 4);
    }

    // Two instances on one folder: neither erases what the other saved, and
    // each takes over the other's comments on pictures it has not touched.
    void two_instances_merge() {
        Album album;
        make_outing(album);
        QTemporaryDir state;
        Run a(state.path()), b(state.path());
        a.open(album.path());
        b.open(album.path());
        a.ui.comment_text = "from a";
        a.commands.k_incre();
        a.commands.comments().flush();
        b.commands.m_last();
        b.ui.comment_text = "from b";
        b.commands.k_decre();
        b.commands.comments().flush();
        QCOMPARE(b.comment_of("DSC0001.JPG"), QStringLiteral("from a"));
        b.commands.m_first();  // shows A's comment and keeps it
        QCOMPARE(b.ui.comment_text, QStringLiteral("from a"));
        a.commands.m_first();
        a.commands.comments().flush();
        Run c(state.path());
        c.open(album.path());
        QCOMPARE(c.comment_of("DSC0001.JPG"), QStringLiteral("from a"));
        QCOMPARE(c.comment_of("DSC0004.JPG"), QStringLiteral("from b"));
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "test_journal.moc"
