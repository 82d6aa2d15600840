#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>

#include <sys/stat.h>

#include "album.h"
#include "app/messages.h"
#include "app/reasons.h"
#include "settings/settings.h"

using namespace fotavi;
using namespace Qt::StringLiterals;

namespace {

// Code page 932 bytes of the phrases used below, spelled out so that the
// tests do not lean on the encoder they check.
const QByteArray kKome = QByteArray::fromHex("95c4");        // 米
const QByteArray kMugi = QByteArray::fromHex("949e");        // 麦
const QByteArray kMame = QByteArray::fromHex("93a4");        // 豆
const QByteArray kMi = QByteArray::fromHex("8ec0");          // 実
const QByteArray kOhiru = QByteArray::fromHex("82a8928b");   // お昼
const QByteArray kKyukei = QByteArray::fromHex("8b788c65");  // 休憩
const QByteArray kKamera = QByteArray::fromHex("b6d2d7");    // ｶﾒﾗ (half-width)
const QByteArray kWave = QByteArray::fromHex("8160");        // ～

QByteArray lines(const QList<QByteArray>& parts, const QByteArray& end) {
    QByteArray bytes;
    for (const QByteArray& part : parts) bytes += part + end;
    return bytes;
}

using Phrases = std::array<QString, 4>;

const Phrases kDefaults{u"米"_s, u"麦"_s, u"豆"_s, u"実"_s};

}  // namespace

Q_DECLARE_METATYPE(Phrases)

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void write_back_data();
    void write_back();
    void serialize();
    void read_and_write_files();
    void not_a_settings_file_data();
    void not_a_settings_file();
    void write_names_why_the_folder_cannot_be_made();
    void config_folder_choice_data();
    void config_folder_choice();
};

void TestSettings::parse_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("size_large");
    QTest::addColumn<Phrases>("phrases");
    QTest::addColumn<bool>("problem");
    QTest::addColumn<bool>("capture_time");

    const QByteArray crlf = "\r\n";
    const Phrases own{u"お昼"_s, u"休憩"_s, u"ｶﾒﾗ"_s, u"\uFF5E"_s};
    const QList<QByteArray> own_bytes{kOhiru, kKyukei, kKamera, kWave};

    QTest::newRow("CR LF, True") << lines({"True", kKome, kMugi, kMame, kMi}, crlf) << true
                                 << kDefaults << false << false;
    QTest::newRow("Shift_JIS phrases")
        << lines(QList<QByteArray>{"False"} + own_bytes, crlf) << false << own << false << false;
    QTest::newRow("LF alone") << lines(QList<QByteArray>{"True"} + own_bytes, "\n") << true << own
                              << false << false;
    QTest::newRow("CR alone") << lines(QList<QByteArray>{"True"} + own_bytes, "\r") << true << own
                              << false << false;
    QTest::newRow("mixed line ends")
        << QByteArray("true\n" + kOhiru + "\r\n" + kKyukei + "\n" + kKamera + "\r\n" + kWave + "\n")
        << true << own << false << false;
    QTest::newRow("no final line end")
        << QByteArray("True\r\n" + kOhiru + "\r\n" + kKyukei + "\r\n" + kKamera + "\r\n" + kWave)
        << true << own << false << false;
    QTest::newRow("extra lines") << lines(QList<QByteArray>{"True"} + own_bytes +
                                              QList<QByteArray>{"False", "junk"},
                                          crlf)
                                 << true << own << true
                                 << false;  // read, and said: they would be lost at exit
    QTest::newRow("empty phrases")
        << QByteArray("False\r\n\r\n" + kMugi + "\r\n\r\n\r\n") << false
        << Phrases{QString(), u"麦"_s, QString(), QString()} << false << false;
    QTest::newRow("phrase with spaces kept whole")
        << QByteArray("False\r\n  a b  \r\n" + kMugi + "\r\n" + kMame + "\r\n" + kMi + "\r\n")
        << false << Phrases{u"  a b  "_s, u"麦"_s, u"豆"_s, u"実"_s} << false << false;
    QTest::newRow("false lower case") << lines({"false", "a", "b", "c", "d"}, crlf) << false
                                      << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;
    QTest::newRow("TRUE upper case") << lines({"TRUE", "a", "b", "c", "d"}, crlf) << true
                                     << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;
    QTest::newRow("1") << lines({"1", "a", "b", "c", "d"}, crlf) << true
                       << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;
    QTest::newRow("-1") << lines({"-1", "a", "b", "c", "d"}, crlf) << true
                        << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;
    QTest::newRow("0") << lines({"0", "a", "b", "c", "d"}, crlf) << false
                       << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;
    QTest::newRow("0.5") << lines({"0.5", "a", "b", "c", "d"}, crlf) << true
                         << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;

    // Malformed: what can be read is kept, the rest stays default.
    QTest::newRow("four lines") << lines({"True", "a", "b", "c"}, crlf) << true
                                << Phrases{u"a"_s, u"b"_s, u"c"_s, u"実"_s} << true << false;
    QTest::newRow("only line 1") << QByteArray("True") << true << kDefaults << true << false;
    QTest::newRow("empty file") << QByteArray() << false << kDefaults << true << false;
    QTest::newRow("garbage line 1") << lines({"yes", "a", "b", "c", "d"}, crlf) << false
                                    << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << true << false;
    QTest::newRow("empty line 1") << lines({"", "a", "b", "c", "d"}, crlf) << false
                                  << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << true << false;
    QTest::newRow("not code page 932")
        << QByteArray("True\r\na\x82\r\nb\r\nc\r\nd\r\n") << true
        << Phrases{u"a\uFFFD"_s, u"b"_s, u"c"_s, u"d"_s} << true << false;

    // The capture-time mode: a sixth line while on; any other sixth line means
    // off, and is said (it would be lost at exit).
    QTest::newRow("sixth line, capture time")
        << lines({"True", "a", "b", "c", "d", "CaptureTime"}, crlf) << true
        << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << true;
    QTest::newRow("sixth line, LF, other case")
        << lines({"False", "a", "b", "c", "d", " capturetime "}, "\n") << false
        << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << false << true;
    QTest::newRow("sixth line, something else")
        << lines({"False", "a", "b", "c", "d", "CaptureTimes"}, crlf) << false
        << Phrases{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << true << false;
    QTest::newRow("capture time as a phrase")
        << lines({"False", "CaptureTime", "b", "c", "d"}, crlf) << false
        << Phrases{u"CaptureTime"_s, u"b"_s, u"c"_s, u"d"_s} << false << false;
    QTest::newRow("four lines and capture time")
        << lines({"True", "a", "b", "CaptureTime"}, crlf) << true
        << Phrases{u"a"_s, u"b"_s, u"CaptureTime"_s, u"実"_s} << true << false;
}

