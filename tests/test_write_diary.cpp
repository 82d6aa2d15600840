#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "album.h"
#include "app/command_line.h"
#include "app/without_window.h"
#include "comments/sqlite_comment_store.h"
#include "photo_diary/diary_csv.h"

using namespace fotavi;

namespace {

// Comments as people type them: line breaks, quotes, commas, emoji (one
// joined of several code points, one with a skin tone).
const QStringList kComments{
    QStringLiteral("朝日 🌅 を見た"),
    QStringLiteral("一行目\n二行目, \"引用\""),
    QStringLiteral("家族で👨‍👩‍👧 散歩👍🏽"),
};

// An album of count pictures over three days, the first kComments.size() of
// them commented in the store; its store and state folders beside it.
struct Trip {
    Album album;
    QTemporaryDir state, cache;

    explicit Trip(int count = 3, bool all_commented = false) {
        for (int i = 0; i < count; ++i)
            album.add(QStringLiteral("DSC%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0')),
                      at(2024, 5, 3 + i * 3 / count, 8 + i % 10, i % 60), QSize(320, 240));
        SqliteCommentStore store(state.path(), [](const QString&) { return std::nullopt; });
        const std::vector<ListedFile> files = list_pictures(album.path()).files;
        store.load(album.path(), files).get();
        std::vector<CommentChange> changes;
        for (const ListedFile& file : files) {
            const int n = file.name.mid(3, 4).toInt() - 1;
            if (n < kComments.size() || all_commented)
                changes.push_back(
                    {file.name,
                     file.size,
                     file.mtime_ns,
                     n < kComments.size() ? kComments[n] : QStringLiteral("港を歩いた %1").arg(n),
                     {},
                     {}});
        }
        store.save(album.path(), changes);
        store.keep_diary_title(album.path(), QStringLiteral("函館 🌊 旅行"));
        store.wait_idle();
    }
    // Runs the command line; the exit status, what it printed and its complaints.
    int run(const QStringList& arguments, QString* out = nullptr, QString* err = nullptr) const {
        QString printed, complained;
        QTextStream to_out(&printed), to_err(&complained);
        const int status =
            run_without_window(read_command_line(arguments), album.path(), state.path(),
                               {cache.path(), state.path()}, to_out, to_err);
        if (out) *out = printed;
        if (err) *err = complained;
        return status;
    }
};

QString output_of(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

}  // namespace

class TestWriteDiary : public QObject {
    Q_OBJECT
private slots:
    // A field is quoted only when it must be; quotes doubled, line breaks kept as LF.
    void csv_fields_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "港 🌅"
                               << "港 🌅";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("a comma") << "a,b"
                                 << "\"a,b\"";
        QTest::newRow("quotes doubled") << "say \"hi\""
                                        << "\"say \"\"hi\"\"\"";
        QTest::newRow("CR LF kept as LF") << "one\r\ntwo\rthree"
                                          << "\"one\ntwo\nthree\"";
    }
    void csv_fields() {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(csv_field(text), field);
    }

