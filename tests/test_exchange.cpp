#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

#include "album.h"
#include "exchange/captions.h"
#include "exchange/export_pictures.h"

using namespace fotavi;

namespace {

// Runs a tool; its standard output, or nothing when it failed.
std::optional<QByteArray> tool_output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return std::nullopt;
    return process.readAllStandardOutput();
}

bool have(const char* tool) {
    return !QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty();
}

// The four places as exiftool reads them, by its tag names.
QJsonObject exiftool_tags(const QString& path) {
    const auto out =
        tool_output(QStringLiteral("exiftool"),
                    {"-j", "-b", "-XMP-dc:Description", "-IPTC:Caption-Abstract",
                     "-EXIF:ImageDescription", "-EXIF:XPComment", "-IPTC:CodedCharacterSet", path});
    return out ? QJsonDocument::fromJson(*out).array().at(0).toObject() : QJsonObject();
}

// exiftool's text of a tag: its JSON string, or the "base64:" bytes it gives
// for XPComment beyond the first plane, where it writes each UTF-16 half on
// its own (three bytes each); decoded unit by unit.
QString exiftool_text(const QJsonValue& value) {
    QString text = value.toString();
    if (!text.startsWith(QLatin1String("base64:"))) return text;
    const QByteArray bytes = QByteArray::fromBase64(text.mid(7).toLatin1());
    text.clear();
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes[i]);
        if (lead < 0x80) {
            text.append(QChar(lead));
            i += 1;
        } else if (lead < 0xE0 && i + 1 < bytes.size()) {
            text.append(QChar(char16_t(((lead & 0x1F) << 6) | (uchar(bytes[i + 1]) & 0x3F))));
            i += 2;
        } else if (i + 2 < bytes.size()) {
            text.append(QChar(char16_t(((lead & 0x0F) << 12) | ((uchar(bytes[i + 1]) & 0x3F) << 6) |
                                       (uchar(bytes[i + 2]) & 0x3F))));
            i += 3;
        } else {
            break;
        }
    }
    return text;
}

// One value as the exiv2 tool prints it, without its line end.
QString exiv2_value(const QString& path, const QString& key) {
    const auto out = tool_output(QStringLiteral("exiv2"), {"-q", "-K", key, "-Pv", path});
    QString text = out ? QString::fromUtf8(*out) : QString();
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text;
}

// The exiv2 tool prints XPComment's bytes as numbers (its UCS-2 conversion
// stops at emoji): the UTF-16 text they hold, without the ending zero.
QString utf16_of_numbers(const QString& numbers) {
    QString text;
    const QStringList bytes = numbers.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(bytes[i].toUInt() | (bytes[i + 1].toUInt() << 8))));
    if (text.endsWith(QChar(0))) text.chop(1);
    return text;
}

QByteArray pixels(const QString& path) {
    return tool_output(QStringLiteral("djpeg"), {"-ppm", path}).value_or("<failed>");
}

qint64 mtime_ns(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

const QString kJapanese = QStringLiteral("朝の市場で🍎と🐟を買った\n二行目: 「ありがとう」\n");

}  // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void export_carries_each_comment_data();
    void export_carries_each_comment();
    void export_never_overwrites_data();
    void export_never_overwrites();
    void export_stops_when_cancelled();
    void export_without_metadata_room_adds_sidecar_data();
    void export_without_metadata_room_adds_sidecar();
    void sidecar_keeps_other_properties();
    void planted_metadata_changes_nothing_else_data();
    void planted_metadata_changes_nothing_else();
    void caption_reconciled_data();
    void caption_reconciled();
    void captions_written_elsewhere_read_data();
    void captions_written_elsewhere_read();
};

void TestExchange::export_carries_each_comment_data() {
    QTest::addColumn<QString>("comment");
    QTest::addColumn<bool>("camera_exif");
    QTest::newRow("Japanese, emoji and line breaks") << kJapanese << false;
    QTest::newRow("over a camera's EXIF block") << kJapanese << true;
    QTest::newRow("plain") << QStringLiteral("Lunch at the harbour") << false;
    QTest::newRow("one character") << QStringLiteral("海") << true;
}

