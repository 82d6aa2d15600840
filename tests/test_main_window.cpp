#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <sqlite3.h>

#include "album.h"
#include "app/ui.h"
#include "app/widgets/main_window.h"
#include "comments/store_file.h"
#include "controls.h"
#include "document/folder_document.h"

using namespace fotavi;

namespace {

QRect twips(int left, int top, int width, int height) {
    return {to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height)};
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    // A store planted in the folder whose table is a view that never ends,
    // or whose saves run a trigger that never ends: the window comes up with
    // the folder, says the file was set aside, and 終了 ends the program.
    void planted_store_never_holds_the_window_data() {
        QTest::addColumn<QByteArray>("plant");
        QTest::newRow("never-ending view") << QByteArray(
            "ALTER TABLE picture RENAME TO kept; CREATE VIEW picture AS "
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
            "WHERE x < 10000000000) SELECT kept.* FROM kept, c "
            "WHERE c.x = 10000000000;");
        QTest::newRow("never-ending trigger") << QByteArray(
            "CREATE TRIGGER slow AFTER UPDATE ON meta BEGIN SELECT count(*) FROM "
            "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
            "WHERE x < 10000000000) SELECT x FROM c); END;");
    }
    void planted_store_never_holds_the_window() {
        QFETCH(QByteArray, plant);
        Album album;
        make_outing(album);
        const QString path = album.file(kStoreName);
        {
            StoreFile store;
            QVERIFY(!store.open(path, true, true));
        }
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        QCOMPARE(sqlite3_exec(db, plant.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        const QByteArray planted = read_all(path);

        BoxCloser boxes;
        Window w({album.file("DSC0001.JPG")});
        QCOMPARE(w.main.commands().table().count(), 4);
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(boxes.seen[0].contains("フォタビのコメントのファイルではないので使いません"));
        w.main.findChild<QAction*>("quit_action")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!w.main.isVisible(), 2000);
        const QStringList aside = QDir(album.path()).entryList({"fotavi_comments-damaged-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(read_all(album.file(aside[0])), planted);
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("open") << "open" << QStringLiteral("開く(&O)") << twips(120, 0, 735, 375)
                                << true;
        QTest::newRow("previous") << "previous" << QStringLiteral("前へ(&B)")
                                 << twips(1080, 0, 855, 375) << false;
        QTest::newRow("next") << "next" << QStringLiteral("次へ(&N)")
                                 << twips(2040, 0, 855, 375) << false;
        QTest::newRow("preset0")
            << "preset0" << QStringLiteral("米(&Z)") << twips(3840, 6120, 615, 375) << true;
        QTest::newRow("preset1")
            << "preset1" << QStringLiteral("麦(&X)") << twips(4440, 6120, 615, 375) << true;
        QTest::newRow("preset2")
            << "preset2" << QStringLiteral("豆(&C)") << twips(5040, 6120, 615, 375) << true;
        QTest::newRow("preset3")
            << "preset3" << QStringLiteral("実(&V)") << twips(5640, 6120, 615, 375) << true;
        QTest::newRow("lower_case") << "lower_case" << QStringLiteral("小文字(&S)")
                                  << twips(6360, 6120, 975, 375) << false;
        QTest::newRow("list") << "list" << QStringLiteral("リスト(&L)")
                                << twips(6480, 0, 855, 375) << false;
        QTest::newRow("file_date") << "file_date"
                                     << "" << twips(4680, 120, 1815, 255) << true;
        QTest::newRow("file_name") << "file_name"
                                     << "" << twips(3000, 120, 1575, 255) << true;
        QTest::newRow("comment") << "comment"
                                   << "" << twips(120, 6000, 3615, 625) << true;
        QTest::newRow("Image1") << "Image1"
                                << "" << twips(120, 480, 7200, 5400) << true;
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        QFETCH(bool, enabled);
        Window w;
        QWidget* control = child(w.main, name.toLatin1().constData());
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->isEnabled(), enabled);
        if (auto* button = qobject_cast<QPushButton*>(control)) QCOMPARE(button->text(), caption);
        if (auto* label = qobject_cast<QLabel*>(control)) QVERIFY(label->text().isEmpty());
    }

    void window_is_fixed_with_its_caption_and_menus() {
        Window w;
        QCOMPARE(w.main.windowTitle(), QStringLiteral("フォタビ"));
        QCOMPARE(w.main.centralWidget()->size(), QSize(to_pixels(7425), to_pixels(6675)));
        QCOMPARE(w.main.minimumSize(), w.main.maximumSize());
        QVERIFY(!(w.main.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(w.main.windowFlags() & Qt::WindowMinimizeButtonHint));
        QStringList menus;
        for (QAction* top : w.main.menuBar()->actions()) {
            menus << top->text();
            for (QAction* entry : top->menu()->actions()) {
                menus << "  " + entry->text();
                QVERIFY(entry->isEnabled() && !entry->isSeparator());
                // The overview is the one entry with a shortcut of its own.
                QCOMPARE(entry->shortcut(), entry->objectName() == "overview_action"
                                                ? QKeySequence(Qt::CTRL | Qt::Key_I)
                                                : QKeySequence());
            }
        }
        QCOMPARE(menus,
                 QStringList({QStringLiteral("ファイル(&F)"), QStringLiteral("  開く(&P)"),
                              QStringLiteral("  出力(&L)"),
                              QStringLiteral("  写真日誌を書き出す(&W)..."),
                              QStringLiteral("  コメント付きの写真を書き出す(&X)..."),
                              QStringLiteral("  設定(&D)"), QStringLiteral("  撮影日時を使う(&T)"),
                              QStringLiteral("  時刻を合わせる(&C)..."),
                              QStringLiteral("  コメントを .xmp ファイルにも書く(&K)"),
                              QStringLiteral("  日誌を新しく始める(&R)..."),
                              QStringLiteral("  終了(&E)"), QStringLiteral("移動(&M)"),
                              QStringLiteral("  最初(&G)"), QStringLiteral("  最後(&J)"),
                              QStringLiteral("  一覧(&I)"), QStringLiteral("ヘルプ(&H)"),
                              QStringLiteral("  目次(&T)"), QStringLiteral("  バージョン(&V)")}));
        QVERIFY(!child<QPushButton>(w.main, "open")->autoDefault());
        auto* capture_time = w.main.findChild<QAction*>("capture_time_action");
        QVERIFY(capture_time->isCheckable() && !capture_time->isChecked());
    }

    // Short work shows nothing; work past half a second shows a dialog whose
    // Cancel is heard. The window's events run all along, also while the count
    // stands still and the work can be cancelled.
    void progress_shows_after_half_a_second_and_cancels() {
        Window w;
        Ui& ui = w.main;
        ui.begin_progress("reading", 100);
        bool handled = false;
        QTimer::singleShot(0, &w.main, [&handled] { handled = true; });
        QVERIFY(!ui.step_progress(0));
        QVERIFY(handled);
        for (int i = 1; i <= 50; ++i) QVERIFY(!ui.step_progress(i));
        QVERIFY(!w.main.findChild<QProgressDialog*>());
        QTest::qSleep(550);
        QVERIFY(!ui.step_progress(51));
        auto* dialog = w.main.findChild<QProgressDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->labelText(), QStringLiteral("reading"));
        QTimer::singleShot(0, dialog, [dialog] { dialog->findChild<QPushButton*>()->click(); });
        QTest::qSleep(50);
        QVERIFY(ui.step_progress(51));
        ui.end_progress();
        QVERIFY(!w.main.findChild<QProgressDialog*>());
    }

    void tab_order_starts_at_open() {
        Window w;
        QCOMPARE(QApplication::focusWidget(), child(w.main, "open"));
        for (QPushButton* b : w.main.findChildren<QPushButton*>()) b->setEnabled(true);
        QStringList order;
        QWidget* at = child(w.main, "open");
        for (int i = 0; i < 10; ++i) {
            order << at->objectName();
            at = at->nextInFocusChain();
            while (!(at->focusPolicy() & Qt::TabFocus)) at = at->nextInFocusChain();
        }
        QCOMPARE(order,
                 QStringList({"open", "previous", "next", "comment", "preset0",
                              "preset1", "preset2", "preset3", "lower_case", "list"}));
    }

    // Alt+N and Alt+B click at once: what is typed next goes into the picture
    // the window moves to.
    void alt_n_and_alt_b_move_through_the_folder() {
        Album album;
        album.add("B.JPG", at(2020, 1, 1, 9, 0), QSize(64, 48));
        album.add("A.JPG", at(2020, 1, 1, 10, 0), QSize(48, 64));
        Window w({album.file("A.JPG")});
        auto* name = child<QLabel>(w.main, "file_name");
        auto* comment = child<QPlainTextEdit>(w.main, "comment");
        QCOMPARE(name->text(), QStringLiteral("B.JPG"));
        QCOMPARE(child<QLabel>(w.main, "file_date")->text(),
                 QStringLiteral("2020/01/01(水)09:00"));
        QVERIFY(child(w.main, "next")->isEnabled() && child(w.main, "list")->isEnabled());
        comment->setFocus();
        QTest::keyClicks(comment, "first");
        BoxCloser boxes;
        // Typing goes on at once, into the next picture's comment.
        QTest::keyClick(w.main.windowHandle(), Qt::Key_N, Qt::AltModifier);
        QTest::keyClicks(comment, "second");
        QCOMPARE(name->text(), QStringLiteral("A.JPG"));
        QCOMPARE(comment->toPlainText(), QStringLiteral("second"));
        QTRY_COMPARE(static_cast<PictureBox*>(child(w.main, "Image1"))->picture().size(),
                     QSize(270, 360));  // once decoded
        QTest::keyClick(w.main.windowHandle(), Qt::Key_N, Qt::AltModifier);  // the last one
        QTRY_COMPARE(
            boxes.seen,
            QStringList({QStringLiteral("メッセージ|これより次の画像ファイルはありません")}));
        QCOMPARE(name->text(), QStringLiteral("A.JPG"));
        QCOMPARE(w.main.focusWidget(), comment);
        // The offscreen screen does not hand activation back after a modal box.
        QApplication::setActiveWindow(&w.main);
        QVERIFY(QTest::qWaitForWindowActive(&w.main));
        QTest::keyClick(w.main.windowHandle(), Qt::Key_B, Qt::AltModifier);
        QTRY_COMPARE(name->text(), QStringLiteral("B.JPG"));
        QCOMPARE(comment->toPlainText(), QStringLiteral("first"));
        QTRY_COMPARE(w.main.focusWidget(), comment);
    }

    // Names and phrases are shown exactly as they are: no markup is read, a
    // long name is cut in the middle and never runs over the date, a line
    // break cannot hide part of a name; the tool tip holds the whole.
    void text_is_shown_as_it_is_data() {
        QTest::addColumn<QString>("place");  // file name, phrase, message
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");  // shown on the label or button; "elided" when cut
        const QString long_name = QString(240, u'm') + ".jpg";
        QTest::newRow("short name") << "file name"
                                    << "DSC0001.JPG"
                                    << "DSC0001.JPG";
        QTest::newRow("name with markup") << "file name"
                                          << "<i>x.jpg"
                                          << "<i>x.jpg";
        QTest::newRow("name of 244 characters") << "file name" << long_name << "elided";
        QTest::newRow("name with a line break")
            << "file name"
            << "first\nsecond.jpg" << QStringLiteral("first↵second.jpg");
        QTest::newRow("name with CR LF") << "file name"
                                         << "a\r\nb.jpg" << QStringLiteral("a↵b.jpg");
        QTest::newRow("phrase with markup") << "phrase"
                                            << "<b>it</b>"
                                            << "<.(&Z)";
        QTest::newRow("phrase with an entity") << "phrase"
                                               << "&lt;3"
                                               << "&&.(&Z)";
        QTest::newRow("phrase with spaces") << "phrase"
                                            << "  two  spaces"
                                            << " .(&Z)";
        QTest::newRow("message naming a folder") << "message"
                                                 << "<b>folder</b> を開けません"
                                                 << "";
    }
    void text_is_shown_as_it_is() {
        QFETCH(QString, place);
        QFETCH(QString, text);
        QFETCH(QString, label);
        Window w;
        if (place == "file name") {
            w.main.set_file_name(text);
            auto* name = child<QLabel>(w.main, "file_name");
            const QString on_label = shown(name->text(), name->textFormat());
            if (label == "elided") {
                QVERIFY2(on_label.contains(QStringLiteral("…")), qPrintable(on_label));
                QVERIFY(on_label.startsWith("mmm") && on_label.endsWith("m.jpg"));
            } else {
                QCOMPARE(on_label, label);
            }
            // Nothing runs past the label into the date beside it.
            QVERIFY(name->fontMetrics().horizontalAdvance(on_label) <= name->width());
            QVERIFY(name->geometry().right() < child(w.main, "file_date")->geometry().left());
            QCOMPARE(shown(name->toolTip()), text);
        } else if (place == "phrase") {
            Settings settings;
            settings.phrases[0] = text;
            set_preset_captions(settings, w.main);
            auto* button = child<QPushButton>(w.main, "preset0");
            QCOMPARE(button->text(), label);
            QCOMPARE(shown(button->toolTip()), text);
        } else {
            BoxCloser boxes;
            w.main.message(text, QStringLiteral("メッセージ"));
            QCOMPARE(boxes.seen, QStringList{QStringLiteral("メッセージ|") + text});
        }
    }

    // The start-up picture fills the picture box of either layout, also when
    // the layout changes before any folder is open.
    void start_up_picture_fills_the_box_data() {
        QTest::addColumn<QByteArray>("def_list");
        QTest::addColumn<QList<bool>>("layouts");  // applied after start-up
        QTest::addColumn<QSize>("size");
        QTest::newRow("small") << QByteArray() << QList<bool>{} << QSize(480, 360);
        QTest::newRow("large from the settings file")
            << QByteArray("True\r\na\r\nb\r\nc\r\nd\r\n") << QList<bool>{} << QSize(640, 480);
        QTest::newRow("large chosen in 設定")
            << QByteArray() << QList<bool>{true} << QSize(640, 480);
        QTest::newRow("large, then small again")
            << QByteArray() << QList<bool>{true, false} << QSize(480, 360);
    }
    void start_up_picture_fills_the_box() {
        QFETCH(QByteArray, def_list);
        QFETCH(QList<bool>, layouts);
        QFETCH(QSize, size);
        Window w({}, def_list);
        for (const bool large : layouts) apply_layout(large, w.main);
        auto* box = static_cast<PictureBox*>(child(w.main, "Image1"));
        QCOMPARE(box->size(), size);
        QCOMPARE(box->picture().size(), size);
    }

    void version_box_then_typing_goes_on_in_the_comment() {
        Window w;
        BoxCloser boxes;
        w.main.findChild<QAction*>("version_action")->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(boxes.seen.first().startsWith(QStringLiteral("バージョン情報|フォタビ")));
        QCOMPARE(w.main.focusWidget(), child(w.main, "comment"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