    // The command line: what it prints and its exit status.
    void command_line_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed");  // a piece of standard output, or of standard error
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--write-diary";
        QTest::newRow("version") << QStringList{"-v"} << 0 << "fotavi 1.21";
        QTest::newRow("the diary") << QStringList{"--write-diary", "."} << 0 << "photo_diary.csv";
        QTest::newRow("a picture names its folder")
            << QStringList{"--write-diary", "DSC0001.JPG", "--format", "csv"} << 0
            << "photo_diary.csv";
        QTest::newRow("no folder") << QStringList{"--write-diary"} << 2 << "--write-diary";
        QTest::newRow("unknown option")
            << QStringList{"--write-diary", ".", "--colour"} << 2 << "--colour";
        QTest::newRow("unknown form")
            << QStringList{"--write-diary", ".", "--format", "doc"} << 2 << "doc";
        QTest::newRow("no form") << QStringList{"--write-diary", ".", "--format", ","} << 2
                                 << "--format";
        QTest::newRow("unknown layout")
            << QStringList{"--write-diary", ".", "--layout", "wide"} << 2 << "contact-sheet";
        QTest::newRow("not a folder")
            << QStringList{"--write-diary", "notes.txt"} << 1 << "notes.txt";
        QTest::newRow("missing folder") << QStringList{"--write-diary", "gone/"} << 1 << "gone";
    }
    void command_line() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, printed);
        Trip trip;
        QString out, err;
        QCOMPARE(trip.run(arguments, &out, &err), status);
        QVERIFY2((status == 0 ? out : err).contains(printed), qPrintable(out + err));
        QCOMPARE(err.isEmpty(), status == 0);
        QVERIFY(err.count(u'\n') <= 1);
    }

    // Written without a window: every comment comes back from the PDF's text
    // and from the table, exactly; the store is left as it was.
    void forms_read_back() {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (pdftotext.isEmpty() || python.isEmpty()) QSKIP("pdftotext or python3 is missing");
        Trip trip;
        const QByteArray store = read_all(trip.album.file(kStoreName));
        QCOMPARE(trip.run({"--write-diary", trip.album.path(), "--layout", "two-columns"}), 0);
        QCOMPARE(read_all(trip.album.file(kStoreName)), store);
        const QString text =
            output_of(pdftotext, {"-enc", "UTF-8", trip.album.file(kDiaryPdfName), "-"});
        QVERIFY2(text.startsWith(QStringLiteral("函館 🌊 旅行")), qPrintable(text));
        // pdftotext puts spaces where the font changes, and leaves out the
        // zero-width joiner, which the PDF carries as the text of an empty
        // span: the joined emoji come back side by side.
        const QRegularExpression space(QStringLiteral("\\s"));
        const QString bare = QString(text).remove(space);
        for (QString comment : kComments)
            for (QString line : comment.remove(QChar(0x200D)).split(u'\n'))
                QVERIFY2(bare.contains(line.remove(space)), qPrintable(line + " not in " + text));
        const QString rows =
            output_of(python, {"-c",
                               "import csv, sys, json; f = open(sys.argv[1], encoding='utf-8-sig', "
                               "newline=''); print(json.dumps([r[3] for r in csv.reader(f)]))",
                               trip.album.file(kDiaryCsvName)});
        QCOMPARE(rows.trimmed(),
                 QString::fromUtf8(R"(["\u30b3\u30e1\u30f3\u30c8", )") +
                     QStringLiteral("\"%1\", \"%2\", \"%3\"]")
                         .arg("\\u671d\\u65e5 \\ud83c\\udf05 \\u3092\\u898b\\u305f",
                              "\\u4e00\\u884c\\u76ee\\n\\u4e8c\\u884c\\u76ee, "
                              "\\\"\\u5f15\\u7528\\\"",
                              "\\u5bb6\\u65cf\\u3067\\ud83d\\udc68\\u200d\\ud83d\\udc69\\u200d"
                              "\\ud83d\\udc67 \\u6563\\u6b69\\ud83d\\udc4d\\ud83c\\udffd"));
    }

    // 55 pictures: two columns take at most half the pages, a contact sheet
    // at most a third; a day going on over a page has its heading again.
    void layout_pages_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("share");  // of the standard layout's pages, at most 1/share
        QTest::newRow("two columns") << "two-columns" << 2;
        QTest::newRow("contact sheet") << "contact-sheet" << 3;
    }
    void layout_pages() {
        QFETCH(QString, layout);
        QFETCH(int, share);
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty()) QSKIP("pdftotext is missing");
        Trip trip(55, true);
        auto pages = [&](const QString& name) {
            trip.run({"--write-diary", ".", "--format", "pdf", "--layout", name});
            const QByteArray pdf = read_all(trip.album.file(kDiaryPdfName));
            return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page "));
        };
        const int standard = pages("standard");
        const int dense = pages(layout);
        QVERIFY2(standard >= 12 && dense * share <= standard,
                 qPrintable(QStringLiteral("%1 pages against %2").arg(dense).arg(standard)));
        const QString text =
            output_of(pdftotext, {"-enc", "UTF-8", trip.album.file(kDiaryPdfName), "-"});
        QVERIFY2(text.contains(QStringLiteral("2024年5月3日(金)（つづき）")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestWriteDiary)
#include "test_write_diary.moc"
