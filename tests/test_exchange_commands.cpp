#include <QStandardPaths>
#include <QTest>

#include "app/command_line.h"
#include "app/without_window.h"
#include "exchange/captions.h"
#include "run.h"

using namespace fotavi;

// The export as a person reaches it, from the menu and from the command line.
class TestExchangeCommands : public QObject {
    Q_OBJECT
private slots:
    void menu_export_data();
    void menu_export();
    void command_line_export_data();
    void command_line_export();
    void sidecar_follows_each_saved_comment_data();
    void sidecar_follows_each_saved_comment();
    void captions_offered_once_data();
    void captions_offered_once();
};

namespace {

// An album of three pictures, the first two commented in a run of the program.
void comment_outing(Run& run, const Album& album) {
    make_outing(album);
    run.start(album.file("DSC0001.JPG"));
    run.type(QStringLiteral("日の出🌅\n港にて"));
    run.commands.show_next();
    run.type(QStringLiteral("昼"));
    run.commands.show_next();
    run.flush();
}

QStringList files_in(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

void TestExchangeCommands::menu_export_data() {
    QTest::addColumn<bool>("folder_chosen");
    QTest::addColumn<bool>("all");
    QTest::addColumn<int>("cancel_at_step");
    QTest::addColumn<QStringList>("written");
    const QStringList commented{"DSC0001.JPG", "DSC0002.JPG"};
    QTest::newRow("commented ones") << true << false << -1 << commented;
    QTest::newRow("all") << true << true << -1
                         << QStringList{"DSC0001.JPG", "DSC0002.JPG", "DSC0003.JPG", "DSC0004.JPG"};
    QTest::newRow("no folder chosen") << false << false << -1 << QStringList{};
    QTest::newRow("cancelled at once") << true << false << 0 << QStringList{};
}

void TestExchangeCommands::menu_export() {
    QFETCH(bool, folder_chosen);
    QFETCH(bool, all);
    QFETCH(int, cancel_at_step);
    QFETCH(QStringList, written);
    Album album;
    QTemporaryDir destination;
    Run run;
    comment_outing(run, album);
    if (folder_chosen) run.ui.export_folders.push_back(destination.path());
    run.ui.yes_no_answers = {all};
    run.ui.cancel_at_step = cancel_at_step;
    run.ui.clear();
    run.commands.export_pictures_with_comments();
    QCOMPARE(files_in(destination.path()), written);
    QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
    if (!folder_chosen) return;
    QCOMPARE(run.ui.messages().size(), 1);
    if (!written.isEmpty())
        QCOMPARE(chosen_caption(read_captions(read_all(destination.filePath("DSC0001.JPG"))), {}),
                 QStringLiteral("日の出🌅\n港にて"));
}

void TestExchangeCommands::command_line_export_data() {
    QTest::addColumn<QStringList>("arguments");  // FOLDER and DEST stand for the two folders
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<int>("copies");
    QTest::newRow("commented") << QStringList{"--export-pictures", "FOLDER", "DEST"} << 0 << 2;
    QTest::newRow("all") << QStringList{"FOLDER", "--export-pictures", "DEST", "--all"} << 0 << 4;
    QTest::newRow("files there already")
        << QStringList{"--export-pictures", "FOLDER", "DEST", "again"} << 1 << 2;
    QTest::newRow("no destination") << QStringList{"--export-pictures", "FOLDER"} << 2 << 0;
    QTest::newRow("no such folder")
        << QStringList{"--export-pictures", "missing", "DEST"} << 1 << 0;
}

// Comments come from the store as the window left them; nothing in DEST is replaced.
void TestExchangeCommands::command_line_export() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exit_code);
    QFETCH(int, copies);
    Album album;
    QTemporaryDir destination;
    Run run;
    comment_outing(run, album);
    const bool again = arguments.removeAll("again") > 0;
    arguments.replaceInStrings(QRegularExpression("^FOLDER$"), album.path());
    arguments.replaceInStrings(QRegularExpression("^DEST$"), destination.path());
    const QString start = QFileInfo(album.path()).path();
    // Runs the command line without a window: its status, what it printed and its complaints.
    auto export_once = [&](QString& out, QString& err) {
        QTextStream to_out(&out), to_err(&err);
        return run_without_window(read_command_line(arguments), start, run.folders.state_dir,
                                  run.folders, to_out, to_err);
    };
    QString out, err;
    if (again) QCOMPARE(export_once(out, err), 0);
    out.clear();
    err.clear();
    QCOMPARE(export_once(out, err), exit_code);
    QCOMPARE(out.isEmpty(), exit_code != 0);
    QCOMPARE(err.isEmpty(), exit_code == 0);
    QCOMPARE(files_in(destination.path()).size(), copies);
    if (copies > 0)
        QCOMPARE(read_captions(read_all(destination.filePath("DSC0002.JPG"))).xmp_description,
                 QStringLiteral("昼"));
}

void TestExchangeCommands::sidecar_follows_each_saved_comment_data() {
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("there");  // the sidecar before: none, "darktable", "link"
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("description");  // as the sidecar holds it after; "-": no sidecar
    QTest::newRow("off: none made") << false << ""
                                    << "夕日"
                                    << "-";
    QTest::newRow("on: made") << true << ""
                              << "夕日🌇\n海"
                              << "夕日🌇\n海";
    QTest::newRow("on: merged") << true << "darktable"
                                << "夕日"
                                << "夕日";
    QTest::newRow("on: emptied") << true << "darktable"
                                 << ""
                                 << "";
    QTest::newRow("on: a link is left") << true << "link"
                                        << "夕日"
                                        << "-";
}