void TestSettings::parse() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, size_large);
    QFETCH(Phrases, phrases);
    QFETCH(bool, problem);
    QFETCH(bool, capture_time);

    const ConfigRead read = parse_config(bytes);
    QCOMPARE(read.settings.size_large, size_large);
    QCOMPARE(read.settings.capture_time, capture_time);
    for (size_t n = 0; n < 4; ++n) QCOMPARE(read.settings.phrases[n], phrases[n]);
    QCOMPARE(!read.ok(), problem);
    if (problem) QVERIFY(config_problem_text(u"/x"_s, read).contains(u"def_list.txt"_s));
}

void TestSettings::write_back_data() {
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("written");

    const QByteArray crlf = "\r\n";
    const QByteArray canonical = lines({"True", kOhiru, kKyukei, kKamera, kWave}, crlf);
    QTest::newRow("unchanged run") << canonical << canonical;
    const QByteArray small = lines({"False", kKome, "", kMame, ""}, crlf);
    QTest::newRow("empty phrases") << small << small;
    QTest::newRow("LF alone") << lines({"True", kOhiru, kKyukei, kKamera, kWave}, "\n")
                              << canonical;
    QTest::newRow("no final line end") << canonical.chopped(2) << canonical;
    QTest::newRow("extra lines dropped") << canonical + "more\r\nlines\r\n" << canonical;
    const QByteArray on = canonical + "CaptureTime\r\n";
    QTest::newRow("capture time kept") << on << on;
    QTest::newRow("capture time, LF alone")
        << lines({"True", kOhiru, kKyukei, kKamera, kWave, "capturetime"}, "\n") << on;
    QTest::newRow("lines after capture time dropped") << on + "more\r\n" << on;
    QTest::newRow("false") << lines({"false", "a", "b", "c", "d"}, crlf)
                           << lines({"False", "a", "b", "c", "d"}, crlf);
    QTest::newRow("1") << lines({"1", "a", "b", "c", "d"}, crlf)
                       << lines({"True", "a", "b", "c", "d"}, crlf);
}

