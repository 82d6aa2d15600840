#include <QTest>

#include "platform/text_file.h"
#include "run.h"

using namespace fotavi;

namespace {

// The same outing copied with cp: every file time is the copy's, the camera's
// times are in the EXIF blocks, and the names run against the camera's order.
void make_copied_outing(const Album& album) {
    const QDateTime copied = at(2024, 6, 1, 20, 0);
    album.add_exif("DSC0004.JPG", copied, {"2001:09:02 05:10:13", {}, {}, "40", {}, false});
    album.add_exif("DSC0003.JPG", copied, {"2001:09:02 10:40:00", {}, {}, {}, {}, true});
    album.add_exif("DSC0002.JPG", copied, {{}, "2001:09:02 12:15:00", {}, {}, {}, false});
    album.add_exif("DSC0001.JPG", copied, {"2001:09:03 08:30:00", {}, {}, {}, {}, false});
}

}  // namespace

// The capture-time mode: switched from the menu, offered once a folder whose
// file times are plainly a copy's, a scan that can be cancelled.
class TestCaptureMode : public QObject {
    Q_OBJECT
private slots:
    void capture_time_toggle_rescans_and_keeps_comments() {
        Album album;
        make_copied_outing(album);
        Run run;
        run.start(album.path());
        QCOMPARE(run.ui.file_date, QStringLiteral("2024/06/01(土)20:00"));
        const QString first_listed = run.ui.file_name;
        run.ui.comment_text = "typed before";
        run.ui.clear();
        run.commands.toggle_capture_time();
        QVERIFY(run.commands.settings().capture_time && run.ui.capture_time_checked);
        QCOMPARE(run.ui.events.first(),
                 QStringLiteral("progress|撮影日時を読んでいます（4 枚）|4"));
        QVERIFY(run.ui.progress_steps >= 1);  // by time, while a worker reads
        QCOMPARE(run.ui.events.last(), QStringLiteral("focus"));
        QCOMPARE(run.names(),
                 QStringList({"DSC0004.JPG", "DSC0003.JPG", "DSC0002.JPG", "DSC0001.JPG"}));
        // The same picture stays on screen, with its comment and its camera date.
        QCOMPARE(run.ui.file_name, first_listed);
        QCOMPARE(run.ui.comment_text, QStringLiteral("typed before"));
        QVERIFY(run.ui.file_date != QStringLiteral("2024/06/01(土)20:00"));

        run.commands.show_first();
        QCOMPARE(run.ui.file_date, QStringLiteral("2001/09/02(日)05:10"));
        run.ui.comment_text = "station";
        run.commands.show_next();
        run.ui.comment_text = "";
        run.commands.show_next();
        run.ui.comment_text = "lunch";
        run.commands.show_next();
        run.ui.comment_text = "home";
        run.commands.write_time_log();
        QCOMPARE(read_all(album.file("time_log.txt")), cp932(kOutingLog));
        run.ui.settings_answers = {Settings{}};  // the dialog knows nothing of the mode
        run.commands.open_settings();
        QVERIFY(run.commands.settings().capture_time);
        QVERIFY(run.commands.may_quit());
        QVERIFY(read_all(run.program.filePath("def_list.txt")).endsWith("\r\nCaptureTime\r\n"));

        // Off again: file times, listing order, the comments still on their pictures.
        run.commands.toggle_capture_time();
        QVERIFY(!run.commands.settings().capture_time && !run.ui.capture_time_checked);
        QCOMPARE(run.ui.file_date, QStringLiteral("2024/06/01(土)20:00"));
        QCOMPARE(run.ui.comment_text, QStringLiteral("home"));
        const ImageTable& table = run.commands.table();
        for (int i = 0; i < table.count(); ++i) {
            const QString& name = table.names[i];
            const QString expected = name == "DSC0004.JPG"   ? "station"
                                     : name == "DSC0002.JPG" ? "lunch"
                                     : name == "DSC0001.JPG" ? "home"
                                                             : "";
            QCOMPARE(table.comments[i], expected);
        }
        QVERIFY(run.commands.document().log_is_current());
        QVERIFY(run.commands.may_quit());
        QCOMPARE(read_all(run.program.filePath("def_list.txt")),
                 encode_cp932(QStringLiteral("False\r\n米\r\n麦\r\n豆\r\n実\r\n")).bytes);
        QVERIFY(!QDir(album.path()).entryList().contains("capture-times"));
    }

