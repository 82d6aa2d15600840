#include <QTest>

#include <sqlite3.h>

#include "album.h"
#include "app/messages.h"
#include "run.h"
#include "store_helpers.h"

using namespace fotavi;

namespace {

// Counts to ten thousand million: as good as never ending.
#define ENDLESS \
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 10000000000) "

}  // namespace

class TestStoreDefences : public QObject {
    Q_OBJECT
private slots:
    // A store planted in the folder with the program's tables, application id
    // and version, and something more, runs nothing of its own: it is set
    // aside untouched, and what the person types goes to a fresh store.
    void planted_stores_data() {
        QTest::addColumn<QByteArray>("plant");
        QTest::newRow("trigger after update blanking the others") << QByteArray(
            "CREATE TRIGGER blank AFTER UPDATE ON picture BEGIN UPDATE picture SET "
            "comment = '' WHERE id <> NEW.id; DELETE FROM history; END;");
        QTest::newRow("trigger after insert blanking the others") << QByteArray(
            "CREATE TRIGGER blank AFTER INSERT ON picture BEGIN UPDATE picture SET "
            "comment = '' WHERE id <> NEW.id; DELETE FROM history; END;");
        QTest::newRow("trigger rewriting every comment") << QByteArray(
            "CREATE TRIGGER rewrite AFTER UPDATE OF comment ON picture BEGIN "
            "UPDATE picture SET comment = 'ATTACKER TEXT'; END;");
        QTest::newRow("trigger before insert refusing") << QByteArray(
            "CREATE TRIGGER refuse BEFORE INSERT ON picture BEGIN "
            "SELECT RAISE(ABORT, 'no'); END;");
        QTest::newRow("trigger on meta") << QByteArray(
            "CREATE TRIGGER wipe AFTER UPDATE ON meta BEGIN DELETE FROM picture; END;");
        QTest::newRow("trigger filling the disk") << QByteArray(
            "CREATE TRIGGER fill AFTER UPDATE ON picture BEGIN INSERT INTO history "
            "(name, comment, reason, writer, replaced_at) VALUES "
            "(x'00', zeroblob(50000000), '', 0, 0); END;");
        QTest::newRow("trigger calling a refused function") << QByteArray(
            "CREATE TRIGGER load AFTER UPDATE ON picture BEGIN "
            "SELECT load_extension('/nowhere'); END;");
        QTest::newRow("never-ending trigger") << QByteArray(
            "CREATE TRIGGER slow AFTER UPDATE ON picture BEGIN SELECT count(*) FROM "
            "(" ENDLESS "SELECT x FROM c); END;");
        QTest::newRow("never-ending view in the table's place")
            << QByteArray("ALTER TABLE picture RENAME TO kept; CREATE VIEW picture AS " ENDLESS
                          "SELECT kept.* FROM kept, c WHERE c.x = 10000000000;");
        QTest::newRow("view beside the tables") << QByteArray("CREATE VIEW seen AS SELECT 1;");
        QTest::newRow("extra index") << QByteArray("CREATE INDEX by_comment ON picture (comment);");
        QTest::newRow("extra column") << QByteArray("ALTER TABLE history ADD COLUMN note TEXT;");
        QTest::newRow("CHECK on a table") << QByteArray(
            "DROP TABLE meta; CREATE TABLE meta (key TEXT PRIMARY KEY NOT NULL, "
            "value TEXT NOT NULL CHECK (length(value) < 2)); "
            "INSERT INTO meta VALUES ('counter', '1');");
        QTest::newRow("tables only, no index") << QByteArray("DROP INDEX picture_by_version;");
    }
    void planted_stores() {
        QFETCH(QByteArray, plant);
        Album album;
        make_outing(album);
        const QString path = album.file(kStoreName);
        {
            Window before;
            before.load(album.path());
            QVERIFY(!before.save(album.path(), {"DSC0001.JPG=old", "DSC0002.JPG=old"}).problem);
        }
        QVERIFY(sql(path, plant.constData()));
        const QByteArray planted = read_all(path);

        Window window;
        const StoreLoad load = window.load(album.path());
        QCOMPARE(int(load.issues.size()), 1);
        QCOMPARE(int(load.issues[0].problem.kind), int(DbError::Kind::NotOurs));
        const QString aside = album.file(load.issues[0].kept_as);
        QVERIFY(!load.issues[0].kept_as.isEmpty());
        // What the person types: new rows, then a row changed.
        QVERIFY(!window.save(album.path(), {"DSC0001.JPG=one", "DSC0003.JPG=three"}).problem);
        QVERIFY(!window.save(album.path(), {"DSC0001.JPG=one again"}).problem);

        Window again;
        const StoreLoad reopened = again.load(album.path());
        QVERIFY(reopened.issues.empty());
        QCOMPARE(comments_of(album.path(), reopened),
                 QStringList({"DSC0001.JPG=one again", "DSC0003.JPG=three"}));
        QCOMPARE(history_count(path), 0);
        QCOMPARE(read_all(aside), planted);
    }

