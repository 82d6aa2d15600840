#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "album.h"
#include "app/messages.h"
#include "app/reasons.h"
#include "platform/text_file.h"
#include "time_log/log_readback.h"
#include "time_log/old_log.h"
#include "time_log/time_log.h"

using namespace fotavi;

namespace {

// A diary holding text, as the writer writes it, with each pair of bytes of
// forms replaced by the other form of the same character.
QByteArray with_forms(const QString& text, const QList<std::pair<QByteArray, QByteArray>>& forms) {
    QByteArray bytes = written({kDay2 + "|05:10|" + text});
    for (const auto& [written_form, other] : forms) bytes.replace(written_form, other);
    return bytes;
}

}  // namespace

class TestOldLog : public QObject {
    Q_OBJECT

private slots:
    void keeping_the_old_file_data();
    void keeping_the_old_file();
    void old_file_is_kept_under_a_free_name();
    void other_forms_of_a_character_data();
    void other_forms_of_a_character();
    void unreadable_old_file_is_kept_or_refused_data();
    void unreadable_old_file_is_kept_or_refused();
};

void TestOldLog::keeping_the_old_file_data() {
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QStringList>("fresh");   // the entries the new file holds
    QTest::addColumn<QStringList>("logged");  // each picture's comment as last logged
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("dropped");

    const QStringList all = outing_rows();
    const QByteArray outing = cp932(kOutingLog);
    const QString x = kDay2 + "|10:40|x";

    QTest::newRow("unchanged") << outing << all << all << false << 0;
    QTest::newRow("a comment changed")
        << outing << QStringList{all[0], kDay2 + "|12:15|昼食", all[2]} << all << false << 0;
    QTest::newRow("a comment cleared")
        << outing << QStringList{all[0], all[2]} << all << false << 0;
    QTest::newRow("picture gone from the folder")
        << outing << QStringList{all[0], all[1]} << QStringList{all[0], all[1]} << true << 1;
    QTest::newRow("entries that could not be placed")
        << written({x, x}) << QStringList{kDay2 + "|10:40|a", kDay2 + "|10:40|b"} << QStringList()
        << true << 2;
    // Two equal entries count twice: the one of a picture still commented
    // does not explain the other, of a picture gone.
    QTest::newRow("same entry twice, one picture gone")
        << written({x, x}) << QStringList{x} << QStringList{x} << true << 1;
    QTest::newRow("same entry twice, one cleared")
        << written({x, x}) << QStringList{x} << QStringList{x, x} << false << 0;
    QTest::newRow("written as ?, then changed")
        << written({kDay2 + "|10:40|晴れ\U0001F600"}) << QStringList{kDay2 + "|10:40|雨"}
        << QStringList{kDay2 + "|10:40|晴れ\U0001F600"} << false << 0;
    QTest::newRow("edited by hand, every entry kept")
        << QByteArray(outing).replace("\r\n", "\n") << all << all << true << 0;
    QTest::newRow("empty old file") << QByteArray() << all << QStringList() << false << 0;
}

void TestOldLog::keeping_the_old_file() {
    QFETCH(QByteArray, old);
    QFETCH(QStringList, fresh);
    QFETCH(QStringList, logged);
    QFETCH(bool, keep);
    QFETCH(int, dropped);
    const OldLogCheck check = check_old_log(old, entries_of(fresh), entries_of(logged));
    QCOMPARE(check.keep, keep);
    QCOMPARE(check.dropped, dropped);
}

void TestOldLog::old_file_is_kept_under_a_free_name() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDateTime modified(QDate(2024, 5, 3), QTime(10, 15, 0));
    QCOMPARE(backup_log_name(dir.path(), modified), QStringLiteral("time_log_20240503-101500.txt"));
    QVERIFY(write_file_atomically(dir.filePath("time_log_20240503-101500.txt"), "other").ok());
    // A link to nothing takes a name too.
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("time_log_20240503-101500-2.txt")));
    QCOMPARE(backup_log_name(dir.path(), modified),
             QStringLiteral("time_log_20240503-101500-3.txt"));

    QCOMPARE(keep_old_log(dir.path()).name, QString());  // no log, nothing to keep
    const QString log = dir.filePath("time_log.txt");
    QVERIFY(write_file_atomically(log, "old log").ok());
    {
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    const KeptLog kept = keep_old_log(dir.path());
    QVERIFY(kept.ok());
    QCOMPARE(kept.name, QStringLiteral("time_log_20240503-101500-3.txt"));

    // The next List replaces time_log.txt; what was kept stays as it was.
    QVERIFY(write_file_atomically(log, "new log").ok());
    QFile backup(dir.filePath(kept.name));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), QByteArray("old log"));
    QCOMPARE(QFileInfo(backup).lastModified(), modified);
    QCOMPARE(QFile(dir.filePath("time_log_20240503-101500.txt")).size(), 5);
}