    // The hint comes once a folder, across runs, and only Yes turns the mode on.
    void capture_time_hint_data() {
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("mode_on");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::newRow("copied, yes") << true << false << true << true;
        QTest::newRow("copied, no") << true << false << false << true;
        QTest::newRow("copied, mode already on") << true << true << false << false;
        QTest::newRow("times kept by the copy") << false << false << false << false;
    }
    void capture_time_hint() {
        QFETCH(bool, copied);
        QFETCH(bool, mode_on);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        Album album;
        if (copied) {
            make_copied_outing(album);
        } else {
            album.add_exif("A.JPG", at(2001, 9, 2, 5, 10),
                           {"2001:09:02 05:10:00", {}, {}, {}, {}, false});
            album.add_exif("B.JPG", at(2001, 9, 2, 9, 0),
                           {"2001:09:02 09:00:00", {}, {}, {}, {}, false});
        }
        Run run;
        if (mode_on) {
            QFile config(run.program.filePath("def_list.txt"));
            QVERIFY(config.open(QIODevice::WriteOnly));
            config.write(
                encode_cp932(QStringLiteral("False\r\n米\r\n麦\r\n豆\r\n実\r\nCaptureTime\r\n"))
                    .bytes);
        }
        run.ui.yes_no_answers.push_back(answer);
        run.start(album.file("DSC0001.JPG"));
        const QStringList questions = run.ui.events.filter("ask yes no|");
        QCOMPARE(questions.size(), asked ? 1 : 0);
        if (asked)
            QVERIFY2(questions.first().contains(QStringLiteral("撮影日時を使う")),
                     qPrintable(questions.first()));
        QCOMPARE(run.commands.settings().capture_time, mode_on || answer);
        QCOMPARE(run.ui.capture_time_checked, mode_on || answer);
        if (copied && (mode_on || answer)) {
            QCOMPARE(run.commands.table().names.front(), QStringLiteral("DSC0004.JPG"));
            QCOMPARE(run.ui.file_name,
                     QStringLiteral("DSC0004.JPG"));  // a folder opens at its first picture
        }

        // Opened again, in this run and in the next, with the mode off: never asked again.
        if (run.commands.settings().capture_time) run.commands.toggle_capture_time();
        run.ui.clear();
        run.ui.chosen_pictures.push_back(album.file("DSC0001.JPG"));
        run.commands.open_picture();
        FakeUi next_ui;
        next_ui.yes_no_answers.push_back(true);
        Commands next(next_ui, run.program.path(), run.program.path(), run.folders);
        next.open_dropped(album.path());
        QCOMPARE(run.ui.events.filter("ask yes no|").size() +
                     next_ui.events.filter("ask yes no|").size(),
                 copied && mode_on ? 1 : 0);  // the first time the mode is off
        QVERIFY(!QFileInfo::exists(album.file("capture-time-hints.txt")));
    }

    // A picture a messaging app stripped of its EXIF block keeps its file
    // time: the offer says how many there are, and the document marks them.
    void pictures_without_capture_time_are_counted_and_marked() {
        Album album;
        make_copied_outing(album);
        album.add("LINE_0001.jpg", at(2024, 6, 1, 20, 0));
        Run run;
        run.ui.yes_no_answers.push_back(true);
        run.start(album.path());
        const QStringList questions = run.ui.events.filter("ask yes no|");
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions.first().contains("撮影日時の記録がない写真が 1 枚"),
                 qPrintable(questions.first()));
        QVERIFY(run.commands.settings().capture_time);
        const FolderDocument& document = run.commands.document();
        for (const QString& name : run.names())
            QCOMPARE(document.without_capture_time(document.index_of(name)),
                     name == "LINE_0001.jpg");
        run.commands.toggle_capture_time();  // file times again: nothing is marked
        QVERIFY(!document.without_capture_time(document.index_of("LINE_0001.jpg")));
    }

    // Cancelling the reading of capture times changes nothing: mode, folder, table, screen.
    void cancelled_capture_scan_keeps_everything() {
        Album open, other;
        make_copied_outing(open);
        make_copied_outing(other);
        Run run;
        run.start(open.path());
        run.ui.comment_text = "kept";
        const QStringList names = run.names();
        run.ui.cancel_at_step = 0;  // the reading goes on on its own: cancelled at once
        run.ui.clear();
        run.commands.toggle_capture_time();
        QCOMPARE(run.ui.events, QStringList({"progress|撮影日時を読んでいます（4 枚）|4",
                                             "progress end", "focus"}));
        QVERIFY(!run.commands.settings().capture_time && !run.ui.capture_time_checked);
        QCOMPARE(run.names(), names);
        QCOMPARE(run.ui.comment_text, QStringLiteral("kept"));

        run.ui.cancel_at_step = -1;
        run.commands.toggle_capture_time();
        const QStringList camera_order = run.names();
        run.ui.cancel_at_step = 0;
        run.ui.unwritten_answers.push_back(UnwrittenAnswer::Discard);
        run.ui.clear();
        run.ui.chosen_pictures.push_back(other.file("DSC0001.JPG"));
        run.commands.open_picture();
        QCOMPARE(run.ui.events, QStringList({"open dialog", "ask unwritten",
                                             "progress|撮影日時を読んでいます（4 枚）|4",
                                             "progress end", "focus"}));
        QCOMPARE(run.commands.folder(), open.path());
        QCOMPARE(run.commands.folder(), open.path());
        QCOMPARE(QDir::currentPath(), open.path());
        QCOMPARE(run.names(), camera_order);
        QCOMPARE(run.commands.table().comments[size_t(run.commands.table().shown)],
                 QStringLiteral("kept"));
    }
};

QTEST_GUILESS_MAIN(TestCaptureMode)
#include "test_capture_mode.moc"
