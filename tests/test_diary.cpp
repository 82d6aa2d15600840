#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "album.h"
#include "app/messages.h"
#include "app/reasons.h"
#include "photo_diary/diary.h"
#include "photo_diary/diary_html.h"
#include "photo_diary/diary_pdf.h"
#include "photo_diary/page_layout.h"

using namespace fotavi;
using namespace Qt::StringLiterals;

namespace {

const QString kSunday = QStringLiteral("2001年9月2日(日)");
const QString kMonday = QStringLiteral("2001年9月3日(月)");

// Comments as people type them, markup and all.
const QStringList kComments{
    QStringLiteral("駅で<script>alert(\"x\")</script>待ち合わせ"),
    QStringLiteral("田んぼ & 畑 </TD><TR> 'ok'"),
    QStringLiteral("一行目\n二行目\r\n三行目"),
    QStringLiteral("月曜日の朝、日の出を見た"),
};

// An album of four pictures over two days (the third one cut short) and its diary entries.
struct Outing {
    Album album;
    QTemporaryDir cache;
    std::vector<DiaryEntry> entries;

    Outing() {
        const QStringList times{"05:10", "12:15", "18:40", "08:30"};
        for (int i = 0; i < 4; ++i) {
            const QString name = QStringLiteral("DSC000%1.JPG").arg(i + 1);
            if (i == 2)
                album.add_bytes(name, jpeg_bytes(QSize(64, 48)).left(100), at(2001, 9, 2, 18, 40));
            else
                album.add(name, at(2001, 9, 2 + i / 3, 5, 10), QSize(1200, 800), Qt::darkGreen);
            entries.push_back(
                {album.file(name), i < 3 ? kSunday : kMonday, times[i], kComments[i]});
        }
    }
    DiaryRequest request() const {
        DiaryRequest r;
        r.folder = album.path();
        r.title = QStringLiteral("秋の<遠足>");
        r.entries = entries;
        r.thumbnail_root = cache.path();
        r.reason = diary_picture_reason;
        return r;
    }
    DiaryPictures pictures() const {
        QStringList paths;
        for (const DiaryEntry& e : entries) paths << e.picture_path;
        return diary_pictures(paths, {cache.path(), 2, load_picture});
    }
};

// "T30 H20 E50 E150/60,90 E50^10": T a title and H a heading (kept with what
// follows), E an entry; the height; after "^" its carry; after "/" its breaks.
std::vector<LayoutBlock> blocks_of(const QString& spec) {
    std::vector<LayoutBlock> blocks;
    for (const QString& word : spec.split(u' ', Qt::SkipEmptyParts)) {
        LayoutBlock block;
        block.keep_with_next = word[0] != u'E';
        const QStringList parts = word.mid(1).split(u'/');
        block.height = parts[0].section(u'^', 0, 0).toDouble();
        block.carry = parts[0].section(u'^', 1, 1).toDouble();
        if (parts.size() > 1)
            for (const QString& at : parts[1].split(u',')) block.breaks.push_back(at.toDouble());
        blocks.push_back(block);
    }
    return blocks;
}

// Each placement as "page", or "page:from-to" for a piece of a block; "^"
// after it when it sits below its carry.
QString placements_of(const std::vector<LayoutBlock>& blocks, double page_height) {
    QStringList out;
    for (const BlockPlacement& p : lay_out_pages(blocks, page_height)) {
        const bool whole = p.from == 0 && p.to == blocks[size_t(p.block)].height;
        out << (whole ? QString::number(p.page)
                      : QStringLiteral("%1:%2-%3").arg(p.page).arg(p.from).arg(p.to)) +
                   (p.carried ? u"^"_s : QString());
    }
    return out.join(u' ');
}

// Whether every needle is found in text, each after the one before.
bool in_order(const QString& text, const QStringList& needles) {
    qsizetype from = 0;
    for (const QString& needle : needles) {
        from = text.indexOf(needle, from);
        if (from < 0) {
            qWarning() << "not found in order:" << needle;
            return false;
        }
        from += needle.size();
    }
    return true;
}

QString without_spaces(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

}  // namespace

class TestDiary : public QObject {
    Q_OBJECT
private slots:
    void escaping_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("script") << "<script>alert(1)</script>"
                                << "&lt;script&gt;alert(1)&lt;/script&gt;";
        QTest::newRow("table markup") << "</TD></TR>"
                                      << "&lt;/TD&gt;&lt;/TR&gt;";
        QTest::newRow("ampersand and quotes") << "a & b \"c\" 'd'"
                                              << "a &amp; b &quot;c&quot; &#39;d&#39;";
        QTest::newRow("entity stays as typed") << "&lt;"
                                               << "&amp;lt;";
        QTest::newRow("every line break as LF") << "一\r\n二\r三\n四"
                                                << "一\n二\n三\n四";
        QTest::newRow("only line breaks") << "\n\n"
                                          << "\n\n";
        QTest::newRow("controls") << QStringLiteral("a") + QChar(0) + "b\x07" + "c\td"
                                  << "a\uFFFDb\uFFFDc\td";
        QTest::newRow("outside code page 932 kept") << "𠮷野家 ① ™"
                                                    << "𠮷野家 ① ™";
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "x"
                                        << "\uFFFDx";
    }
    void escaping() {
        QFETCH(QString, typed);
        QFETCH(QString, escaped);
        QCOMPARE(html_escape(typed), escaped);
    }

