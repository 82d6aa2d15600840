#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>

#include "app/reasons.h"
#include "platform/picture.h"

using namespace fotavi;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(fotavi::Failure)
Q_DECLARE_METATYPE(fotavi::SmallFile)

namespace {

SmallFile unread(int error, unsigned kind, bool through_link = false, qint64 size = 0) {
    SmallFile file;
    file.error = error;
    file.kind = kind;
    file.through_link = through_link;
    file.size = size;
    return file;
}

}  // namespace

// The reasons the person reads, made from the plain values the rooms below
// give back; the rows are the ones no behaviour test reaches.
class TestReasons : public QObject {
    Q_OBJECT
private slots:
    void failure_sentences_data() {
        using Kind = Failure::Kind;
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("none") << Failure() << QString();
        QTest::newRow("errno without a text of its own")
            << Failure(Kind::System, 1234) << u"システムエラー (errno 1234)"_s;
        QTest::newRow("errno 0") << Failure(Kind::System, 0) << u"原因不明のエラー"_s;
        QTest::newRow("read failed, no errno")
            << Failure(Kind::Unreadable) << u"ファイルを読めません"_s;
        QTest::newRow("read failed") << Failure(Kind::Unreadable, EIO)
                                     << u"ファイルを読めません（入出力エラーが起きました）"_s;
        QTest::newRow("special file")
            << Failure(Kind::SpecialFile) << u"画像ファイルではありません（特殊なファイルです）"_s;
        QTest::newRow("GIF named .jpg") << Failure::not_of_kind(Kind::NotJpeg, u"GIF"_s)
                                        << u"GIF 画像で、JPEG 画像ではありません"_s;
        QTest::newRow("no HEIF") << Failure(Kind::NotHeif) << u"HEIF 画像ではありません"_s;
        QTest::newRow("WebP named .heic") << Failure::not_of_kind(Kind::NotHeif, u"WebP"_s)
                                          << u"WebP 画像で、HEIF 画像ではありません"_s;
        QTest::newRow("lossless") << Failure(Kind::LosslessJpeg)
                                  << u"可逆圧縮の JPEG には対応していません"_s;
        QTest::newRow("hierarchical")
            << Failure(Kind::HierarchicalJpeg) << u"階層符号化の JPEG には対応していません"_s;
        QTest::newRow("HEIF coding")
            << Failure(Kind::HeifUnsupported) << u"この HEIF 画像の形式には対応していません"_s;
        QTest::newRow("memory") << Failure(Kind::OutOfMemory) << u"メモリが足りません"_s;
        QTest::newRow("unexpected")
            << Failure(Kind::Unexpected) << u"画像を読み込めません（予期しないエラー）"_s;
    }
    void failure_sentences() {
        QFETCH(Failure, failure);
        QFETCH(QString, sentence);
        QCOMPARE(failure_text(failure), sentence);
    }

    void small_file_sentences_data() {
        QTest::addColumn<SmallFile>("file");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("a link, not followed")
            << unread(EINVAL, S_IFLNK) << u"シンボリックリンクです"_s;
        QTest::newRow("a socket") << unread(EINVAL, S_IFSOCK)
                                  << u"ソケットで、普通のファイルではありません"_s;
        QTest::newRow("a link to a folder")
            << unread(EINVAL, S_IFDIR, true)
            << u"シンボリックリンクの先がファイルではなくフォルダです"_s;
        QTest::newRow("a link to a large file")
            << unread(EFBIG, S_IFREG, true, 9000)
            << u"シンボリックリンクの先がファイルが大きすぎます（9000 バイト。100 バイトまでしか読みません）"_s;
        QTest::newRow("refused by the system")
            << unread(EACCES, 0) << u"アクセスが許可されていません"_s;
    }
    void small_file_sentences() {
        QFETCH(SmallFile, file);
        QFETCH(QString, sentence);
        QCOMPARE(small_file_reason(file, 100), sentence);
    }

    void malformed_settings_are_named() {
        ConfigRead read;
        read.malformed = true;
        QCOMPARE(
            config_problem_text(u"/x"_s, read),
            u"def_list.txt の内容が想定と異なっていたため、読み取れなかった設定には既定の値を使います。"_s);
        QCOMPARE(config_problem_text(u"/x"_s, ConfigRead()), QString());
    }

    // A file that is no picture is refused by the kind its name promises.
    void refused_by_the_kind_its_name_promises_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("text named .jpg")
            << "a.jpg" << QByteArray("text") << u"JPEG 画像ではありません"_s;
        QTest::newRow("text named .HEIF")
            << "a.HEIF" << QByteArray("text") << u"HEIF 画像ではありません"_s;
        QTest::newRow("GIF named .heic")
            << "a.heic" << QByteArray("GIF89a....") << u"GIF 画像で、HEIF 画像ではありません"_s;
        QTest::newRow("GIF named .JPG")
            << "a.JPG" << QByteArray("GIF89a....") << u"GIF 画像で、JPEG 画像ではありません"_s;
    }
    void refused_by_the_kind_its_name_promises() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, sentence);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const Picture picture = load_picture(file.fileName(), QSize(160, 120));
        QVERIFY(picture.image.isNull());
        QCOMPARE(failure_text(picture.problem), sentence);
    }
};

QTEST_GUILESS_MAIN(TestReasons)
#include "test_reasons.moc"
