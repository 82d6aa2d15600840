#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "album.h"
#include "app/messages.h"
#include "platform/file_system.h"
#include "platform/files.h"

using namespace fotavi;

namespace {

// A process id no process has: notes of a program that has ended.
const QByteArray kStem = ".fotavi-2147483646-1";

}  // namespace

class TestFiles : public QObject {
    Q_OBJECT
private slots:
    // Only a file system of this machine shares the store's log through
    // memory; anything else, or nothing there, keeps the rollback journal.
    void local_file_systems_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("local");
        QTest::newRow("the build folder") << QCoreApplication::applicationDirPath() << true;
        QTest::newRow("the kernel's process table") << "/proc" << false;
        QTest::newRow("nothing there") << "/nonexistent/folder" << false;
    }
    void local_file_systems() {
        QFETCH(QString, folder);
        QFETCH(bool, local);
        QCOMPARE(is_local_file_system(folder), local);
    }

    // A rename note planted in a picture folder (an unpacked archive, a
    // shared folder, a card from someone else) moves nothing anywhere: it
    // and its temporary file stay as they are and one line names both.
    void planted_rename_notes_data() {
        QTest::addColumn<QByteArray>("note");  // %O: the folder beside the picture folder
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("followed");
        const QByteArray ours("x.JPG\0y.JPG\0", 12);
        QTest::newRow("ours, cut off between its steps") << ours << "" << true;
        QTest::newRow("../ in the new name")
            << QByteArray("x.JPG\0../outside/evil.desktop\0", 31) << "" << false;
        QTest::newRow("../ in the old name, new name taken")
            << QByteArray("../outside/evil.desktop\0taken.JPG\0", 35) << "" << false;
        QTest::newRow("absolute") << QByteArray("x.JPG\0%O/abs.desktop\0", 21) << "" << false;
        QTest::newRow("into a subfolder") << QByteArray("x.JPG\0sub/b.JPG\0", 16) << "" << false;
        QTest::newRow(".") << QByteArray("x.JPG\0.\0", 8) << "" << false;
        QTest::newRow("..") << QByteArray("x.JPG\0..\0", 9) << "" << false;
        QTest::newRow("empty name") << QByteArray("x.JPG\0\0", 7) << "" << false;
        QTest::newRow("empty note") << QByteArray() << "" << false;
        QTest::newRow("zero byte inside a name")
            << QByteArray("x.JPG\0y\0.JPG\0", 13) << "" << false;
        QTest::newRow("no end") << QByteArray("x.JPG\0y.JPG", 11) << "" << false;
        QTest::newRow("one name") << QByteArray("x.JPG\0", 6) << "" << false;
        QTest::newRow("note is a link") << ours << "note link" << false;
        QTest::newRow("note is a folder") << ours << "note folder" << false;
        QTest::newRow("temporary file is a link") << ours << "temporary link" << false;
        QTest::newRow("note of another user") << ours << "note owner" << false;
        QTest::newRow("temporary file of another user") << ours << "temporary owner" << false;
    }
    void planted_rename_notes() {
        QFETCH(QByteArray, note);
        QFETCH(QString, setup);
        QFETCH(bool, followed);
        QTemporaryDir root;
        const QDir top(root.path());
        QVERIFY(top.mkpath("album/sub") && top.mkpath("outside"));
        const QString album = root.filePath("album");
        const QString outside = root.filePath("outside");
        note.replace("%O", QFile::encodeName(outside));
        QVERIFY(put_file(outside + "/secret", "secret") && put_file(album + "/taken.JPG", "taken"));
        const QString note_path = album + '/' + kStem + ".rename";
        const QString temporary = album + '/' + kStem + ".tmp";
        if (setup == "note link") {
            QVERIFY(put_file(outside + "/note", note));
            QVERIFY(QFile::link(outside + "/note", note_path));
        } else if (setup == "note folder") {
            QVERIFY(top.mkpath("album/" + kStem + ".rename"));
        } else {
            QVERIFY(put_file(note_path, note));
        }
        if (setup == "temporary link")
            QVERIFY(QFile::link(outside + "/secret", temporary));
        else
            QVERIFY(put_file(temporary, "the picture"));
        const QByteArray owned = setup == "note owner" ? kStem + ".rename" : kStem + ".tmp";
        if (setup.endsWith("owner"))
            QVERIFY(::fchownat(AT_FDCWD, QFile::encodeName(album + '/' + owned).constData(),
                               nobody(), nobody(), AT_SYMLINK_NOFOLLOW) == 0);
        const QStringList before = tree_of(root.path());

        const auto finish = [&] {
            QStringList lines;
            for (const UnfinishedRename& left : finish_interrupted_renames(album))
                lines << unfinished_rename_text(left);
            return lines;
        };
        const QStringList problems = finish();

        if (followed) {
            QCOMPARE(problems, QStringList());
            QCOMPARE(read_all(album + "/y.JPG"), QByteArray("the picture"));
            QVERIFY(!QFileInfo::exists(note_path) && !QFileInfo::exists(temporary));
            return;
        }
        QCOMPARE(tree_of(root.path()), before);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].contains(kStem + ".rename") && problems[0].contains(kStem + ".tmp"),
                 qPrintable(problems[0]));
        // The same again at the next scan: nothing is done behind the person's back.
        QCOMPARE(finish(), problems);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