// Windows reads the NEC and IBM duplicates of code page 932 (and other
// programs write them) as the same characters: such a diary is read whole,
// not called damaged; List still keeps it, since its bytes change, and says why.
void TestOldLog::other_forms_of_a_character_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("other_forms");
    QTest::addColumn<bool>("damaged");
    const QString taka = u"髙橋"_qs;
    QTest::newRow("髙 as the writer writes it (IBM, FB FC)")
        << taka << with_forms(taka, {}) << false << false;
    QTest::newRow("髙 in the NEC-selected form (EE E0)")
        << taka << with_forms(taka, {{"\xFB\xFC", "\xEE\xE0"}}) << true << false;
    QTest::newRow("ⅰ NEC-selected (EE EF)")
        << u"ⅰ"_qs << with_forms(u"ⅰ"_qs, {{"\xFA\x40", "\xEE\xEF"}}) << true << false;
    QTest::newRow("≒ in NEC row 13 (87 90)")
        << u"≒"_qs << with_forms(u"≒"_qs, {{"\x81\xE0", "\x87\x90"}}) << true << false;
    QTest::newRow("∵ IBM (FA 5B)")
        << u"∵"_qs << with_forms(u"∵"_qs, {{"\x81\xE6", "\xFA\x5B"}}) << true << false;
    QTest::newRow("￢ IBM (FA 54) and NEC-selected (EE F9)")
        << u"￢￢"_qs << with_forms(u"￢x￢"_qs, {{"\x81\xCAx\x81\xCA", "\xFA\x54\xEE\xF9"}})
        << true << false;
    QTest::newRow("Ⅰ IBM (FA 4A)")
        << u"Ⅰ"_qs << with_forms(u"Ⅰ"_qs, {{"\x87\x54", "\xFA\x4A"}}) << true << false;
    QTest::newRow("another form and a byte that is none")
        << QString() << with_forms(taka, {{"\xFB\xFC", "\xEE\xE0"}, {"05:10", "05:1\xFF"}}) << false
        << true;
}

void TestOldLog::other_forms_of_a_character() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, other_forms);
    QFETCH(bool, damaged);
    const LogRead read = read_log(bytes);
    QCOMPARE(read.other_forms, other_forms);
    QCOMPARE(read.not_cp932, damaged);
    if (!text.isEmpty()) QCOMPARE(rows_of(read.entries), QStringList{kDay2 + "|05:10|" + text});

    QTemporaryDir dir;
    QVERIFY(put_file(dir.filePath("time_log.txt"), bytes));
    ImageTable table;
    table.names = {"p.jpg"};
    table.dates = {to_date_time(QDate(2001, 9, 2), QTime(5, 10))};
    table.comments = {QString()};
    const ReadBack back = read_back_log(dir.path(), table);
    QCOMPARE(back.damaged, damaged);
    QCOMPARE(back.other_forms, other_forms);

    const LogWrite list = write_log_keeping_old(dir.path(), read.entries, read.entries);
    QVERIFY(list.ok());
    QCOMPARE(list.kept_as.isEmpty(), !other_forms && !damaged);
    QCOMPARE(list.other_forms, other_forms);
    QCOMPARE(list.dropped, 0);
    if (!list.kept_as.isEmpty()) QCOMPARE(read_all(dir.filePath(list.kept_as)), bytes);
}

// A time_log.txt that may be written but not read (mode 222), as a user
// without root's rights meets it: never replaced without a kept copy. The
// user's own file gets a second name, which needs no reading; another user's
// file cannot be linked (protected hard links) nor copied, so List refuses.
void TestOldLog::unreadable_old_file_is_kept_or_refused_data() {
    QTest::addColumn<bool>("own_file");
    QTest::newRow("the user's own file") << true;
    QTest::newRow("another user's file") << false;
}

void TestOldLog::unreadable_old_file_is_kept_or_refused() {
    QFETCH(bool, own_file);
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    const QString log = dir.filePath("time_log.txt");
    QVERIFY(put_file(log, "old diary\r\n"));
    QVERIFY(::chmod(QFile::encodeName(log).constData(), 0222) == 0);
    if (own_file) QVERIFY(::chown(QFile::encodeName(log).constData(), nobody(), nobody()) == 0);
    const std::vector<LogEntry> entries = entries_of(outing_rows());

    const std::optional<QByteArray> result = as_user(nobody(), [&] {
        ImageTable none;
        const int unreadable = read_back_log(dir.path(), none).unreadable;
        const LogWrite w = write_log_keeping_old(dir.path(), entries, {});
        return QStringList{QString::number(unreadable),
                           w.ok() ? QString() : log_failure_text(dir.path(), w), w.kept_as,
                           QString::number(w.unreadable)}
            .join(u'|')
            .toUtf8();
    });
    if (!result) QSKIP("cannot become the user nobody here");
    const QStringList got = QString::fromUtf8(*result).split(u'|');
    QCOMPARE(got[0], QString::number(EACCES));

    QFile links("/proc/sys/fs/protected_hardlinks");
    const bool linkable =
        own_file || !links.open(QIODevice::ReadOnly) || links.readAll().trimmed() == "0";
    if (linkable) {
        QCOMPARE(got[1], QString());
        QCOMPARE(got[3], QString::number(EACCES));
        QVERIFY(got[2].startsWith("time_log_"));
        QCOMPARE(read_all(dir.filePath(got[2])), QByteArray("old diary\r\n"));
        QCOMPARE(read_all(log), log_bytes(entries).bytes);
    } else {
        QVERIFY2(got[1].contains(log) && got[1].contains(system_reason(EACCES)),
                 qPrintable(got[1]));
        QCOMPARE(read_all(log), QByteArray("old diary\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"time_log.txt"});
    }
}

QTEST_GUILESS_MAIN(TestOldLog)
#include "test_old_log.moc"