    // The page: title, days and entries in order, comments escaped with their
    // line breaks, pictures embedded upright, a placeholder with the reason.
    void html_page() {
        Outing outing;
        DiaryPictures pictures = outing.pictures();
        const QString decoder_reason = failure_text(pictures.shape(2).failure);
        QVERIFY(!decoder_reason.isEmpty());
        // The reason shown is the one the writer was given for the picture.
        pictures.explain([](const DiaryPicture& p) { return u"（"_s + failure_text(p.failure) + u"）"_s; });
        QByteArray bytes;
        write_diary_html([&](QByteArrayView piece) { return bytes += piece, true; },
                         outing.request().title, outing.entries, pictures);
        const QString html = QString::fromUtf8(bytes);
        QVERIFY(!html.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
        QVERIFY(html.contains(QStringLiteral("Content-Security-Policy")));
        QVERIFY(html.contains(QStringLiteral("<title>秋の&lt;遠足&gt;</title>")));
        QStringList order{"<h2>" + kSunday + "</h2>"};
        for (int i = 0; i < 4; ++i) {
            if (i == 3) order << "<h2>" + kMonday + "</h2>";
            order << "<p class=\"comment\">" + html_escape(kComments[i]) + "</p>";
        }
        QVERIFY(in_order(html, order));
        QVERIFY(html.contains(QStringLiteral("一行目\n二行目\n三行目")));
        QCOMPARE(html.count(QStringLiteral("data:image/jpeg;base64,")), 3);
        QVERIFY(html.contains(u"表示できません<br>（"_s + html_escape(decoder_reason) + u"）"_s));
        // A4 print rules: entries whole, headings with what follows.
        QVERIFY(html.contains(QStringLiteral("break-inside: avoid")));
        QVERIFY(html.contains(QStringLiteral("break-after: avoid")));
        const QRegularExpression data(QStringLiteral("base64,([A-Za-z0-9+/=]+)\""));
        const QImage first = QImage::fromData(
            QByteArray::fromBase64(data.match(html).captured(1).toLatin1()), "JPG");
        QCOMPARE(first.width(), 480);
        QVERIFY(qAbs(first.height() - 320) <= 1);
    }

    // Page breaks: entries whole, headings with their first entry, long ones cut at a line.
    void page_breaks_data() {
        QTest::addColumn<QString>("blocks");
        QTest::addColumn<QString>("pages");
        QTest::newRow("all on one page") << "H20 E30 E30"
                                         << "0 0 0";
        QTest::newRow("an entry that does not fit starts the next page") << "H20 E50 E50"
                                                                         << "0 0 1";
        QTest::newRow("exactly a page") << "E100 E1"
                                        << "0 1";
        QTest::newRow("a heading never alone at the foot") << "H20 E40 E30 H20 E30"
                                                           << "0 0 0 1 1";
        QTest::newRow("a heading moves with its entry") << "E60 H20 E30"
                                                        << "0 1 1";
        QTest::newRow("title and heading fit with the entry") << "T30 H20 E40 E40"
                                                              << "0 0 0 1";
        QTest::newRow("taller than a page: cut at its lines") << "E30 E150/60,90,120"
                                                              << "0 0:0-60 1:60-150";
        QTest::newRow("a heading stays with a long entry's first piece") << "E50 H20 E150/60,90,120"
                                                                         << "0 1 1:0-60 2:60-150";
        QTest::newRow("no line fits: cut at the foot") << "E250"
                                                       << "0:0-100 1:100-200 2:200-250";
        QTest::newRow("a day going on: room for its heading again") << "H20 E50^10 E50^10 E50^10"
                                                                    << "0 0 1^ 2^";
        QTest::newRow("a long entry's next piece below the heading") << "E30^10 E150^10/60,90,120"
                                                                     << "0 0:0-60 1:60-150^";
        QTest::newRow("a new day's heading: not again") << "E60 H20 E30^10"
                                                        << "0 1 1";
    }
    void page_breaks() {
        QFETCH(QString, blocks);
        QFETCH(QString, pages);
        QCOMPARE(placements_of(blocks_of(blocks), 100), pages);
    }

    // The PDF reads back as typed, in order, with the font embedded as a subset.
    void pdf_reads_back() {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
        if (pdftotext.isEmpty() || pdffonts.isEmpty()) QSKIP("pdftotext or pdffonts is missing");
        Outing outing;
        DiaryRequest request = outing.request();
        request.entries.push_back({outing.album.file("DSC0004.JPG"), kMonday, "09:00",
                                   QString(3000, QChar(u'長')) + "終わり"});
        request.html = false;
        const DiaryWrite written = write_photo_diary(request);
        QVERIFY2(written.ok(), qPrintable(written.problem.path));
        QCOMPARE(written.unreadable, 1);
        const QString pdf = outing.album.file(QLatin1String(kDiaryPdfName));
        QProcess text;
        text.start(pdftotext, {"-enc", "UTF-8", pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString read = without_spaces(QString::fromUtf8(text.readAllStandardOutput()));
        QStringList order{without_spaces(request.title), kSunday};
        for (int i = 0; i < 4; ++i) {
            if (i == 3) order << kMonday;
            order << without_spaces(kComments[i]);
        }
        // The long comment runs over a page: a page number comes between its lines.
        order << "長長長長終わり";
        QVERIFY(in_order(read, order));
        // Page numbers "n / pages" at each page's foot, the last one last.
        const QRegularExpressionMatch last =
            QRegularExpression(QStringLiteral("(\\d+)/(\\d+)$")).match(read);
        QVERIFY2(
            last.hasMatch() && last.captured(1) == last.captured(2) && last.captured(1).toInt() > 2,
            qPrintable(read.right(20)));
        QCOMPARE(read.count(QChar(u'長')), 3000);
        QVERIFY(read.contains(QStringLiteral("表示できません")));
        QProcess fonts;
        fonts.start(pdffonts, {pdf});
        QVERIFY(fonts.waitForFinished(30000));
        const QString table = QString::fromUtf8(fonts.readAllStandardOutput());
        QVERIFY2(QRegularExpression(QStringLiteral("\\+NotoSansCJKjp-Regular .* yes yes yes"))
                     .match(table)
                     .hasMatch(),
                 qPrintable(table));
    }

    // Both files or none; never through a link or over a folder.
    void writing_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("written");
        QTest::newRow("written") << "" << false << true;
        QTest::newRow("a link in the page's place") << "link" << false << false;
        QTest::newRow("a folder in the PDF's place") << "folder" << false << false;
        QTest::newRow("cancelled") << "" << true << false;
    }
    void writing() {
        QFETCH(QString, obstacle);
        QFETCH(bool, cancel);
        QFETCH(bool, written);
        Outing outing;
        const QString html = outing.album.file(QLatin1String(kDiaryHtmlName));
        const QString pdf = outing.album.file(QLatin1String(kDiaryPdfName));
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath("target");
        if (obstacle == "link") QVERIFY(QFile::link(target, html));
        if (obstacle == "folder") QVERIFY(QDir().mkdir(pdf));
        int last = 0, total = 0;
        const DiaryWrite result = write_photo_diary(outing.request(), [&](int done, int all) {
            if (done < last) qWarning() << "progress went back";
            last = done;
            total = all;
            return !cancel || done < 2;
        });
        QCOMPARE(result.ok(), written);
        QCOMPARE(result.cancelled, cancel);
        QCOMPARE(result.problem.ok(), written || cancel);
        QCOMPARE(QFileInfo(html).isFile() && !QFileInfo(html).isSymLink(), written);
        QCOMPARE(QFileInfo(pdf).isFile(), written);
        QVERIFY(!QFileInfo::exists(target));
        // Nothing left beside them: no part of a diary, none of the pictures' data.
        QStringList expected{"DSC0001.JPG", "DSC0002.JPG", "DSC0003.JPG", "DSC0004.JPG"};
        if (written || obstacle == "link") expected << kDiaryHtmlName;
        if (written || obstacle == "folder") expected << kDiaryPdfName;
        expected.sort();
        QCOMPARE(QDir(outing.album.path()).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::NoDotAndDotDot | QDir::System),
                 expected);
        if (written) {
            QCOMPARE(last, total);
            QCOMPARE(result.written, QStringList({html, pdf}));
            QVERIFY(QDir(outing.cache.path() + "/x-large").count() > 2);  // kept for next time
        }
        if (!obstacle.isEmpty()) {
            QCOMPARE(result.problem.kind,
                     obstacle == "link" ? WriteProblem::Kind::Link : WriteProblem::Kind::System);
            QVERIFY2(result.problem.path.endsWith(
                         QLatin1String(obstacle == "link" ? kDiaryHtmlName : kDiaryPdfName)),
                     qPrintable(result.problem.path));
        }
    }

    // A disk that fills up at some stage of the writing: said as the system's
    // reason, the old diary as it was, nothing left on the disk (before any
    // file was put in place, all were whole on the disk).
    void full_disk_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("named");  // the file the reason names
        QTest::newRow("12 KB: the pictures' data and the page") << "12k" << kDiaryHtmlName;
        QTest::newRow("40 KB: the PDF") << "40k" << kDiaryPdfName;
        QTest::newRow("96 KB: the PDF's last pages") << "96k" << kDiaryPdfName;
    }
    void full_disk() {
        QFETCH(QString, size);
        QFETCH(QString, named);
        Outing outing;
        QTemporaryDir disk;
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", disk.path()}) != 0)
            QSKIP("cannot mount a small tmpfs here");
        auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk.path()}); });
        const QString html = QDir(disk.path()).filePath(kDiaryHtmlName);
        QFile old(html);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        DiaryRequest request = outing.request();
        request.folder = disk.path();
        const DiaryWrite result = write_photo_diary(request);
        QCOMPARE(result.problem.kind, WriteProblem::Kind::System);
        QCOMPARE(result.problem.path, QDir(disk.path()).filePath(named));
        QCOMPARE(result.problem.error, ENOSPC);
        QVERIFY(result.written.isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        QCOMPARE(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{kDiaryHtmlName});
    }
};

QTEST_GUILESS_MAIN(TestDiary)
#include "test_diary.moc"
