#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrl>

#include "album.h"
#include "controls.h"
#include "document/folder_document.h"

using namespace fotavi;

// The comment box: keys, preset phrases, drops and the longest comment.
class TestCommentBox : public QObject {
    Q_OBJECT
private slots:
    // Enter is a line break in the comment; Alt+Z inserts the first phrase while typing.
    void comment_box_takes_enter_and_presets() {
        Window w;
        auto* comment = child<QPlainTextEdit>(w.main, "comment");
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
        auto* comment = child<QPlainTextEdit>(w.main, "comment");
        QWidget* widget =
            target == "viewport" ? comment->viewport() : static_cast<QWidget*>(&w.main);
        const QPoint at = widget->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        QCOMPARE(enter.isAccepted(), opens || dropped == "text");
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &drop);
        QCOMPARE(w.main.commands().table().count(), opens ? 2 : 0);
        QCOMPARE(child<QLabel>(w.main, "file_name")->text(),
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
        auto* comment = child<QPlainTextEdit>(w.main, "comment");
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
};

QTEST_MAIN(TestCommentBox)
#include "test_comment_box.moc"
