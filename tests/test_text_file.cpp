#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "album.h"
#include "app/reasons.h"
#include "platform/atomic_file.h"
#include "platform/text_file.h"

using namespace fotavi;

namespace {


}  // namespace

class TestTextFile : public QObject {
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void wave_dash_comes_back_as_the_windows_form();
    void lines_end_with_crlf_and_inner_breaks_become_crlf();
    void replaced_characters_are_counted_by_the_file_writer();
    void a_second_write_replaces_the_first_whole();
    void write_fails_when_the_parent_is_a_file();
    void write_fails_when_a_folder_holds_the_name();
    void written_in_pieces_data();
    void written_in_pieces();
    void full_disk_keeps_the_old_file_whole_data();
    void full_disk_keeps_the_old_file_whole();
};

void TestTextFile::encode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("replaced");

    QTest::newRow("ascii") << QStringLiteral("abc <&> 09:30") << QByteArray("abc <&> 09:30") << 0;
    QTest::newRow("empty") << QString() << QByteArray() << 0;
    QTest::newRow("hiragana") << QStringLiteral("あ") << QByteArray("\x82\xa0") << 0;
    QTest::newRow("kanji") << QStringLiteral("年月日駅")
                           << QByteArray("\x94\x4e\x8c\x8e\x93\xfa\x89\x77") << 0;
    QTest::newRow("half-width katakana") << QStringLiteral("ｱ") << QByteArray("\xb1") << 0;
    QTest::newRow("NEC special") << QStringLiteral("①") << QByteArray("\x87\x40") << 0;
    QTest::newRow("fullwidth tilde") << QStringLiteral("\uFF5E") << QByteArray("\x81\x60") << 0;

    // The JIS forms typed on Linux are written as their Windows twins.
    QTest::newRow("wave dash") << QStringLiteral("\u301C") << QByteArray("\x81\x60") << 0;
    QTest::newRow("double vertical line")
        << QStringLiteral("\u2016") << QByteArray("\x81\x61") << 0;
    QTest::newRow("minus sign") << QStringLiteral("\u2212") << QByteArray("\x81\x7c") << 0;
    QTest::newRow("cent sign") << QStringLiteral("\u00A2") << QByteArray("\x81\x91") << 0;
    QTest::newRow("pound sign") << QStringLiteral("\u00A3") << QByteArray("\x81\x92") << 0;
    QTest::newRow("not sign") << QStringLiteral("\u00AC") << QByteArray("\x81\xca") << 0;
    QTest::newRow("em dash") << QStringLiteral("\u2014") << QByteArray("\x81\x5c") << 0;
    QTest::newRow("broken bar") << QStringLiteral("\u00A6") << QByteArray("\xfa\x55") << 0;
    QTest::newRow("yen sign") << QStringLiteral("\u00A5100")
                              << QByteArray(
                                     "\x5c"
                                     "100")
                              << 0;
    QTest::newRow("overline") << QStringLiteral("\u203E") << QByteArray("\x7e") << 0;

    // What code page 932 cannot hold becomes "?", one per character.
    QTest::newRow("hangul") << QStringLiteral("한") << QByteArray("?") << 1;
    QTest::newRow("emoji is one character") << QStringLiteral("\U0001F600") << QByteArray("?") << 1;
    QTest::newRow("mixed") << QStringLiteral("a한b\U0001F600c駅") << QByteArray("a?b?c\x89\x77")
                           << 2;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?") << 1;
    QTest::newRow("text goes on after a replacement")
        << QStringLiteral("é日本") << QByteArray("?\x93\xfa\x96\x7b") << 1;
}

void TestTextFile::encode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(int, replaced);
    const Encoded e = encode_cp932(text);
    QCOMPARE(e.bytes.toHex(' '), bytes.toHex(' '));
    QCOMPARE(e.replaced, replaced);
}

void TestTextFile::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("malformed");

    QTest::newRow("ascii") << QByteArray("time_log\r\n") << QStringLiteral("time_log\r\n") << false;
    QTest::newRow("kanji") << QByteArray("\x93\xfa\x96\x7b") << QStringLiteral("日本") << false;
    QTest::newRow("half-width katakana") << QByteArray("\xb1") << QStringLiteral("ｱ") << false;
    QTest::newRow("0x8160 is the fullwidth tilde")
        << QByteArray("\x81\x60") << QStringLiteral("\uFF5E") << false;
    QTest::newRow("0x5C stays a backslash") << QByteArray("\x5c") << QStringLiteral("\\") << false;
    QTest::newRow("cut-off lead byte")
        << QByteArray("abc\x81") << QStringLiteral("abc\uFFFD") << true;
    QTest::newRow("byte that starts nothing")
        << QByteArray("a\x80z") << QStringLiteral("a\uFFFDz") << true;
    QTest::newRow("lead byte before ASCII keeps the ASCII")
        << QByteArray("\x81\x20x") << QStringLiteral("\uFFFD x") << true;
    QTest::newRow("unassigned pair is one character")
        << QByteArray("\x85\x9f\x93\xfa") << QStringLiteral("\uFFFD日") << true;
}

void TestTextFile::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, malformed);
    bool bad = !malformed;
    QCOMPARE(decode_cp932(bytes, &bad), text);
    QCOMPARE(bad, malformed);
}

void TestTextFile::wave_dash_comes_back_as_the_windows_form() {
    const QString typed = QStringLiteral("米\u301C麦\uFF5E豆");
    bool malformed = true;
    QCOMPARE(decode_cp932(encode_cp932(typed).bytes, &malformed),
             QStringLiteral("米\uFF5E麦\uFF5E豆"));
    QVERIFY(!malformed);
}

