#include <QHash>
#include <QTest>

#include <memory>

#include "comments/sqlite_comment_store.h"
#include "run.h"

using namespace fotavi;

namespace {

// The real store, whose saves fail while failing is set: as a full disk with
// no state folder to fall back on would.
struct FailingStore : CommentStore {
    SqliteCommentStore real;
    int failures = 0;  // saves still to fail; -1: every one

    explicit FailingStore(const QString& state) : real(state, capture_seconds) {}
    std::future<StoreLoad> load(const QString& folder, std::vector<ListedFile> files) override {
        return real.load(folder, std::move(files));
    }
    std::future<SaveReport> save(const QString& folder,
                                 std::vector<CommentChange> changes) override {
        if (failures == 0) return real.save(folder, std::move(changes));
        if (failures > 0) --failures;
        std::promise<SaveReport> failed;
        failed.set_value(
            {folder, 0, std::move(changes), {DbError::Kind::Io, ENOSPC}, folder, false, false});
        return failed.get_future();
    }
    std::future<RefreshReport> refresh(const QString& folder) override {
        return real.refresh(folder);
    }
    std::future<DbError> rename_rows(const QString& folder,
                                     std::vector<std::pair<QString, QString>> renamed) override {
        return real.rename_rows(folder, std::move(renamed));
    }
    std::future<DbError> change_clock_correction(const QString& folder, ClockCorrection correction,
                                                 bool remove) override {
        return real.change_clock_correction(folder, std::move(correction), remove);
    }
    void remember_read_back(const QString& folder) override { real.remember_read_back(folder); }
    std::future<std::vector<StoreIssue>> start_afresh(const QString& folder) override {
        return real.start_afresh(folder);
    }
    std::future<void> settled() override { return real.settled(); }
    void wait_idle() override { real.wait_idle(); }
};

// What the store in folder says to the question a check names.
qint64 store_count(const QString& folder, const QString& check) {
    static const QHash<QString, const char*> questions{
        {"rows", "SELECT count(*) FROM picture WHERE comment <> ''"},
        // Rows the last save wrote: each save gives its rows one version.
        {"last save",
         "SELECT count(*) FROM picture WHERE version = (SELECT max(version) FROM "
         "picture)"},
        // Logged texts kept beside comments that say the same.
        {"logged copies", "SELECT count(*) FROM picture WHERE logged <> '' AND logged = comment"}};
    Db db;
    db.open(QDir(folder).filePath(kStoreName), false, false);
    return db.integer(questions.value(check)).value_or(-1);
}

qint64 history_rows(const QString& folder) {
    Db db;
    db.open(QDir(folder).filePath(kStoreName), false, false);
    return db.integer("SELECT count(*) FROM history").value_or(-1);
}

}  // namespace