void TestSettings::write_back() {
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, written);
    QCOMPARE(serialize_config(parse_config(read).settings), written);
}

void TestSettings::serialize() {
    QCOMPARE(serialize_config(Settings{}), lines({"False", kKome, kMugi, kMame, kMi}, "\r\n"));

    // A line break in a phrase would shift every later line of the file.
    Settings broken;
    broken.size_large = true;
    broken.phrases = {u"a\nb"_s, u"c\r\nd"_s, u"e\rf"_s, u"g"_s};
    QCOMPARE(serialize_config(broken), lines({"True", "a b", "c d", "e f", "g"}, "\r\n"));

    // The mode adds a sixth line while on, and only then.
    Settings capture;
    capture.capture_time = true;
    QCOMPARE(serialize_config(capture),
             lines({"False", kKome, kMugi, kMame, kMi, "CaptureTime"}, "\r\n"));
}

void TestSettings::read_and_write_files() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    // Missing file: the defaults, silently.
    const ConfigRead missing = read_settings_file(dir.path());
    QCOMPARE(missing.settings, Settings{});
    QVERIFY(missing.ok());

    Settings settings;
    settings.size_large = true;
    settings.phrases = {u"お昼"_s, QString(), u"ｶﾒﾗ"_s, u"&"_s};
    QVERIFY(write_settings_file(dir.path(), settings).ok());
    QFile file(dir.filePath(u"def_list.txt"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), lines({"True", kOhiru, "", kKamera, "&"}, "\r\n"));
    file.close();

    const ConfigRead again = read_settings_file(dir.path());
    QCOMPARE(again.settings, settings);
    QVERIFY(again.ok());

    // A shorter file replaces a longer one completely.
    QVERIFY(write_settings_file(dir.path(), Settings{}).ok());
    QCOMPARE(read_settings_file(dir.path()).settings, Settings{});
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), serialize_config(Settings{}));
}

// def_list.txt that is no small regular file: start-up never waits or reads
// without end (a FIFO would hang this test), takes the defaults and says why
// in one Japanese sentence; keeping it aside never reads it either.
void TestSettings::not_a_settings_file_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");  // what the message says of it
    QTest::newRow("FIFO") << "fifo" << u"名前付きパイプ (FIFO) で、普通のファイルではありません"_s;
    QTest::newRow("link to /dev/zero")
        << "zero" << u"シンボリックリンクの先が装置ファイルで、普通のファイルではありません"_s;
    QTest::newRow("1 GB sparse file")
        << "sparse"
        << u"ファイルが大きすぎます（1073741824 バイト。65536 バイトまでしか読みません）"_s;
    QTest::newRow("folder") << "folder" << u"ファイルではなくフォルダです"_s;
    QTest::newRow("link to five good lines") << "good link" << QString();
}

void TestSettings::not_a_settings_file() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"def_list.txt"_s);
    const QByteArray encoded = QFile::encodeName(path);
    if (kind == "fifo") QVERIFY(::mkfifo(encoded.constData(), 0644) == 0);
    if (kind == "zero") QVERIFY(QFile::link(u"/dev/zero"_s, path));
    if (kind == "folder") QVERIFY(QDir(dir.path()).mkdir(u"def_list.txt"_s));
    if (kind == "sparse") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1LL << 30));
    }
    const Settings large{true, {u"お昼"_s, u"休憩"_s, {}, {}}};
    if (kind == "good link") {
        QVERIFY(write_settings_file(dir.path(), large).ok());
        QVERIFY(QFile::rename(path, dir.filePath(u"real.txt"_s)));
        QVERIFY(QFile::link(dir.filePath(u"real.txt"_s), path));
    }

    const ConfigRead read = read_settings_file(dir.path());
    if (reason.isEmpty()) {
        QCOMPARE(read.settings, large);
        QVERIFY(read.ok());
        return;
    }
    QCOMPARE(read.settings, Settings{});
    QCOMPARE(config_problem_text(dir.path(), read),
             u"%1 を読み込めなかったため、既定の設定を使います。（%2）"_s.arg(path, reason));

    // Kept aside by moving its name, never by reading it; a folder stays.
    const Aside aside = keep_damaged_config(dir.path());
    const QString kept = aside.ok() ? aside.name : QString();
    const QStringList left =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    if (kind == "folder") {
        QCOMPARE(aside.error, EISDIR);
        QCOMPARE(left, QStringList{u"def_list.txt"_s});
        QVERIFY(!write_settings_file(dir.path(), Settings{}).ok());
        return;
    }
    QCOMPARE(left, QStringList{kept});
    QVERIFY(kept.startsWith(u"def_list_damaged-"_s));
    QVERIFY(write_settings_file(dir.path(), Settings{}).ok());
    QVERIFY(read_settings_file(dir.path()).ok());
}