// What other programs read back is exactly what was typed, and only the
// metadata changed: the pixels and the file time are the picture's own.
void TestExchange::export_carries_each_comment() {
    QFETCH(QString, comment);
    QFETCH(bool, camera_exif);
    if (!have("exiftool") || !have("exiv2") || !have("djpeg"))
        QSKIP("exiftool, exiv2 and djpeg read the copies back");
    Album album;
    QTemporaryDir destination;
    const QString name = QStringLiteral("DSC0001.JPG");
    if (camera_exif)
        album.add_exif(name, at(2001, 9, 2, 5, 10, 13), {"2001:09:02 05:10:13", {}, {}, {}, {}});
    else
        album.add(name, at(2001, 9, 2, 5, 10, 13), QSize(320, 240), Qt::darkRed);

    const ExportReport report =
        export_pictures({album.path(), destination.path(), {{name, comment}}}, {});
    QVERIFY(report.ok());
    QCOMPARE(report.written, 1);
    const QString copy = destination.filePath(name);

    const QJsonObject tags = exiftool_tags(copy);
    for (const char* tag : {"Description", "Caption-Abstract", "ImageDescription", "XPComment"})
        QCOMPARE(exiftool_text(tags.value(QLatin1String(tag))), comment);
    QCOMPARE(tags.value(QLatin1String("CodedCharacterSet")).toString(), QStringLiteral("UTF8"));
    QCOMPARE(exiv2_value(copy, QStringLiteral("Iptc.Application2.Caption")), comment);
    QCOMPARE(exiv2_value(copy, QStringLiteral("Exif.Image.ImageDescription")), comment);
    QCOMPARE(utf16_of_numbers(exiv2_value(copy, QStringLiteral("Exif.Image.XPComment"))), comment);
    QCOMPARE(exiv2_value(copy, QStringLiteral("Xmp.dc.description")),
             QStringLiteral("lang=\"x-default\" ") + comment);

    QCOMPARE(pixels(copy), pixels(album.file(name)));
    QCOMPARE(mtime_ns(copy), mtime_ns(album.file(name)));
    if (camera_exif) QCOMPARE(read_captions(read_all(copy)).exif_description, comment);
    QCOMPARE(
        QDir(destination.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{name});  // no temporary file left behind
}

void TestExchange::export_never_overwrites_data() {
    QTest::addColumn<QString>("in_the_way");  // what the destination holds under the name
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("existing");
    QTest::addColumn<bool>("failed");
    QTest::newRow("free name") << "" << false << 2 << 0 << false;
    QTest::newRow("a file, not replaced") << "file" << false << 1 << 1 << false;
    QTest::newRow("a file, replaced when agreed") << "file" << true << 2 << 0 << false;
    QTest::newRow("a link, never written through") << "link" << true << 1 << 0 << true;
    QTest::newRow("the pictures' own folder") << "same" << true << 0 << 0 << false;
}

// A copy never lands on a file the person did not agree to lose, nor
// through a link; an uncommented picture is copied byte for byte.
void TestExchange::export_never_overwrites() {
    QFETCH(QString, in_the_way);
    QFETCH(bool, replace);
    QFETCH(int, written);
    QFETCH(int, existing);
    QFETCH(bool, failed);
    Album album;
    QTemporaryDir destination;
    QTemporaryDir elsewhere;
    album.add(QStringLiteral("a.jpg"), at(2001, 9, 2, 5, 10));
    album.add(QStringLiteral("b.jpg"), at(2001, 9, 2, 6, 10));
    const QString target = destination.filePath(QStringLiteral("a.jpg"));
    const QString outside = elsewhere.filePath(QStringLiteral("kept"));
    QVERIFY(put_file(outside, "kept"));
    if (in_the_way == QLatin1String("file")) QVERIFY(put_file(target, "kept"));
    if (in_the_way == QLatin1String("link")) QVERIFY(QFile::link(outside, target));
    const QString to = in_the_way == QLatin1String("same") ? album.path() : destination.path();

    std::vector<int> steps;
    const ExportReport report =
        export_pictures({album.path(), to, {{"a.jpg", kJapanese}, {"b.jpg", QString()}}, replace},
                        [&](int done, int) {
                            steps.push_back(done);
                            return true;
                        });
    QCOMPARE(report.written, written);
    QCOMPARE(report.existing.size(), existing);
    QCOMPARE(!report.failures.empty(), failed);
    QCOMPARE(report.same_folder, in_the_way == QLatin1String("same"));
    QCOMPARE(read_all(outside), QByteArray("kept"));
    if (in_the_way == QLatin1String("same")) return;
    QCOMPARE(steps, (std::vector<int>{0, 1, 2}));
    QCOMPARE(read_all(destination.filePath("b.jpg")), read_all(album.file("b.jpg")));
    if (!replace) QCOMPARE(read_all(target) == "kept", in_the_way == QLatin1String("file"));
    if (replace && !failed) QCOMPARE(read_captions(read_all(target)).iptc_caption, kJapanese);
}

// A cancel between pictures keeps the whole copies made and makes no more.
void TestExchange::export_stops_when_cancelled() {
    Album album;
    QTemporaryDir destination;
    album.add(QStringLiteral("a.jpg"), at(2001, 9, 2, 5, 10));
    album.add(QStringLiteral("b.jpg"), at(2001, 9, 2, 6, 10));
    const ExportReport report =
        export_pictures({album.path(), destination.path(), {{"a.jpg", "x"}, {"b.jpg", "y"}}},
                        [](int done, int) { return done < 1; });
    QVERIFY(report.cancelled);
    QCOMPARE(report.written, 1);
    QCOMPARE(QDir(destination.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.jpg"});
}

void TestExchange::export_without_metadata_room_adds_sidecar_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("a kind exiv2 does not know (GIF)") << "a.gif";
    QTest::newRow("a kind exiv2 only reads (HEIC)") << "red.heic";
}

// A kind of picture exiv2 cannot write is copied as it is, its comment in a
// sidecar beside the copy.
void TestExchange::export_without_metadata_room_adds_sidecar() {
    QFETCH(QString, name);
    Album album;
    QTemporaryDir destination;
    QByteArray gif(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
        ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
        35);
    if (name.endsWith(".heic")) gif = read_all(QFINDTESTDATA("data/red.heic"));
    album.add_bytes(name, gif, at(2001, 9, 2, 5, 10));
    const ExportReport report =
        export_pictures({album.path(), destination.path(), {{name, kJapanese}}}, {});
    QVERIFY2(report.ok(),
             report.failures.empty() ? "existing" : qPrintable(report.failures[0].detail));
    QCOMPARE(report.with_sidecar, 1);
    QCOMPARE(read_all(destination.filePath(name)), gif);
    QCOMPARE(sidecar_description(read_all(destination.filePath(name + ".xmp"))), kJapanese);
}

// A sidecar another program wrote keeps its properties; exiftool reads the
// description; an emptied comment takes away only the description.
void TestExchange::sidecar_keeps_other_properties() {
    if (!have("exiftool")) QSKIP("exiftool writes and reads the sidecar");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.jpg.xmp"));
    QVERIFY(tool_output("exiftool", {"-q", "-o", path, "-XMP-xmp:Rating=4", "-XMP-dc:Subject=旅行",
                                     "-XMP-dc:Description=old"}));
    QString problem;
    const auto with = sidecar_with_description(read_all(path), kJapanese, &problem);
    QVERIFY2(with, qPrintable(problem));
    QVERIFY(put_file(path, *with));
    const auto read = [&] {
        const auto out = tool_output("exiftool", {"-j", "-b", "-XMP:all", path});
        return out ? QJsonDocument::fromJson(*out).array().at(0).toObject() : QJsonObject();
    };
    QCOMPARE(read().value("Description").toString(), kJapanese);
    QCOMPARE(read().value("Rating").toInt(), 4);
    QCOMPARE(read().value("Subject").toString(), QStringLiteral("旅行"));
    QCOMPARE(sidecar_description(*with), kJapanese);

    const auto without = sidecar_with_description(*with, QString(), &problem);
    QVERIFY(without);
    QVERIFY(put_file(path, *without));
    QVERIFY(!read().contains("Description"));
    QCOMPARE(read().value("Rating").toInt(), 4);
    QVERIFY(!sidecar_with_description("<not xmp", kJapanese, &problem));
}

// A file someone else made, read and written through exiv2: whatever its
// packet declares, the caller's bytes stay as they were, what comes back
// carries the caption where readers look, and captions written afterwards are
// byte for byte what they were before the file was seen.
void TestExchange::planted_metadata_changes_nothing_else_data() {
    QTest::addColumn<QByteArray>("planted");
    // Binds the prefixes dc and xmp to namespaces of its own.
    const QByteArray rebinding =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:dc='htM//purl.org/dc/elements/1.1\"'>"
        "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>old</rdf:li></rdf:Alt>"
        "</dc:description></rdf:Description>"
        "<rdf:Description rdf:about='' xmlns:xmp='http:/-ns.adobe.com/xap/1.0/'>"
        "<xmp:Rating>3</xmp:Rating></rdf:Description></rdf:RDF></x:xmpmeta>";
    QTest::newRow("sidecar rebinding dc and xmp") << rebinding;
    QTest::newRow("picture whose XMP rebinds dc and xmp")
        << jpeg_with(jpeg_segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) + rebinding));
    // A big-endian TIFF that exiv2 rewrites in the buffer it reads.
    QTest::newRow("TIFF rewritten in place") << QByteArray::fromHex(
        "4d4d002a0000002020206969707420786d6c6e01"
        "0060003d72616e736dd75d2d0080600000000069"
        "00b5000000000000000000006900b5e3ffd9");
}