void TestTextFile::lines_end_with_crlf_and_inner_breaks_become_crlf() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    const QStringList lines = {
        QStringLiteral("a"),    QStringLiteral("日本"),   QString(),
        QStringLiteral("x\ny"), QStringLiteral("p\r\nq"), QStringLiteral("r\rs\n")};
    const TextWrite w = write_text_file(path, lines);
    QVERIFY(w.ok());
    QCOMPARE(w.replaced, 0);
    QCOMPARE(read_all(path).toHex(' '), QByteArray("a\r\n\x93\xfa\x96\x7b\r\n\r\n"
                                                   "x\r\ny\r\np\r\nq\r\nr\r\ns\r\n\r\n")
                                            .toHex(' '));

    QVERIFY(write_text_file(path, {}).ok());
    QCOMPARE(read_all(path), QByteArray());
}

void TestTextFile::replaced_characters_are_counted_by_the_file_writer() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    const TextWrite w = write_text_file(path, {QStringLiteral("한국"), QStringLiteral("ok")});
    QVERIFY(w.ok());
    QCOMPARE(w.replaced, 2);
    QCOMPARE(read_all(path), QByteArray("??\r\nok\r\n"));
}

void TestTextFile::a_second_write_replaces_the_first_whole() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(write_text_file(path, {QStringLiteral("a much longer first version")}).ok());
    QVERIFY(write_text_file(path, {QStringLiteral("short")}).ok());
    QCOMPARE(read_all(path), QByteArray("short\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), {QStringLiteral("out.txt")});
}

void TestTextFile::write_fails_when_the_parent_is_a_file() {
    QTemporaryDir dir;
    const QString parent = dir.filePath(QStringLiteral("plain"));
    QVERIFY(put_file(parent, "x"));
    const QString path = parent + QStringLiteral("/time_log.txt");
    const TextWrite w = write_text_file(path, {QStringLiteral("line")});
    QCOMPARE(w.problem.kind, WriteProblem::Kind::System);
    QCOMPARE(w.problem.path, path);
    QCOMPARE(w.problem.error, ENOTDIR);
    QCOMPARE(read_all(parent), QByteArray("x"));
}

void TestTextFile::write_fails_when_a_folder_holds_the_name() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("time_log.txt"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("time_log.txt")));
    const WriteProblem problem = write_file_atomically(path, "line\r\n");
    QCOMPARE(problem.kind, WriteProblem::Kind::System);
    QCOMPARE(problem.path, path);
    QCOMPARE(problem.error, EISDIR);
    QVERIFY(QFileInfo(path).isDir());
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             {QStringLiteral("time_log.txt")});
}

void TestTextFile::written_in_pieces_data() {
    QTest::addColumn<QList<int>>("pieces");  // the size of each piece written
    QTest::addColumn<bool>("commit");
    QTest::newRow("many small pieces") << QList<int>(5000, 97) << true;
    QTest::newRow("a piece larger than the buffer") << QList<int>{10, 600 * 1024, 3} << true;
    QTest::newRow("no piece") << QList<int>{} << true;
    QTest::newRow("never committed: the old file stays") << QList<int>{300 * 1024, 5} << false;
}

void TestTextFile::written_in_pieces() {
    QFETCH(QList<int>, pieces);
    QFETCH(bool, commit);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo_diary.pdf"));
    QVERIFY(put_file(path, "old"));
    QByteArray whole;
    {
        AtomicFile file;
        QCOMPARE(file.open(path, Durability::Durable), 0);
        for (int size : pieces) {
            const QByteArray piece(size, char('a' + whole.size() % 26));
            file.write(piece);
            whole += piece;
        }
        if (commit) QCOMPARE(file.commit(), 0);
    }
    QCOMPARE(read_all(path), commit ? whole : QByteArray("old"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             {QStringLiteral("photo_diary.pdf")});
}

void TestTextFile::full_disk_keeps_the_old_file_whole_data() {
    QTest::addColumn<int>("filler");  // bytes taken before the write
    QTest::addColumn<int>("size");    // bytes of the new file

    // A write larger than the disk comes back short; a small one into a full
    // disk fails at once too, and both name the system's reason.
    QTest::newRow("larger than the disk") << 0 << 1024 * 1024;
    QTest::newRow("disk already full") << 1024 * 1024 << 100;
}

void TestTextFile::full_disk_keeps_the_old_file_whole() {
    QFETCH(int, filler);
    QFETCH(int, size);
    QTemporaryDir mount_point;
    QVERIFY(mount_point.isValid());
    const int rc = QProcess::execute(
        QStringLiteral("mount"),
        {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
         QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mount_point.path()});
    if (rc != 0) QSKIP("cannot mount a small tmpfs here");
    auto unmount =
        qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mount_point.path()}); });

    const QDir disk(mount_point.path());
    const QString path = disk.filePath(QStringLiteral("time_log.txt"));
    const QByteArray old = "old log\r\n";
    QVERIFY(put_file(path, old));
    if (filler > 0) put_file(disk.filePath(QStringLiteral("filler")), QByteArray(filler, 'f'));

    const WriteProblem problem = write_file_atomically(path, QByteArray(size, 'x'));
    QCOMPARE(problem.kind, WriteProblem::Kind::System);
    QCOMPARE(problem.path, path);
    QCOMPARE(problem.error, ENOSPC);
    QCOMPARE(read_all(path), old);
    // No temporary file is left on the disk.
    QStringList left = disk.entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral("filler"));
    QCOMPARE(left, QStringList{QStringLiteral("time_log.txt")});
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "test_text_file.moc"
