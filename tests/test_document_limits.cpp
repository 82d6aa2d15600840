#include <QTest>

#include "comments/sqlite_comment_store.h"
#include "time_log/log_readback.h"
#include "time_log/time_log.h"
#include "platform/text_file.h"
#include "run.h"

using namespace fotavi;

namespace {

qint64 rows_with_text(const QString& folder) {
    Db db;
    db.open(QDir(folder).filePath(kStoreName), false, false);
    return db.integer("SELECT count(*) FROM picture WHERE comment <> ''").value_or(-1);
}

}  // namespace

// Folders the document meets at their limits: very many pictures, very long
// comments, and comments only a time_log.txt holds.
class TestDocumentLimits : public QObject {
    Q_OBJECT
private slots:
    // Large folders keep every comment: renamed to lower case, ended and
    // started again without a word, and written by List in full.
    void large_folders_data() {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("lower_case");
        QTest::newRow("10,000 x 200, lower case") << 10000 << 200 << true;
        QTest::newRow("50,000 x 500") << 50000 << 500 << false;
    }
    void large_folders() {
        QFETCH(int, pictures);
        QFETCH(int, length);
        QFETCH(bool, lower_case);
        // On a tmpfs where the machine allows, since many files are slow elsewhere.
        SmallDisk disk(QStringLiteral("512m"));
        QTemporaryDir elsewhere, state;
        const QDir folder(disk.mounted ? disk.path() : elsewhere.path());
        std::vector<CommentChange> changes;
        for (int i = 0; i < pictures; ++i) {  // empty files: the names and times are what counts
            const QString name = QStringLiteral("DSC%1.JPG").arg(i, 5, 10, QLatin1Char('0'));
            QFile(folder.filePath(name)).open(QIODevice::WriteOnly);
            changes.push_back({name, 0, 0, QString(length, u'日') + QString::number(i), {}, {}});
        }
        {
            SqliteCommentStore store(state.path() + "/state", capture_seconds);
            const FolderListing listing = list_pictures(folder.path());
            for (size_t i = 0; i < changes.size(); ++i)
                changes[i].mtime_ns = listing.files[0].mtime_ns;
            store.load(folder.path(), listing.files).get();
            store.save(folder.path(), std::move(changes));
            store.wait_idle();
        }
        const QString last = QStringLiteral("%1%2").arg(QString(length, u'日')).arg(pictures - 1);
        {
            Run run(state.path());
            run.start(folder.path());
            QCOMPARE(run.ui.messages(), QStringList());
            QCOMPARE(run.comment_of(
                         QStringLiteral("DSC%1.JPG").arg(pictures - 1, 5, 10, QLatin1Char('0'))),
                     last);
            if (lower_case) {
                run.commands.lower_case_names();
                QCOMPARE(run.ui.messages().size(), 1);
                run.ui.unwritten_answers.push_back(UnwrittenAnswer::Discard);
                QVERIFY(run.commands.may_quit());
            } else {
                run.commands.write_time_log();
                const LogRead log = read_log(read_all(folder.filePath("time_log.txt")));
                QCOMPARE(int(log.entries.size()), pictures);
                QVERIFY(std::any_of(log.entries.begin(), log.entries.end(),
                                    [&](const LogEntry& e) { return e.comment == last; }));
            }
        }
        if (!lower_case) return;
        Run run(state.path());
        run.start(folder.path());
        QCOMPARE(run.ui.messages(), QStringList());
        QCOMPARE(
            run.comment_of(QStringLiteral("dsc%1.jpg").arg(pictures - 1, 5, 10, QLatin1Char('0'))),
            last);
        QCOMPARE(rows_with_text(folder.path()), qint64(pictures));
    }

