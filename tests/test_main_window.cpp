#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include "album.h"
#include "app/main_window.h"
#include "app/ui.h"
#include "controls.h"
#include "folder/folder_document.h"

using namespace fotavi;

namespace {

QRect twips(int left, int top, int width, int height) {
    return {to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height)};
}

// A window as the program starts it, with its own program folder and, when
// given, its settings file.
struct Window {
    QTemporaryDir program;
    Main main{program.path(), program.path()};

    explicit Window(const QStringList& args = {}, const QByteArray& def_list = {}) {
        if (!def_list.isEmpty()) {
            QFile file(program.filePath("def_list.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(def_list);
        }
        main.commands().start_up(args, QDir::rootPath());
        main.show();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));
    }
};

// What a label or tool tip shows of text: Qt reads text that looks like
// markup as rich text unless it is told the text is plain.
QString shown(const QString& text, Qt::TextFormat format = Qt::AutoText) {
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// Closes every message box as soon as it shows, keeping "title|text" of each
// as it is shown.
class BoxCloser {
public:
    BoxCloser() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                    seen << box->windowTitle() + "|" + shown(label->text(), label->textFormat());
                box->close();
            }
        });
        timer_.start();
    }
    QStringList seen;

private:
    QTimer timer_;
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("k_open") << "k_open" << QStringLiteral("開く(&O)") << twips(120, 0, 735, 375)
                                << true;
        QTest::newRow("k_decre") << "k_decre" << QStringLiteral("前へ(&B)")
                                 << twips(1080, 0, 855, 375) << false;
        QTest::newRow("k_incre") << "k_incre" << QStringLiteral("次へ(&N)")
                                 << twips(2040, 0, 855, 375) << false;
        QTest::newRow("k_pre_set0")
            << "k_pre_set0" << QStringLiteral("米(&Z)") << twips(3840, 6120, 615, 375) << true;
        QTest::newRow("k_pre_set1")
            << "k_pre_set1" << QStringLiteral("麦(&X)") << twips(4440, 6120, 615, 375) << true;
        QTest::newRow("k_pre_set2")
            << "k_pre_set2" << QStringLiteral("豆(&C)") << twips(5040, 6120, 615, 375) << true;
        QTest::newRow("k_pre_set3")
            << "k_pre_set3" << QStringLiteral("実(&V)") << twips(5640, 6120, 615, 375) << true;
        QTest::newRow("k_komoji") << "k_komoji" << QStringLiteral("小文字(&S)")
                                  << twips(6360, 6120, 975, 375) << false;
        QTest::newRow("k_list") << "k_list" << QStringLiteral("リスト(&L)")
                                << twips(6480, 0, 855, 375) << false;
        QTest::newRow("l_file_date") << "l_file_date"
                                     << "" << twips(4680, 120, 1815, 255) << true;
        QTest::newRow("l_file_name") << "l_file_name"
                                     << "" << twips(3000, 120, 1575, 255) << true;
        QTest::newRow("l_comment") << "l_comment"
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
                QCOMPARE(entry->shortcut(), entry->objectName() == "m_overview"
                                                ? QKeySequence(Qt::CTRL | Qt::Key_I)
                                                : QKeySequence());
            }
        }
        QCOMPARE(menus,
                 QStringList({QStringLiteral("ファイル(&F)"), QStringLiteral("  開く(&P)"),
                              QStringLiteral("  出力(&L)"),
                              QStringLiteral("  写真日誌を書き出す(&W)..."),
                              QStringLiteral("  設定(&D)"), QStringLiteral("  撮影日時を使う(&T)"),
                              QStringLiteral("  日誌を新しく始める(&R)..."),
                              QStringLiteral("  終了(&E)"), QStringLiteral("移動(&M)"),
                              QStringLiteral("  最初(&G)"), QStringLiteral("  最後(&J)"),
                              QStringLiteral("  一覧(&I)"), QStringLiteral("ヘルプ(&H)"),
                              QStringLiteral("  目次(&T)"), QStringLiteral("  バージョン(&V)")}));
        QVERIFY(!child<QPushButton>(w.main, "k_open")->autoDefault());
        auto* capture_time = w.main.findChild<QAction*>("m_capture_time");
        QVERIFY(capture_time->isCheckable() && !capture_time->isChecked());
    }

    // Short work shows nothing; work past half a second shows a dialog whose Cancel is heard.
    void progress_shows_after_half_a_second_and_cancels() {
        Window w;
        Ui& ui = w.main;
        ui.begin_progress("reading", 100);
        for (int i = 1; i <= 50; ++i) QVERIFY(!ui.step_progress(i));
        QVERIFY(!w.main.findChild<QProgressDialog*>());
        QTest::qSleep(550);
        QVERIFY(!ui.step_progress(51));
        auto* dialog = w.main.findChild<QProgressDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->labelText(), QStringLiteral("reading"));
        QTimer::singleShot(0, dialog, [dialog] { dialog->findChild<QPushButton*>()->click(); });
        QTest::qSleep(50);
        QVERIFY(ui.step_progress(52));
        ui.end_progress();
        QVERIFY(!w.main.findChild<QProgressDialog*>());
    }

    void tab_order_starts_at_open() {
        Window w;
        QCOMPARE(QApplication::focusWidget(), child(w.main, "k_open"));
        for (QPushButton* b : w.main.findChildren<QPushButton*>()) b->setEnabled(true);
        QStringList order;
        QWidget* at = child(w.main, "k_open");
        for (int i = 0; i < 10; ++i) {
            order << at->objectName();
            at = at->nextInFocusChain();
            while (!(at->focusPolicy() & Qt::TabFocus)) at = at->nextInFocusChain();
        }
        QCOMPARE(order,
                 QStringList({"k_open", "k_decre", "k_incre", "l_comment", "k_pre_set0",
                              "k_pre_set1", "k_pre_set2", "k_pre_set3", "k_komoji", "k_list"}));
    }

    // Enter is a line break in the comment; Alt+Z inserts the first phrase while typing.
    void comment_box_takes_enter_and_presets() {
        Window w;
        auto* comment = child<QPlainTextEdit>(w.main, "l_comment");
        comment->setFocus();
        QTest::keyClicks(comment, "a");
        QTest::keyClick(comment, Qt::Key_Return);
        QTest::keyClicks(comment, "b");
        QTest::keyClick(w.main.windowHandle(), Qt::Key_Z, Qt::AltModifier);
        QTRY_COMPARE(comment->toPlainText(), QStringLiteral("a\nb米"));
        QTest::keyClicks(comment, "c");
        QCOMPARE(comment->toPlainText(), QStringLiteral("a\nb米c"));
        QCOMPARE(QApplication::focusWidget(), comment);
        comment->selectAll();
        QTest::keyClick(w.main.windowHandle(), Qt::Key_V, Qt::AltModifier);
        QTRY_COMPARE(comment->toPlainText(), QStringLiteral("実"));
    }

    // Buttons answer their Alt letter with an animated click, so the result shows a moment later.
    void alt_n_and_alt_b_move_through_the_folder() {
        Album album;
        album.add("B.JPG", at(2020, 1, 1, 9, 0), QSize(64, 48));
        album.add("A.JPG", at(2020, 1, 1, 10, 0), QSize(48, 64));
        Window w({album.file("A.JPG")});
        auto* name = child<QLabel>(w.main, "l_file_name");
        auto* comment = child<QPlainTextEdit>(w.main, "l_comment");
        QCOMPARE(name->text(), QStringLiteral("B.JPG"));
        QCOMPARE(child<QLabel>(w.main, "l_file_date")->text(),
                 QStringLiteral("2020/01/01(水)09:00"));
        QVERIFY(child(w.main, "k_incre")->isEnabled() && child(w.main, "k_list")->isEnabled());
        comment->setFocus();
        QTest::keyClicks(comment, "first");
        BoxCloser boxes;
        // Typing goes on at once, into the next picture's comment.
        QTest::keyClick(w.main.windowHandle(), Qt::Key_N, Qt::AltModifier);
        QTest::keyClicks(comment, "second");
        QCOMPARE(name->text(), QStringLiteral("A.JPG"));
        QCOMPARE(comment->toPlainText(), QStringLiteral("second"));
        QCOMPARE(static_cast<PictureBox*>(child(w.main, "Image1"))->picture().size(),
                 QSize(270, 360));
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
            auto* name = child<QLabel>(w.main, "l_file_name");
            const QString on_label = shown(name->text(), name->textFormat());
            if (label == "elided") {
                QVERIFY2(on_label.contains(QStringLiteral("…")), qPrintable(on_label));
                QVERIFY(on_label.startsWith("mmm") && on_label.endsWith("m.jpg"));
            } else {
                QCOMPARE(on_label, label);
            }
            // Nothing runs past the label into the date beside it.
            QVERIFY(name->fontMetrics().horizontalAdvance(on_label) <= name->width());
            QVERIFY(name->geometry().right() < child(w.main, "l_file_date")->geometry().left());
            QCOMPARE(shown(name->toolTip()), text);
        } else if (place == "phrase") {
            Settings settings;
            settings.pre_str[0] = text;
            z_set_pre_captions(settings, w.main);
            auto* button = child<QPushButton>(w.main, "k_pre_set0");
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
        for (const bool large : layouts) z_set_layout(large, w.main);
        auto* box = static_cast<PictureBox*>(child(w.main, "Image1"));
        QCOMPARE(box->size(), size);
        QCOMPARE(box->picture().size(), size);
    }

    // A picture or folder dropped on the comment box opens the folder as
    // anywhere on the window; dropped text is typed into the comment.
    void drops_on_the_comment_box_data() {
        QTest::addColumn<QString>("target");   // viewport, window
        QTest::addColumn<QString>("dropped");  // picture, folder, text, text file
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("typed");
        QTest::newRow("picture on the comment box") << "viewport"
                                                    << "picture" << true << "";
        QTest::newRow("folder on the comment box") << "viewport"
                                                   << "folder" << true << "";
        QTest::newRow("picture on the window") << "window"
                                               << "picture" << true << "";
        QTest::newRow("text on the comment box") << "viewport"
                                                 << "text" << false << "dropped words";
        QTest::newRow("other file on the comment box") << "viewport"
                                                       << "text file" << false << "";
    }
    void drops_on_the_comment_box() {
        QFETCH(QString, target);
        QFETCH(QString, dropped);
        QFETCH(bool, opens);
        QFETCH(QString, typed);
        Album album;
        album.add("B.JPG", at(2020, 1, 1, 9, 0));
        album.add("A.JPG", at(2020, 1, 1, 10, 0));
        album.add_bytes("notes.txt", "notes", at(2020, 1, 1, 10, 0));
        Window w;
        QMimeData data;
        // A file manager sends the URL as text too.
        const QString path = dropped == "picture"  ? album.file("A.JPG")
                             : dropped == "folder" ? album.path()
                                                   : album.file("notes.txt");
        if (dropped == "text") {
            data.setText("dropped words");
        } else {
            data.setUrls({QUrl::fromLocalFile(path)});
            data.setText(QUrl::fromLocalFile(path).toString());
        }
        auto* comment = child<QPlainTextEdit>(w.main, "l_comment");
        QWidget* widget =
            target == "viewport" ? comment->viewport() : static_cast<QWidget*>(&w.main);
        const QPoint at = widget->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        QCOMPARE(enter.isAccepted(), opens || dropped == "text");
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &drop);
        QCOMPARE(w.main.commands().table().img_count(), opens ? 2 : 0);
        QCOMPARE(child<QLabel>(w.main, "l_file_name")->text(),
                 opens ? QStringLiteral("B.JPG") : QString());
        QCOMPARE(comment->toPlainText(), typed);
    }

    // The comment box takes at most the longest comment, typed, pasted or
    // dropped; a longer text is cut and said, a key at the limit only beeps.
    void comment_box_holds_the_longest_comment_data() {
        QTest::addColumn<int>("before");    // characters in the box
        QTest::addColumn<int>("selected");  // of them selected, replaced by what comes
        QTest::addColumn<QString>("how");   // paste, drop, key
        QTest::addColumn<int>("coming");    // characters that come
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("said");  // messages
        const int limit = int(kCommentLimit);
        QTest::newRow("a huge paste") << 0 << 0 << "paste" << 2 * limit << limit << 1;
        QTest::newRow("a paste that fits") << 10 << 0 << "paste" << 100 << 110 << 0;
        QTest::newRow("a paste over a selection at the limit")
            << limit << 10 << "paste" << 25 << limit << 1;
        QTest::newRow("a huge drop of text") << 5 << 0 << "drop" << limit << limit << 1;
        QTest::newRow("a key at the limit") << limit << 0 << "key" << 1 << limit << 0;
        QTest::newRow("a key over a selection at the limit")
            << limit << 1 << "key" << 1 << limit << 0;
    }
    void comment_box_holds_the_longest_comment() {
        QFETCH(int, before);
        QFETCH(int, selected);
        QFETCH(QString, how);
        QFETCH(int, coming);
        QFETCH(int, after);
        QFETCH(int, said);
        Window w;
        BoxCloser closer;
        auto* comment = child<QPlainTextEdit>(w.main, "l_comment");
        comment->setPlainText(QString(before, u'a'));
        QTextCursor cursor = comment->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, selected);
        comment->setTextCursor(cursor);
        const QString text(coming, u'b');
        if (how == "paste") {
            QApplication::clipboard()->setText(text);
            comment->paste();
        } else if (how == "drop") {
            QMimeData data;
            data.setText(text);
            const QPoint at = comment->viewport()->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(comment->viewport(), &enter);
            QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(comment->viewport(), &move);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(comment->viewport(), &drop);
        } else {
            QTest::keyClick(comment, Qt::Key_B);
        }
        QCOMPARE(comment->toPlainText().size(), after);
        QTest::qWait(50);
        QCOMPARE(closer.seen.size(), said);
    }

    void version_box_then_typing_goes_on_in_the_comment() {
        Window w;
        BoxCloser boxes;
        w.main.findChild<QAction*>("m_version")->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(boxes.seen.first().startsWith(QStringLiteral("バージョン情報|フォタビ")));
        QCOMPARE(w.main.focusWidget(), child(w.main, "l_comment"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