    // At the end, a store another program holds does not hold the program:
    // the comment goes to the state folder's copy, and back to the folder's
    // store the next time the folder opens.
    void held_store_never_holds_the_end() {
        Album album;
        make_outing(album);
        QTemporaryDir shared;
        const QString path = album.file(kStoreName);
        sqlite3* holder = nullptr;
        {
            Run run(shared.path());
            run.commands.set_hurry_after(std::chrono::milliseconds(0));
            run.start(album.file("DSC0001.JPG"));
            run.type("first");
            run.commands.show_next();
            run.flush();
            QVERIFY(QFile::exists(path));
            sqlite3_open(QFile::encodeName(path).constData(), &holder);
            QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
            run.type("typed while held");
            run.ui.unwritten_answers = {UnwrittenAnswer::Discard};
            QVERIFY(run.commands.may_quit());
            QCOMPARE(run.ui.messages(), QStringList());
        }
        sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(holder);
        Run again(shared.path());
        again.start(album.file("DSC0001.JPG"));
        QCOMPARE(again.comment_of("DSC0001.JPG"), QStringLiteral("first"));
        QCOMPARE(again.comment_of("DSC0002.JPG"), QStringLiteral("typed while held"));
        again.flush();
        Window reader;
        QVERIFY(comments_of(album.path(), reader.load(album.path()))
                    .contains("DSC0002.JPG=typed while held"));
    }

    // A store another program holds at the opening is read once it is free:
    // its comments appear, a picture typed on meanwhile keeps the new text
    // (the store's goes to the history), and the person is told once.
    void store_held_at_the_opening_is_read_once_free() {
        Album album;
        make_outing(album);
        const QString path = album.file(kStoreName);
        {
            Window before;
            before.load(album.path());
            QVERIFY(
                !before.save(album.path(), {"DSC0001.JPG=stored one", "DSC0002.JPG=two"}).problem);
        }
        sqlite3* holder = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &holder);
        QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        Run run;
        run.start(album.file("DSC0001.JPG"));
        QCOMPARE(run.ui.messages().size(), 1);  // held: read later
        run.type("typed while held");
        run.commands.document().refresh();  // still held
        run.flush();
        QCOMPARE(run.comment_of("DSC0002.JPG"), QString());
        sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(holder);