    // A comment longer than a comment may be, read back or stored by someone
    // else, is cut and said once; the whole text is not lost: List keeps the
    // old log aside, and editing the stored one keeps it in the history.
    void long_comments_are_cut_never_lost_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("a 2 MB line read back from time_log.txt") << "log";
        QTest::newRow("100,000 characters in the store") << "store";
    }
    void long_comments_are_cut_never_lost() {
        QFETCH(QString, source);
        Album album;
        make_outing(album);
        QTemporaryDir state;
        const QString whole = QString(source == "log" ? 2 << 20 : 100000, u'長');
        if (source == "log") {
            const QByteArray log = log_bytes({{"2001年9月2日(日)", "05:10", whole}}).bytes;
            QFile file(album.file("time_log.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(log) == log.size());
        } else {
            SqliteCommentStore other(state.path() + "/state", capture_seconds);
            const FolderListing listing = list_pictures(album.path());
            other.load(album.path(), listing.files).get();
            for (const ListedFile& f : listing.files)
                if (f.name == "DSC0001.JPG")
                    other.save(album.path(), {{f.name, f.size, f.mtime_ns, whole, {}, {}}});
            other.wait_idle();
        }
        Run run(state.path());
        run.start(album.path());
        QCOMPARE(run.comment_of("DSC0001.JPG").size(), kCommentLimit);
        QCOMPARE(run.ui.comment_text.size(), kCommentLimit);
        QCOMPARE(run.ui.messages().filter(QStringLiteral("長すぎる")).size(), 1);
        if (source == "log") {
            run.commands.write_time_log();
            const QStringList kept = QDir(album.path()).entryList({"time_log_*.txt"});
            QCOMPARE(kept.size(), 1);
            QVERIFY(read_log(read_all(album.file(kept[0]))).entries[0].comment == whole);
        } else {
            run.type(run.ui.comment_text.left(10) + "edited");
            run.commands.show_next();
            run.flush();
            Db db;
            db.open(album.file(kStoreName), false, false);
            Statement history(db, "SELECT comment FROM history");
            QVERIFY(history.next());
            QCOMPARE(history.text(0), whole);
        }
    }

    // A folder with a time_log.txt but no store gets its comments back from
    // it; List then writes the same bytes again, or keeps the old file aside
    // when it holds entries the new one would not. Read back once.
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
        QTest::newRow("a store with comments is there")
            << "store" << QStringList{"from the store", "", "", ""} << "" << true;
    }
    void time_log_is_read_back() {
        QFETCH(QString, change);
        QFETCH(QStringList, comments);
        QFETCH(QString, said);
        QFETCH(bool, kept);
        Album album;
        make_outing(album);
        QTemporaryDir state;
        if (change == "DSC0002 at 12:15") album.touch("DSC0002.JPG", at(2001, 9, 2, 12, 15, 30));
        if (change == "no DSC0004") QVERIFY(QFile::remove(album.file("DSC0004.JPG")));
        if (change == "store") {
            Run before(state.path());
            before.start(album.path());
            before.type("from the store");
            before.commands.show_next();
            before.flush();
        }
        const std::vector<LogEntry> example{{"2001年9月2日(日)", "05:10", "station"},
                                            {"2001年9月2日(日)", "12:15", "lunch"},
                                            {"2001年9月3日(月)", "08:30", "home"}};
        const QByteArray bytes = change == "utf-8" ? decode_cp932(log_bytes(example).bytes).toUtf8()
                                                   : log_bytes(example).bytes;
        QFile log(album.file("time_log.txt"));
        QVERIFY(log.open(QIODevice::WriteOnly) && log.write(bytes) == bytes.size());
        log.close();
        Run run(state.path());
        run.start(album.path());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(run.comment_of(QStringLiteral("DSC000%1.JPG").arg(i + 1)), comments[i]);
        QCOMPARE(run.ui.messages().size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty())
            QVERIFY2(run.ui.messages()[0].contains(said), qPrintable(run.ui.messages()[0]));
        QCOMPARE(!run.commands.document().log_is_current(), change == "store");
        run.ui.clear();
        run.commands.write_time_log();
        const QStringList backups = QDir(album.path()).entryList({"time_log_*.txt"});
        QCOMPARE(backups.size(), kept ? 1 : 0);
        if (kept) QCOMPARE(read_all(album.file(backups[0])), bytes);
        if (change.isEmpty()) QCOMPARE(read_all(album.file("time_log.txt")), bytes);
        run.flush();
        Run again(state.path());
        again.start(album.path());
        QCOMPARE(again.ui.messages(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDocumentLimits)
#include "test_document_limits.moc"