void TestExchange::planted_metadata_changes_nothing_else() {
    QFETCH(const QByteArray, planted);
    const QString caption = QStringLiteral("夕焼け");
    const QByteArray plain = jpeg_with({});
    QString problem;
    const auto sidecar_before = sidecar_with_description({}, caption, &problem);
    const Embedded embedded_before = embed_caption(plain, caption);
    QVERIFY(sidecar_before && embedded_before.ok());

    const QByteArray planted_copy(planted.constData(), planted.size());
    (void)read_captions(planted);
    (void)sidecar_description(planted);
    const Embedded embedded = embed_caption(planted, caption);
    if (embedded.ok()) QCOMPARE(read_captions(embedded.bytes).xmp_description, caption);
    if (const auto sidecar = sidecar_with_description(planted, caption, &problem))
        QCOMPARE(sidecar_description(*sidecar), caption);
    QCOMPARE(planted, planted_copy);

    QCOMPARE(sidecar_with_description({}, caption, &problem), sidecar_before);
    QCOMPARE(embed_caption(plain, caption).bytes, embedded_before.bytes);
}

void TestExchange::caption_reconciled_data() {
    QTest::addColumn<QStringList>("found");  // EXIF, IPTC, XMP, UserComment, XPComment
    QTest::addColumn<QString>("sidecar");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("nothing") << QStringList{"", "", "", "", ""} << ""
                             << "";
    QTest::newRow("EXIF first") << QStringList{"e", "i", "x", "u", "w"} << "s"
                                << "e";
    QTest::newRow("camera text passed over")
        << QStringList{"OLYMPUS DIGITAL CAMERA", "i", "x", "", ""} << ""
        << "i";
    QTest::newRow("blank passed over") << QStringList{"   ", "", "x", "", ""} << ""
                                       << "x";
    QTest::newRow("sidecar before the picture's XMP") << QStringList{"", "", "x", "", ""} << "s"
                                                      << "s";
    QTest::newRow("UserComment") << QStringList{"SONY DSC", "", "", "u", "w"} << ""
                                 << "u";
    QTest::newRow("XPComment last") << QStringList{"", "", "", "  ", "w"} << ""
                                    << "w";
    QTest::newRow("CR LF as LF") << QStringList{"a\r\nb", "", "", "", ""} << ""
                                 << "a\nb";
}

