#include <QTest>

#include "app/export_command.h"
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
};

namespace {

// An album of three pictures, the first two commented in a run of the program.
void comment_outing(Run& run, const Album& album) {
    make_outing(album);
    run.start(album.file("DSC0001.JPG"));
    run.type(QStringLiteral("日の出🌅\n港にて"));
    run.commands.k_incre();
    run.type(QStringLiteral("昼"));
    run.commands.k_incre();
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
    run.commands.m_export_pictures();
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
    if (again) QCOMPARE(export_pictures_command(arguments, start, run.folders)->exit_code, 0);
    const std::optional<CommandLineRun> done =
        export_pictures_command(arguments, start, run.folders);
    QVERIFY(done);
    QCOMPARE(done->exit_code, exit_code);
    QCOMPARE(done->out.isEmpty(), exit_code != 0);
    QCOMPARE(done->err.isEmpty(), exit_code == 0);
    QCOMPARE(files_in(destination.path()).size(), copies);
    if (copies > 0)
        QCOMPARE(read_captions(read_all(destination.filePath("DSC0002.JPG"))).xmp_description,
                 QStringLiteral("昼"));
    QVERIFY(!export_pictures_command({"--write-diary", album.path()}, start, run.folders));
}

QTEST_GUILESS_MAIN(TestExchangeCommands)
#include "test_exchange_commands.moc"