// The folder the settings go to may be missing (the per-user folder): the
// reason it cannot be made is the one given, not that it is not there.
void TestSettings::write_names_why_the_folder_cannot_be_made() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"config/fotavi"_s);
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ExeOther |
                                                  QFile::ReadOther));
    const std::optional<QByteArray> error = as_user(nobody(), [&] {
        return write_problem_text(write_settings_file(folder, Settings{})).toUtf8();
    });
    if (!error) QSKIP("cannot become the user nobody here");
    QCOMPARE(QString::fromUtf8(*error), u"%1 を書き込めませんでした。\n理由: %2"_s.arg(
                                            folder + u"/def_list.txt"_s, system_reason(EACCES)));
    QVERIFY(!QFileInfo::exists(folder));
}

void TestSettings::config_folder_choice_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("folder_exists");
    QTest::addColumn<QByteArray>("beside");  // def_list.txt in the program folder ("" none)
    QTest::addColumn<QByteArray>("own");     // def_list.txt in the user's folder ("" none)
    QTest::addColumn<bool>("in_user_folder");
    QTest::addColumn<QByteArray>("user_file");  // the user's def_list.txt afterwards

    const QByteArray older = serialize_config(Settings{true, {u"お昼"_s, u"休憩"_s, {}, {}}});
    const QByteArray newer = serialize_config(Settings{});
    QTest::newRow("build folder") << false << true << QByteArray() << QByteArray() << false
                                  << QByteArray();
    QTest::newRow("build folder with settings")
        << false << true << older << QByteArray() << false << QByteArray();
    QTest::newRow("folder that cannot be written")
        << false << false << QByteArray() << QByteArray() << true << QByteArray();
    QTest::newRow("installed, writable for this user")
        << true << true << QByteArray() << QByteArray() << true << QByteArray();
    QTest::newRow("installed, settings left beside it")
        << true << true << older << QByteArray() << true << older;
    QTest::newRow("installed, the user's own settings win")
        << true << true << older << newer << true << newer;
}

void TestSettings::config_folder_choice() {
    QFETCH(bool, installed);
    QFETCH(bool, folder_exists);
    QFETCH(QByteArray, beside);
    QFETCH(QByteArray, own);
    QFETCH(bool, in_user_folder);
    QFETCH(QByteArray, user_file);

    QStandardPaths::setTestModeEnabled(true);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir(user).removeRecursively();
    const auto put = [](const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    if (!own.isEmpty()) QVERIFY(put(QDir(user).filePath(u"def_list.txt"_s), own));

    // Tests run as root, so a folder that is not there stands for one that
    // cannot be written.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = folder_exists ? dir.path() : dir.filePath(u"gone"_s);
    if (installed) QVERIFY(put(dir.filePath(QString::fromLatin1(kInstalledMarker)), "installed\n"));
    if (!beside.isEmpty()) QVERIFY(put(dir.filePath(u"def_list.txt"_s), beside));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const QString chosen = config_folder(program);

    QCOMPARE(QDir(chosen), QDir(in_user_folder ? user : program));
    // The user's folder is made when it is the one chosen, and only then.
    QCOMPARE(QFileInfo(user).isDir(), in_user_folder || !own.isEmpty());
    QFile user_config(QDir(user).filePath(u"def_list.txt"_s));
    if (user_file.isEmpty()) {
        QVERIFY(!user_config.exists());
    } else {
        QVERIFY(user_config.open(QIODevice::ReadOnly));
        QCOMPARE(user_config.readAll(), user_file);
    }
    // Choosing never writes into the program folder, nor takes from it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    if (!beside.isEmpty()) {
        QFile left(dir.filePath(u"def_list.txt"_s));
        QVERIFY(left.open(QIODevice::ReadOnly));
        QCOMPARE(left.readAll(), beside);
    }
    QDir(user).removeRecursively();
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