void TestExchange::caption_reconciled() {
    QFETCH(QStringList, found);
    QFETCH(QString, sidecar);
    QFETCH(QString, chosen);
    const FoundCaptions captions{found[0], found[1], found[2], found[3], found[4]};
    QCOMPARE(chosen_caption(captions, sidecar), chosen);
}

void TestExchange::captions_written_elsewhere_read_data() {
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("caption");
    const QString no_emoji = QStringLiteral("朝の市場\n二行目");  // exiftool writes UCS-2 there
    QTest::newRow("XMP") << "-XMP-dc:Description" << kJapanese;
    QTest::newRow("IPTC") << "-IPTC:Caption-Abstract" << kJapanese;
    QTest::newRow("EXIF ImageDescription") << "-EXIF:ImageDescription" << kJapanese;
    QTest::newRow("EXIF UserComment") << "-EXIF:UserComment" << no_emoji;
    QTest::newRow("XPComment") << "-EXIF:XPComment" << no_emoji;
}

// A caption exiftool wrote in any of the places is found, exactly.
void TestExchange::captions_written_elsewhere_read() {
    QFETCH(QString, tag);
    QFETCH(QString, caption);
    if (!have("exiftool")) QSKIP("exiftool writes the captions");
    Album album;
    album.add(QStringLiteral("a.jpg"), at(2001, 9, 2, 5, 10));
    const QString path = album.file(QStringLiteral("a.jpg"));
    QVERIFY(tool_output("exiftool", {"-q", "-overwrite_original", "-IPTC:CodedCharacterSet=UTF8",
                                     tag + "=" + caption, path}));
    QCOMPARE(chosen_caption(read_captions_of_file(path), QString()), caption);
}

QTEST_GUILESS_MAIN(TestExchange)
#include "test_exchange.moc"