// Each comment stored goes to NAME.ext.xmp too while the person wants it;
// another program's properties stay; the choice is kept for the next start.
void TestExchangeCommands::sidecar_follows_each_saved_comment() {
    QFETCH(bool, on);
    QFETCH(QString, there);
    QFETCH(QString, typed);
    QFETCH(QString, description);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    Album album;
    make_outing(album);
    const QString sidecar = album.file("DSC0001.JPG.xmp");
    const QByteArray darktable =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:darktable=\"http://darktable.sf.net/\" xmp:Rating=\"4\" "
        "darktable:history_end=\"3\"><dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">"
        "old</rdf:li></rdf:Alt></dc:description></rdf:Description></rdf:RDF></x:xmpmeta>";
    QTemporaryDir elsewhere;
    if (there == "darktable") QVERIFY(put_file(sidecar, darktable));
    if (there == "link") QVERIFY(QFile::link(elsewhere.filePath("x"), sidecar));
    {
        Run first;
        QVERIFY(!first.commands.sidecars().on());
        if (on) first.commands.toggle_sidecars();
    }
    Run run;
    QCOMPARE(run.commands.sidecars().on(), on);
    run.start(album.file("DSC0001.JPG"));
    for (const QString& text : {QStringLiteral("x"), typed}) {
        run.type(text);
        run.commands.document().save();
        run.flush();
    }
    run.commands.sidecars().wait_idle();
    QCOMPARE(QFileInfo(elsewhere.filePath("x")).exists(), false);  // nothing through the link
    QCOMPARE(run.ui.messages().size(), there == "link" ? 1 : 0);
    if (description == "-") {
        QVERIFY(!QFileInfo(sidecar).isFile() || QFileInfo(sidecar).isSymLink());
        return;
    }
    const QByteArray bytes = read_all(sidecar);
    QCOMPARE(sidecar_description(bytes), description);
    if (there == "darktable") {
        QVERIFY(bytes.contains("Rating=\"4\""));
        QVERIFY(bytes.contains("darktable:history_end=\"3\""));
    }
}

void TestExchangeCommands::captions_offered_once_data() {
    QTest::addColumn<bool>("take");
    QTest::newRow("Return takes them in") << true;
    QTest::newRow("Esc leaves them") << false;
}

// Captions exiftool wrote in each place (and a sidecar's) are offered in one
// question with their count, camera texts left out; taken in, they are
// comments List writes; the folder is not asked about again.
void TestExchangeCommands::captions_offered_once() {
    QFETCH(bool, take);
    if (QStandardPaths::findExecutable("exiftool").isEmpty()) QSKIP("exiftool writes the captions");
    Album album;
    make_outing(album);
    album.add("DSC0005.JPG", at(2001, 9, 3, 9, 0));
    album.add("DSC0006.JPG", at(2001, 9, 3, 10, 0));
    const QStringList places{"-XMP-dc:Description", "-IPTC:Caption-Abstract",
                             "-EXIF:ImageDescription", "-EXIF:XPComment", "-EXIF:ImageDescription"};
    const QStringList captions{"朝市", "港の船", "灯台", "昼ごはん", "OLYMPUS DIGITAL CAMERA"};
    for (int i = 0; i < places.size(); ++i) {
        const QString name = QStringLiteral("DSC000%1.JPG").arg(i + 1);
        QCOMPARE(QProcess::execute(
                     "exiftool", {"-q", "-overwrite_original", "-P", "-IPTC:CodedCharacterSet=UTF8",
                                  places[i] + "=" + captions[i], album.file(name)}),
                 0);
    }
    QString problem;
    QVERIFY(put_file(album.file("DSC0006.JPG.xmp"),
                     *sidecar_with_description({}, QStringLiteral("夕焼け"), &problem)));
    QTemporaryDir shared;
    {
        Run run(shared.path());
        run.ui.yes_no_answers = {take};
        run.start(album.file("DSC0001.JPG"));
        const QStringList asked = run.ui.events.filter("ask yes no|");
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(" 5 枚"));
        QCOMPARE(run.comment_of("DSC0002.JPG"), take ? QStringLiteral("港の船") : QString());
        QCOMPARE(run.ui.comment_text, take ? QStringLiteral("朝市") : QString());
        run.commands.write_time_log();
        const QString log = decode_cp932(read_all(album.file("time_log.txt")));
        for (const char* caption : {"朝市", "港の船", "灯台", "昼ごはん", "夕焼け"})
            QCOMPARE(log.contains(QString::fromUtf8(caption)), take);
        QVERIFY(!log.contains("OLYMPUS"));
        run.flush();
    }
    Run again(shared.path());
    again.start(album.file("DSC0001.JPG"));
    QCOMPARE(again.ui.events.filter("ask yes no|").size(), 0);
    QCOMPARE(again.comment_of("DSC0004.JPG"), take ? QStringLiteral("昼ごはん") : QString());
}

QTEST_GUILESS_MAIN(TestExchangeCommands)
#include "test_exchange_commands.moc"