        run.commands.document().refresh();
        run.flush();  // the report, and the save it starts
        run.flush();
        QCOMPARE(run.comment_of("DSC0001.JPG"), QStringLiteral("typed while held"));
        QCOMPARE(run.comment_of("DSC0002.JPG"), QStringLiteral("two"));
        QCOMPARE(run.ui.messages().size(), 2);
        QVERIFY(run.ui.messages()[1].contains("使えるようになった"));
        run.commands.document().refresh();
        run.flush();
        QCOMPARE(run.ui.messages().size(), 2);  // once
        QCOMPARE(history_count(path), 1);
        Window reader;
        QCOMPARE(comments_of(album.path(), reader.load(album.path())),
                 QStringList({"DSC0001.JPG=typed while held", "DSC0002.JPG=two"}));
    }

    // A store damaged while the folder is open is set aside at the next save
    // as it is, the person is told, and a new store takes every comment.
    void store_damaged_meanwhile_is_set_aside() {
        Album album;
        make_outing(album);
        const QString path = album.file(kStoreName);
        Run run;
        run.start(album.file("DSC0001.JPG"));
        for (const char* text : {"one", "two"}) {
            run.type(text);
            run.commands.show_next();
            run.flush();
        }
        // The log goes back into the store first (as another window's
        // checkpoint would do), so every page is in the file and the
        // connection reads the pages again.
        QVERIFY(sql(path, "PRAGMA wal_checkpoint(TRUNCATE)"));
        {
            // Every page's head but the first, and the change counter.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            for (qint64 page = 2048; page < file.size(); page += 2048) {
                file.seek(page);
                file.write(QByteArray(16, '\xA5'));
            }
            file.seek(24);
            file.write(QByteArray(4, '\x7F'));
        }
        const QByteArray damaged = read_all(path);
        run.type("three");
        run.commands.show_next();
        run.flush();  // set aside, stored anew; then every comment again
        run.flush();
        QCOMPARE(run.ui.messages().size(), 1);
        QVERIFY(run.ui.messages()[0].contains("壊れているので使いません"));
        // Its log goes along, so none is played into the new store.
        const QStringList aside =
            QDir(album.path()).entryList({"fotavi_comments-damaged-*.sqlite"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(read_all(album.file(aside[0])), damaged);
        QVERIFY(QFile::exists(album.file(aside[0] + "-wal")));
        Window reader;
        QCOMPARE(comments_of(album.path(), reader.load(album.path())),
                 QStringList({"DSC0001.JPG=one", "DSC0002.JPG=two", "DSC0003.JPG=three"}));
    }

    // The connection runs nothing the file brings, refuses oversized values
    // and stops any statement at its bound or when the program ends.
    void connection_defences_data() {
        QTest::addColumn<QByteArray>("statement");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("code");
        const int none = int(DbError::Kind::None), other = int(DbError::Kind::Other);
        QTest::newRow("a trigger does not fire")
            << QByteArray("INSERT INTO t VALUES (1)") << false << none << 0;
        QTest::newRow("a view is refused")
            << QByteArray("SELECT * FROM v") << false << other << SQLITE_ERROR;
        QTest::newRow("a never-ending query stops at the bound")
            << QByteArray(ENDLESS "SELECT count(*) FROM c") << false << int(DbError::Kind::Stopped)
            << SQLITE_INTERRUPT;
        QTest::newRow("an ending program stops any query")
            << QByteArray(ENDLESS "SELECT count(*) FROM c") << true << int(DbError::Kind::Cancelled)
            << SQLITE_INTERRUPT;
        QTest::newRow("a value past the length limit")
            << QByteArray("SELECT zeroblob(50000000)") << false << other << SQLITE_TOOBIG;
        QTest::newRow("the schema cannot be written")
            << QByteArray("PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = 'x'")
            << false << other << SQLITE_ERROR;
        QTest::newRow("no other database is attached")
            << QByteArray("ATTACH ':memory:' AS other") << false << other << SQLITE_ERROR;
    }
    void connection_defences() {
        QFETCH(QByteArray, statement);
        QFETCH(bool, cancelled);
        QFETCH(int, kind);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QString path = dir.filePath("planted.sqlite");
        QVERIFY(sql(path,
                    "CREATE TABLE t (x); CREATE TABLE log (x); CREATE VIEW v AS SELECT 1; "
                    "CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO log VALUES (1); "
                    "END;"));
        std::atomic<bool> cancel{false};
        Db db;
        db.set_bound({10'000'000, &cancel});
        QVERIFY(!db.open(path, true, false));
        cancel = cancelled;
        const DbError error = db.exec(statement.constData());
        QCOMPARE(int(error.kind), kind);
        QCOMPARE(error.code, code);
        cancel = false;
        QCOMPARE(db.integer("SELECT count(*) FROM log"), std::optional<qint64>(0));
    }

    // Every failure SQLite names reaches the person with a reason of its own.
    void every_sqlite_failure_is_named() {
        QSet<QString> texts;
        for (int code = SQLITE_ERROR; code <= SQLITE_WARNING; ++code) {
            const QString text =
                store_issue_text({"/pictures/store", {DbError::Kind::Other, 0, code}, {}, 0});
            QVERIFY2(!text.contains("原因不明"), qPrintable(text));
            texts.insert(text);
        }
        QCOMPARE(texts.size(), SQLITE_WARNING - 1);  // INTERNAL and EMPTY share one
    }
};

QTEST_GUILESS_MAIN(TestStoreDefences)
#include "test_store_defences.moc"