class TestDocument : public QObject {
    Q_OBJECT
private slots:
    // A session is a script of steps; then the program is killed (its
    // objects dropped without the end) and a new one opens the folder: every
    // comment comes back, and nothing is said.
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
        QTest::newRow("second List writes the one comment typed since")
            << QStringList{"type station", "next",        "type lunch", "list",
                           "next",         "type dinner", "list"}
            << QStringList{"DSC0001.JPG=station", "DSC0003.JPG=dinner", "last save=1",
                           "logged copies=0", "logged=1"};
        QTest::newRow("lower case, one row a picture")
            << QStringList{"type station", "next", "type lunch", "lower case"}
            << QStringList{"dsc0001.jpg=station", "dsc0002.jpg=lunch", "rows=2"};
        QTest::newRow("renamed outside")
            << QStringList{"type station", "next", "rename DSC0001.JPG trip.jpg"}
            << QStringList{"trip.jpg=station"};
        QTest::newRow("moved away") << QStringList{"type station", "next", "move away"}
                                    << QStringList{"DSC0001.JPG=<not listed>", "DSC0002.JPG="};
        QTest::newRow("moved away and back")
            << QStringList{"type station", "next", "move away", "reopen", "move back"}
            << QStringList{"DSC0001.JPG=station"};
        QTest::newRow("read-only card") << QStringList{"read-only", "type station", "next"}
                                        << QStringList{"DSC0001.JPG=station"};
    }
    void comments_come_back() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        SmallDisk disk(QStringLiteral("1m"));
        Album outing;
        make_outing(outing);
        QString folder = outing.path();
        if (steps.contains("read-only")) {
            if (!disk.mounted) QSKIP("cannot mount a small tmpfs here");
            QVERIFY(disk.take_pictures_of(folder));
            QVERIFY(disk.set_read_only(true));
            folder = disk.path();
        }
        const QDir dir(folder);
        QTemporaryDir state, away;
        auto run = std::make_unique<Run>(state.path());
        run->start(folder);
        for (const QString& step : steps) {
            const QString arg = step.section(' ', 1);
            if (step.startsWith("type ")) {
                run->type(arg);
            } else if (step == "next") {
                run->commands.show_next();
            } else if (step == "previous") {
                run->commands.show_previous();
            } else if (step == "list") {
                run->commands.write_time_log();
            } else if (step == "lower case") {
                run->commands.lower_case_names();
            } else if (step == "pause") {
                QTest::qWait(1300);  // the typing is stored about a second after the key
            } else if (step == "reopen") {
                run->flush();
                run = std::make_unique<Run>(state.path());
                run->start(folder);
            } else if (step.startsWith("rename ")) {
                QVERIFY(QFile::rename(dir.filePath(arg.section(' ', 0, 0)),
                                      dir.filePath(arg.section(' ', 1))));
            } else if (step == "move away") {
                QVERIFY(QFile::rename(dir.filePath("DSC0001.JPG"), away.filePath("DSC0001.JPG")));
            } else if (step == "move back") {
                QVERIFY(QFile::rename(away.filePath("DSC0001.JPG"), dir.filePath("DSC0001.JPG")));
            }
        }
        run->flush();
        run = std::make_unique<Run>(state.path());  // killed, started again
        run->start(folder);
        for (const QString& pair : expected) {
            const QString check = pair.section('=', 0, 0), value = pair.section('=', 1);
            if (check == "logged")
                QCOMPARE(run->commands.document().log_is_current(), value == "1");
            else if (!check.contains('.'))
                QCOMPARE(store_count(folder, check), value.toLongLong());
            else
                QCOMPARE(run->comment_of(pair.section('=', 0, 0)), pair.section('=', 1));
        }
        QCOMPARE(run->ui.messages(), QStringList());
        if (steps.contains("read-only")) {
            QVERIFY(!QFile::exists(dir.filePath(kStoreName)));
            QCOMPARE(QDir(state.path() + "/state").entryList({"*.sqlite"}).size(), 1);
        }
    }

    // A new picture under an old name is not the picture that was
    // commented: its box is empty, one message says so, and the old text
    // stays in the store's history. A picture edited in place keeps its comment.
    void pictures_are_told_apart_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("comment");  // of DSC0002.JPG afterwards
        QTest::addColumn<bool>("said");
        QTest::newRow("a new picture, no camera time") << "new"
                                                       << "" << true;
        QTest::newRow("a new picture, another camera time") << "new camera"
                                                            << "" << true;
        QTest::newRow("rotated in an editor") << "rotated"
                                              << "mountains" << false;
        QTest::newRow("only touched") << "touched"
                                      << "mountains" << false;
    }
    void pictures_are_told_apart() {
        QFETCH(QString, change);
        QFETCH(QString, comment);
        QFETCH(bool, said);
        Album album;
        make_outing(album);
        const Exif camera{"2001:09:02 10:40:00", {}, {}, {}, {}, false};
        if (change != "new") album.add_exif("DSC0002.JPG", at(2001, 9, 2, 10, 40), camera);
        QTemporaryDir state;
        {
            Run run(state.path());
            run.start(album.path());
            run.commands.show_next();
            run.type("mountains");
            run.ui.unwritten_answers.push_back(UnwrittenAnswer::Discard);
            QVERIFY(run.commands.may_quit());
        }
        if (change == "new") album.add("DSC0002.JPG", at(2024, 1, 1, 9, 0), QSize(80, 60));
        if (change == "new camera")
            album.add_bytes(
                "DSC0002.JPG",
                jpeg_with(
                    jpeg_segment(0xE1, exif_block({"2024:01:01 09:00:00", {}, {}, {}, {}, false})),
                    QSize(80, 60)),
                at(2024, 1, 1, 9, 0));
        if (change == "rotated")  // turned: another size and time, the same camera time
            album.add_bytes("DSC0002.JPG",
                            jpeg_with(jpeg_segment(0xE1, exif_block(camera)), QSize(48, 64)),
                            at(2024, 1, 1, 9, 0));
        if (change == "touched") album.touch("DSC0002.JPG", at(2024, 1, 1, 9, 0));
        Run run(state.path());
        run.start(album.path());
        QCOMPARE(run.comment_of("DSC0002.JPG"), comment);
        QCOMPARE(run.ui.messages().size(), said ? 1 : 0);
        if (said) QVERIFY(run.ui.messages()[0].contains("1 枚の写真"));
        QCOMPARE(history_rows(album.path()), said ? 1 : 0);
        run.commands.write_time_log();  // the old comment is not logged
        QCOMPARE(read_all(album.file("time_log.txt")).contains("mountains"), !said);
    }

    // A save that failed is said once and never called saved: leaving asks
    // about the comments not stored, and no answer drops one silently.
    void failed_saves_are_never_called_saved_data() {
        QTest::addColumn<QList<int>>("answers");  // to "comments not stored"
        QTest::addColumn<int>("failures");        // saves that fail from the end on (-1: all)
        QTest::addColumn<bool>("leaves");
        QTest::addColumn<QString>("unwritten");  // how the log question speaks of saving
        using A = UnsavedAnswer;
        QTest::newRow("stay") << QList<int>{int(A::Stay)} << -1 << false << "";
        QTest::newRow("try again, saved")
            << QList<int>{int(A::Retry)} << 1 << true << "ask unwritten";
        QTest::newRow("try again in vain, then leave")
            << QList<int>{int(A::Retry), int(A::Leave)} << -1 << true << "ask unwritten|unsaved";
        QTest::newRow("the disk works again") << QList<int>{} << 0 << true << "ask unwritten";
    }
    void failed_saves_are_never_called_saved() {
        QFETCH(QList<int>, answers);
        QFETCH(int, failures);
        QFETCH(bool, leaves);
        QFETCH(QString, unwritten);
        Album album;
        make_outing(album);
        QTemporaryDir state;
        auto owned = std::make_unique<FailingStore>(state.path());
        FailingStore& store = *owned;
        Run run(state.path(), std::move(owned));
        run.start(album.path());
        store.failures = -1;
        for (const char* text : {"station", "lunch"}) {
            run.type(text);
            run.commands.show_next();
            run.flush();
        }
        QCOMPARE(run.ui.messages().size(), 1);  // said once
        QVERIFY(run.ui.messages()[0].contains(QStringLiteral("保存できませんでした")));
        store.failures = failures;
        for (int a : answers) run.ui.unsaved_answers.push_back(UnsavedAnswer(a));
        run.ui.unwritten_answers.push_back(UnwrittenAnswer::Discard);
        run.ui.clear();
        QCOMPARE(run.commands.may_quit(), leaves);
        const QStringList asked = run.ui.events.filter("ask unsaved");
        QCOMPARE(asked.size(), answers.size());
        for (const QString& question : asked)
            QVERIFY(question.contains(QStringLiteral("2 個のコメントを保存できていません")));
        QCOMPARE(run.ui.events.filter("ask unwritten").value(0), unwritten);
        QCOMPARE(store_count(album.path(), "rows") == 2, failures >= 0);
    }

    // Two windows on one folder: each takes the other's comments for
    // pictures it has not touched; where both typed, the later wins and the
    // other's text is kept, and its window is told.
    void two_windows() {
        Album album;
        make_outing(album);
        QTemporaryDir state;
        Run a(state.path()), b(state.path());
        a.start(album.path());
        b.start(album.path());
        a.type("from a");
        a.commands.show_next();  // a is at DSC0002
        a.flush();
        b.commands.show_last();
        b.type("from b");
        b.commands.show_first();  // b stores its text and looks for a's
        b.flush();
        QCOMPARE(b.ui.comment_text, QStringLiteral("from a"));  // untouched here: taken
        b.commands.show_next();                                 // b shows DSC0002, empty so far
        b.flush();
        a.type("a on two");
        QTest::qWait(1200);  // a's typing reaches the store
        a.flush();
        b.type("b on two");  // typed on what b saw: an empty box
        b.commands.show_next();
        b.flush();
        a.commands.window_activated();
        a.flush();
        QCOMPARE(a.ui.comment_text, QStringLiteral("b on two"));
        QCOMPARE(a.ui.messages().filter(QStringLiteral("別のウィンドウ")).size(), 1);
        QCOMPARE(history_rows(album.path()), 1);
        Run c(state.path());
        c.start(album.path());
        QCOMPARE(c.comment_of("DSC0001.JPG"), QStringLiteral("from a"));
        QCOMPARE(c.comment_of("DSC0002.JPG"), QStringLiteral("b on two"));
        QCOMPARE(c.comment_of("DSC0004.JPG"), QStringLiteral("from b"));
    }

    // Starting afresh keeps the comments and the log aside under dated
    // names; the folder then opens without any, and nothing is read back.
    void starting_afresh() {
        Album album;
        make_outing(album);
        QTemporaryDir state;
        {
            Run run(state.path());
            run.start(album.path());
            run.type("old diary");
            run.commands.write_time_log();
            run.ui.yes_no_answers.push_back(true);
            run.commands.start_afresh();
            QCOMPARE(run.comment_of("DSC0001.JPG"), QString());
            QCOMPARE(run.ui.comment_text, QString());
            QVERIFY(run.commands.may_quit());
        }
        QCOMPARE(QDir(album.path()).entryList({"fotavi_comments-*.sqlite"}).size(), 1);
        QCOMPARE(QDir(album.path()).entryList({"time_log_*.txt"}).size(), 1);
        QVERIFY(!QFile::exists(album.file("time_log.txt")));
        Run run(state.path());
        run.start(album.path());
        QCOMPARE(run.comment_of("DSC0001.JPG"), QString());
        QCOMPARE(run.ui.messages(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDocument)
#include "test_document.moc"
