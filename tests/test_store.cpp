#include <QTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "album.h"
#include "app/commands.h"
#include "comments/json_import.h"
#include "comments/picture_match.h"
#include "comments/sqlite_comment_store.h"
#include "store_helpers.h"

using namespace fotavi;

class TestStore : public QObject {
    Q_OBJECT
private slots:
    // Anything at the store's name that is not a store of ours is said once,
    // kept aside under a new name (never deleted), or left alone when only
    // locked; the program goes on, and the next comment is stored.
    void bad_store_files_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("problem");
        QTest::addColumn<bool>("aside");
        using K = DbError::Kind;
        QTest::newRow("not SQLite") << "garbage" << int(K::NotOurs) << true;
        QTest::newRow("another program's database") << "foreign" << int(K::NotOurs) << true;
        QTest::newRow("damaged") << "damaged" << int(K::Damaged) << true;
        QTest::newRow("newer version") << "newer" << int(K::Newer) << true;
        QTest::newRow("a folder") << "folder" << int(K::Folder) << true;
        QTest::newRow("a symbolic link") << "link" << int(K::Link) << true;
        QTest::newRow("a FIFO") << "fifo" << int(K::Special) << true;
        QTest::newRow("locked by another program") << "locked" << int(K::Locked) << false;
    }
    void bad_store_files() {
        QFETCH(QString, kind);
        QFETCH(int, problem);
        QFETCH(bool, aside);
        Album album;
        make_outing(album);
        const QString path = album.file(kStoreName);
        {
            Window before;
            before.load(album.path());
            if (kind == "damaged" || kind == "newer" || kind == "locked") {
                QStringList many;
                for (int i = 1; i <= 4; ++i)
                    many << QString("DSC000%1.JPG=%2").arg(i).arg(QString(3000, 'c'));
                QVERIFY(!before.save(album.path(), many).problem);
            }
        }
        sqlite3* holder = nullptr;
        if (kind == "garbage") {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray(5000, '\x17'));
        }
        if (kind == "foreign") sql(path, "CREATE TABLE notes (x); INSERT INTO notes VALUES (1);");
        if (kind == "newer")
            sql(path, QByteArray("PRAGMA user_version = " + QByteArray::number(kStoreVersion + 1))
                          .constData());
        if (kind == "damaged") {  // every page's head but the first
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            for (qint64 page = 4096; page < f.size(); page += 4096) {
                f.seek(page);
                f.write(QByteArray(16, '\xA5'));
            }
        }
        if (kind == "folder") QVERIFY(QDir(album.path()).mkdir(kStoreName));
        if (kind == "link") QVERIFY(QFile::link(album.file("DSC0002.JPG"), path));
        if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == "locked") {
            sqlite3_open(QFile::encodeName(path).constData(), &holder);
            QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const QByteArray original =
            kind == "folder" || kind == "fifo" ? QByteArray() : read_all(path);
        const QByteArray picture = read_all(album.file("DSC0002.JPG"));

        Window window;
        const StoreLoad load = window.load(album.path());
        QCOMPARE(int(load.issues.size()), 1);
        QCOMPARE(int(load.issues[0].problem.kind), problem);
        QCOMPARE(!load.issues[0].kept_as.isEmpty(), aside);
        if (aside && !original.isEmpty() && kind != "link")
            QCOMPARE(read_all(album.file(load.issues[0].kept_as)), original);
        QCOMPARE(read_all(album.file("DSC0002.JPG")), picture);  // a link's target is never touched
        if (holder) {
            QCOMPARE(read_all(path), original);  // left alone
            sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
        }
        // The program goes on: the next comment is stored, and read again.
        QVERIFY(!window.save(album.path(), {"DSC0001.JPG=new"}).problem);
        Window again;
        QVERIFY(comments_of(album.path(), again.load(album.path())).contains("DSC0001.JPG=new"));
    }

    // Numbers of the old JSON journal are taken only when exact.
    void old_journal_numbers_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("mtime");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("as written")
            << QByteArray(R"("size": 4711, "mtime_ns": "999356413000000123")") << qint64(4711)
            << qint64(999356413000000123) << false;
        QTest::newRow("never known")
            << QByteArray(R"("size": -1, "mtime_ns": "0")") << qint64(-1) << qint64(0) << false;
        for (const char* bad :
             {R"("size": 1e300, "mtime_ns": "5")", R"("size": -5, "mtime_ns": "5")",
              R"("size": 1.5, "mtime_ns": "5")", R"("size": 5, "mtime_ns": "12x")",
              R"("size": 5, "mtime_ns": "99999999999999999999")", R"("size": 5, "mtime_ns": 5)",
              R"("size": "5", "mtime_ns": "5")"})
            QTest::newRow(bad) << QByteArray(bad) << qint64(-1) << qint64(0) << true;
    }
    void old_journal_numbers() {
        QFETCH(QByteArray, entry);
        QFETCH(qint64, size);
        QFETCH(qint64, mtime);
        QFETCH(bool, damaged);
        const OldJournal old = parse_old_journal(
            R"({"format": "fotavi comment journal", "version": 1, "pictures": {"A.JPG": {"comment": "kept", )" +
            entry + "}}}");
        QCOMPARE(old.damaged, damaged);
        QCOMPARE(old.rows.size(), size_t(1));
        QCOMPARE(old.rows[0].comment, QStringLiteral("kept"));
        QCOMPARE(old.rows[0].size, size);
        QCOMPARE(old.rows[0].mtime_ns, mtime);
    }

    // A folder commented with the version before opens with every comment of
    // its journal, which is then kept aside, never read twice.
    void journal_of_the_version_before_is_imported_once() {
        Album album;
        make_outing(album);
        QByteArray json = read_all(QFINDTESTDATA("data/fotavi_comments-v1.json"));
        const FolderListing listing = list_pictures(album.path());
        const char* sizes[] = {"4711", "5120", "6000"};
        const char* times[] = {"999356413000000000", "999394800123456789", "999400500000000000"};
        for (const ListedFile& f : listing.files) {  // the journal was of these very files
            const int n = f.name.mid(6, 1).toInt() - 1;
            if (n > 2) continue;
            json.replace(sizes[n], QByteArray::number(f.size));
            json.replace(times[n], QByteArray::number(f.mtime_ns));
        }
        QFile out(album.file("fotavi_comments.json"));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(json) == json.size());
        out.close();

        Window window;
        const StoreLoad load = window.load(album.path());
        QVERIFY(load.issues.empty());
        QCOMPARE(load.imported, 4);
        QCOMPARE(comments_of(album.path(), load),
                 QStringList(
                     {"DSC0001.JPG=駅で朝ごはん", "DSC0002.JPG=山頂\n風が強い", "DSC0003.JPG="}));
        const auto third =
            load.rows[size_t(std::find_if(listing.files.begin(), listing.files.end(),
                                          [](auto& f) { return f.name == "DSC0003.JPG"; }) -
                             listing.files.begin())];
        QCOMPARE(third->logged, QStringLiteral("昼食 <b>&</b>"));
        QVERIFY(!QFile::exists(album.file("fotavi_comments.json")));
        const QStringList kept = QDir(album.path()).entryList({"fotavi_comments-imported-*.json"});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(read_all(album.file(kept[0])), json);
        Window again;
        const StoreLoad second = again.load(album.path());
        QCOMPARE(second.imported, 0);
        QCOMPARE(comments_of(album.path(), second), comments_of(album.path(), load));
    }

    // Names are stored byte for byte: line breaks, letter case, long names.
    void names_are_kept_exactly() {
        Album album;
        const QStringList names{"A.JPG", "a.jpg", "line\nbreak.jpg", "旅行の写真.jpg",
                                QString(80, u'長') + ".jpg"};  // 244 bytes of 255
        for (int i = 0; i < names.size(); ++i) album.add(names[i], at(2024, 5, 3, 9, i));
        QStringList pairs;
        for (const QString& name : names) pairs << name + "=comment of " + name;
        Window window;
        window.load(album.path());
        QVERIFY(!window.save(album.path(), pairs).problem);
        Window again;
        pairs.sort();
        QCOMPARE(comments_of(album.path(), again.load(album.path())), pairs);
    }

    // Two windows: the later change wins; the text it replaced, which the
    // other window typed, is kept in the history and that window is told.
    // No clock decides: a row stamped an hour ahead does not win.
    void later_change_wins_and_the_other_is_kept() {
        Album album;
        make_outing(album);
        QTemporaryDir state;
        Window a(state.path()), b(state.path());
        a.load(album.path());
        b.load(album.path());
        QVERIFY(!a.save(album.path(), {"DSC0001.JPG=from a"}).problem);
        QVERIFY(!b.save(album.path(), {"DSC0001.JPG=from b"}).problem);  // b never saw a's
        const QString path = album.file(kStoreName);
        QCOMPARE(history_count(path), 1);
        const RefreshReport seen = a.store.refresh(album.path()).get();
        QCOMPARE(seen.replaced_mine, 1);
        QCOMPARE(seen.rows.size(), size_t(1));
        QCOMPARE(seen.rows[0].comment, QStringLiteral("from b"));

        sql(path, "UPDATE picture SET changed_at = changed_at + 3600000");
        QVERIFY(!a.save(album.path(), {"DSC0001.JPG=now"}, "from b").problem);
        QCOMPARE(history_count(path), 1);  // an edit of what a saw: nothing to keep
        Window c(state.path());
        QVERIFY(comments_of(album.path(), c.load(album.path())).contains("DSC0001.JPG=now"));
    }

    // A read-only folder: comments go to the state folder; once the folder
    // can be written, they go back beside the pictures and the copy goes.
    void read_only_folder_uses_the_state_folder_until_writable() {
        SmallDisk disk(QStringLiteral("1m"));
        if (!disk.mounted) QSKIP("cannot mount a small tmpfs here");
        Album album;
        make_outing(album);
        QVERIFY(disk.take_pictures_of(album.path()));
        QTemporaryDir state;
        QVERIFY(disk.set_read_only(true));
        {
            Window window(state.path());
            QVERIFY(window.load(disk.path()).issues.empty());
            const SaveReport saved = window.save(disk.path(), {"DSC0001.JPG=on a read-only card"});
            QVERIFY(!saved.problem);
            QVERIFY(saved.in_state_folder);
        }
        QCOMPARE(QDir(state.path()).entryList({"*.sqlite"}).size(), 1);
        QVERIFY(disk.set_read_only(false));
        Window window(state.path());
        const StoreLoad load = window.load(disk.path());
        QVERIFY(!load.in_state_folder);
        QVERIFY(comments_of(disk.path(), load).contains("DSC0001.JPG=on a read-only card"));
        QVERIFY(QFile::exists(disk.path() + '/' + kStoreName));
        QCOMPARE(QDir(state.path()).entryList({"*.sqlite*"}).size(), 0);
    }

    // A full disk: the state folder is the last resort; where it fails too,
    // nothing is stored, the store stays whole, and the next save tries again.
    void full_disk_falls_back_then_fails_whole() {
        SmallDisk disk(QStringLiteral("256k"));
        if (!disk.mounted) QSKIP("cannot mount a small tmpfs here");
        disk.dir.setAutoRemove(true);
        Album pictures;
        make_outing(pictures);
        QVERIFY(disk.take_pictures_of(pictures.path()));
        QTemporaryDir elsewhere;
        QFile blocker(elsewhere.filePath("state"));  // a file where the state folder would go
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        {
            Window window;
            window.load(disk.path());
            QVERIFY(!window.save(disk.path(), {"DSC0001.JPG=before"}).problem);
        }
        const QByteArray before = read_all(disk.path() + '/' + kStoreName);
        disk.fill();
        Window window(elsewhere.filePath("state"));
        window.load(disk.path());
        const SaveReport failed = window.save(disk.path(), {"DSC0002.JPG=" + QString(20000, 'x')});
        QCOMPARE(int(failed.problem.kind), int(DbError::Kind::Io));
        QCOMPARE(read_all(disk.path() + '/' + kStoreName), before);
        disk.unfill();
        QFile::remove(elsewhere.filePath("state"));
        QVERIFY(!window.save(disk.path(), {"DSC0002.JPG=after"}).problem);
    }

    // A store removed while the program runs is made again with everything.
    void store_removed_meanwhile_is_made_again() {
        Album album;
        make_outing(album);
        Window window;
        window.load(album.path());
        QVERIFY(!window.save(album.path(), {"DSC0001.JPG=one"}).problem);
        QVERIFY(QFile::remove(album.file(kStoreName)));
        const SaveReport saved = window.save(album.path(), {"DSC0002.JPG=two"});
        QVERIFY(!saved.problem);
        QVERIFY(saved.lost);
        QVERIFY(QFile::exists(album.file(kStoreName)));
    }

    // The store's files as they stand on the card: right after a save, the
    // window still holding the store (a card pulled out), and once the window
    // closed it. Both open elsewhere with every saved comment; a closed store
    // leaves no log beside it and is a plain file that a read-only card opens.
    void store_files_keep_every_save_data() {
        QTest::addColumn<bool>("closed");
        QTest::newRow("pulled right after a save") << false;
        QTest::newRow("closed") << true;
    }
    void store_files_keep_every_save() {
        QFETCH(bool, closed);
        Album album;
        make_outing(album);
        QTemporaryDir card;
        const auto pull = [&] {
            for (const char* suffix : {"", "-wal", "-journal"}) {
                const QString name = QLatin1String(kStoreName) + QLatin1String(suffix);
                if (QFile::exists(album.file(name)))
                    QVERIFY(QFile::copy(album.file(name), card.filePath(name)));
            }
        };
        {
            Window window;
            window.load(album.path());
            QVERIFY(!window.save(album.path(), {"DSC0001.JPG=one"}).problem);
            QVERIFY(!window.save(album.path(), {"DSC0002.JPG=two", "DSC0001.JPG=uno"}).problem);
            if (!closed) pull();
        }
        if (closed) {
            QVERIFY(!QFile::exists(album.file(QLatin1String(kStoreName) + "-wal")));
            QVERIFY(!QFile::exists(album.file(QLatin1String(kStoreName) + "-shm")));
            QFile store(album.file(kStoreName));
            QVERIFY(store.open(QIODevice::ReadOnly));
            QCOMPARE(store.read(20).at(18), char(1));  // the rollback journal's format
            pull();
        }
        StoreFile file;
        QVERIFY(!file.open(card.filePath(kStoreName), false, false));
        QVERIFY(!file.check());
        DbError error;
        QStringList got;
        for (const StoredComment& row : file.rows(0, &error))
            got << QString::fromUtf8(row.name) + '=' + row.comment;
        got.sort();
        QCOMPARE(got, (QStringList{"DSC0001.JPG=uno", "DSC0002.JPG=two"}));
    }

    // Which row belongs to which picture.
    void rows_follow_their_pictures_data() {
        QTest::addColumn<QStringList>("rows");   // "name size mtime [capture]"
        QTest::addColumn<QStringList>("files");  // "name size mtime [capture]"
        QTest::addColumn<QStringList>("found");  // per file: its row's name, or "-"
        QTest::addColumn<int>("replaced");
        QTest::newRow("unchanged")
            << QStringList{"A 10 1"} << QStringList{"A 10 1"} << QStringList{"A"} << 0;
        QTest::newRow("touched") << QStringList{"A 10 1"} << QStringList{"A 10 2"}
                                 << QStringList{"A"} << 0;
        QTest::newRow("rotated in an editor")
            << QStringList{"A 10 1 500"} << QStringList{"A 12 2 500"} << QStringList{"A"} << 0;
        QTest::newRow("another picture, other capture time")
            << QStringList{"A 10 1 500"} << QStringList{"A 12 2 900"} << QStringList{"-"} << 1;
        QTest::newRow("another picture, no capture time")
            << QStringList{"A 10 1"} << QStringList{"A 12 2"} << QStringList{"-"} << 1;
        QTest::newRow("renamed outside")
            << QStringList{"A 10 1"} << QStringList{"trip 10 1"} << QStringList{"A"} << 0;
        QTest::newRow("renamed, two alike: not guessed")
            << QStringList{"A 10 1"} << QStringList{"x 10 1", "y 10 1"} << QStringList{"-", "-"}
            << 0;
        QTest::newRow("renamed, and a new picture under the old name")
            << QStringList{"A 10 1"} << QStringList{"A 30 3", "trip 10 1"} << QStringList{"-", "A"}
            << 0;
    }
    void rows_follow_their_pictures() {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, files);
        QFETCH(QStringList, found);
        QFETCH(int, replaced);
        std::vector<StoredComment> stored;
        for (const QString& r : rows) {
            const QStringList p = r.split(' ');
            StoredComment row;
            row.name = p[0].toUtf8();
            row.size = p[1].toLongLong();
            row.mtime_ns = p[2].toLongLong();
            row.capture_read = true;
            if (p.size() > 3) row.capture = p[3].toLongLong();
            stored.push_back(row);
        }
        std::vector<ListedFile> listed;
        std::vector<std::optional<qint64>> captures;
        for (const QString& f : files) {
            const QStringList p = f.split(' ');
            listed.push_back({p[0], {}, p[1].toLongLong(), p[2].toLongLong()});
            captures.push_back(p.size() > 3 ? std::optional(p[3].toLongLong()) : std::nullopt);
        }
        const PictureMatch match =
            match_pictures(stored, listed, [&](size_t f) { return captures[f]; });
        QStringList got;
        for (const auto& r : match.row_of_file)
            got << (r ? QString::fromUtf8(stored[*r].name) : QStringLiteral("-"));
        QCOMPARE(got, found);
        QCOMPARE(int(match.replaced.size()), replaced);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"
