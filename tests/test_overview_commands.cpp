#include <QTest>

#include "app/reasons.h"
#include "run.h"

using namespace fotavi;

namespace {

const QString kNeed = QStringLiteral("message|メッセージ|先に、画像ファイルを指定して下さい");

QStringList diaries_in(const QString& folder) {
    return QDir(folder).entryList({"photo_diary.*"}, QDir::Files, QDir::Name);
}

}  // namespace

class TestOverviewCommands : public QObject {
    Q_OBJECT
private slots:
    // The overview's jump is Next to any picture: the comment typed is kept,
    // the picture shown, the focus in the comment box.
    void show_at_keeps_the_comment_and_shows_the_picture() {
        Album album;
        make_outing(album);
        Run run;
        run.commands.show_at(0);
        run.commands.open_overview();
        QCOMPARE(run.ui.events, QStringList({kNeed, "focus", kNeed, "focus"}));

        run.start(album.file("DSC0001.JPG"));
        run.type("station");
        show_decoded(run.commands);
        run.ui.clear();
        run.commands.show_at(2);  // the picture comes once decoded
        show_decoded(run.commands);
        QCOMPARE(run.ui.events,
                 QStringList({"file_name|DSC0003.JPG", "file_date|2001/09/02(日)12:15",
                              "comment|", "focus", "picture|480x360"}));
        QCOMPARE(run.comment_of("DSC0001.JPG"), QStringLiteral("station"));
        QCOMPARE(run.commands.document().shown(), 2);
        run.ui.clear();
        run.commands.show_at(4);  // gone since the overview was drawn: nothing moves
        run.commands.show_at(-1);
        QCOMPARE(run.ui.events, QStringList({"focus", "focus"}));
        run.commands.open_overview();
        QCOMPARE(run.ui.events.last(), QStringLiteral("overview"));
    }

    void photo_diary_data() {
        QTest::addColumn<QString>("answer");  // the dialog's: "return", "cancel", "html", "all"
        QTest::addColumn<bool>("commented");
        QTest::addColumn<int>("cancel_at");       // the progress step cancelled; -1: none
        QTest::addColumn<QString>("in_the_way");  // a folder made under this name first
        QTest::addColumn<QStringList>("files");   // the diaries there afterwards
        QTest::addColumn<QString>("message");     // %1: the folder; empty: none
        const QStringList both{"photo_diary.html", "photo_diary.pdf"};
        const QString written =
            QStringLiteral("%1 に写真日誌を書き出しました:\nphoto_diary.html\nphoto_diary.pdf");
        QTest::newRow("written with its defaults")
            << "return" << true << -1 << "" << both << written;
        QTest::newRow("HTML only")
            << "html" << true << -1 << "" << QStringList{"photo_diary.html"}
            << QStringLiteral("%1 に写真日誌を書き出しました:\nphoto_diary.html");
        QTest::newRow("uncommented pictures asked for")
            << "all" << false << -1 << "" << both << written;
        QTest::newRow("nothing commented")
            << "return" << false << -1 << "" << QStringList{}
            << QStringLiteral(
                   "コメントの付いた写真がないため、写真日誌は書き出しませんでした。\n"
                   "コメントのない写真も載せるときは、「コメントのない写真も入れる」を選んで"
                   "下さい。");
        QTest::newRow("cancelled while writing")
            << "return" << true << 0 << "" << QStringList{}
            << QStringLiteral("写真日誌の書き出しを中止しました。ファイルは書き換えていません。");
        QTest::newRow("a folder holds the PDF's name")
            << "return" << true << -1 << "photo_diary.pdf" << QStringList{}
            << QStringLiteral("%1/photo_diary.pdf を書き込めませんでした。\n理由: ") +
                   system_reason(EISDIR);
        QTest::newRow("dialog cancelled") << "cancel" << true << -1 << "" << QStringList{} << "";
    }
    void photo_diary() {
        QFETCH(QString, answer);
        QFETCH(bool, commented);
        QFETCH(int, cancel_at);
        QFETCH(QString, in_the_way);
        QFETCH(QStringList, files);
        QFETCH(QString, message);
        Album album;
        make_outing(album);
        if (!in_the_way.isEmpty()) QVERIFY(QDir(album.path()).mkdir(in_the_way));
        Run run;
        run.start(album.file("DSC0001.JPG"));
        if (commented) {
            run.type("station");
            run.commands.show_at(3);
            run.type("home <script>");  // in the box, not yet moved away from
        }
        if (answer == "cancel") run.ui.diary_answers.push_back(std::nullopt);
        if (answer == "html") run.ui.diary_answers.push_back(DiaryChoice{true, false, false});
        if (answer == "all") run.ui.diary_answers.push_back(DiaryChoice{true, true, true});
        run.ui.cancel_at_step = cancel_at;
        run.ui.clear();
        run.commands.make_photo_diary();

        QCOMPARE(run.ui.events.first(), "photo diary dialog|" + album.path());
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
        QCOMPARE(run.ui.messages(),
                 message.isEmpty()
                     ? QStringList()
                     : QStringList{"message|メッセージ|" +
                                   (message.contains("%1") ? message.arg(album.path()) : message)});
        QCOMPARE(diaries_in(album.path()), files);
        if (files.contains("photo_diary.html")) {
            const QByteArray html = read_all(album.file("photo_diary.html"));
            QVERIFY(html.contains("home &lt;script&gt;") || !commented);
            QCOMPARE(html.count("<img"), commented ? 2 : 4);
            QVERIFY(run.ui.events.contains("progress|写真日誌を書いています（" +
                                           QString::number(commented ? 2 : 4) + " 枚）|1000"));
        }
    }

    // The title typed is kept for the folder and offered again, also to the
    // next window; what was written is opened when asked.
    void photo_diary_title_kept_and_opened() {
        Album album;
        make_outing(album);
        {
            Run run;
            run.start(album.file("DSC0001.JPG"));
            run.type("station");
            DiaryChoice choice{false, true, false, true, "函館の旅", DiaryLayout::TwoColumns, true};
            run.ui.diary_answers.push_back(choice);
            run.commands.make_photo_diary();
            QCOMPARE(run.ui.diary_offered.title, QFileInfo(album.path()).fileName());
            QCOMPARE(diaries_in(album.path()), QStringList({"photo_diary.csv", "photo_diary.pdf"}));
            QCOMPARE(run.ui.opened_documents, QStringList{album.file("photo_diary.pdf")});
        }
        Run again;
        again.start(album.file("DSC0001.JPG"));
        again.ui.diary_answers.push_back(std::nullopt);
        again.commands.make_photo_diary();
        QCOMPARE(again.ui.diary_offered.title, QStringLiteral("函館の旅"));
    }

    void photo_diary_needs_pictures() {
        Album empty;
        Run run;
        run.start(empty.path());
        run.ui.clear();
        run.commands.make_photo_diary();
        QCOMPARE(run.ui.events, QStringList({kNeed, "focus"}));
    }
};

QTEST_GUILESS_MAIN(TestOverviewCommands)
#include "test_overview_commands.moc"
