#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "album.h"
#include "app/widgets/main_window.h"
#include "controls.h"
#include "photo_diary/widgets/diary_dialog.h"
#include "overview/widgets/overview_view.h"
#include "overview/widgets/overview_window.h"

using namespace fotavi;

namespace {

// The main window on a folder, with the overview opened from its menu.
struct Opened : Window {
    OverviewWindow* overview = nullptr;
    OverviewView* view = nullptr;

    explicit Opened(const QString& picture) : Window({picture}) {
        main.findChild<QAction*>("overview_action")->trigger();
        overview = main.overview();
        QVERIFY(overview && overview->isVisible());
        view = &overview->view();
        QVERIFY(QTest::qWaitForWindowExposed(overview));
    }
    QString shown_name() { return child<QLabel>(main, "file_name")->text(); }
    QPlainTextEdit* comment_box() { return child<QPlainTextEdit>(main, "comment"); }
    QString count() { return child<QLabel>(*overview, "overview_count")->text(); }
    void key(Qt::Key key) { QTest::keyClick(view, key); }
};

}  // namespace

class TestOverviewWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Thumbnails made here stay out of the user's cache.
        static QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    }

    // Keys move through the days; Enter shows the picture in the main window
    // as Next does (the comment typed kept, the focus in the comment box);
    // the overview stays open and follows what is typed there.
    void keys_and_the_jump() {
        Album album;
        for (int i = 0; i < 5; ++i)
            album.add(QStringLiteral("P%1.JPG").arg(i), at(2001, 9, 2 + i / 3, 8 + i, 0));
        Opened o(album.file("P0.JPG"));
        QCOMPARE(o.count(), QStringLiteral("コメント 0 / 5"));
        QCOMPARE(o.view->selected(), 0);  // the picture the main window shows
        o.comment_box()->setPlainText("first");
        QTRY_COMPARE(o.count(), QStringLiteral("コメント 1 / 5"));
        o.key(Qt::Key_Right);
        QCOMPARE(o.view->selected(), 1);
        o.key(Qt::Key_Down);  // into the next day, same column
        QCOMPARE(o.view->selected(), 4);
        o.key(Qt::Key_Home);
        QCOMPARE(o.view->selected(), 0);
        o.key(Qt::Key_End);
        QCOMPARE(o.view->selected(), 4);
        o.key(Qt::Key_Return);
        QCOMPARE(o.shown_name(), QStringLiteral("P4.JPG"));
        QCOMPARE(o.main.commands().document().comment(0), QStringLiteral("first"));
        QVERIFY(o.comment_box()->toPlainText().isEmpty());
        QCOMPARE(o.main.focusWidget(), o.comment_box());
        QVERIFY(o.overview->isVisible());
        o.comment_box()->setPlainText("last");
        QCOMPARE(o.count(), QStringLiteral("コメント 2 / 5"));

        // Only the uncommented; a double click jumps as well.
        child<QCheckBox>(*o.overview, "overview_uncommented_only")->click();
        QCOMPARE(o.overview->model().count(), 3);
        QCOMPARE(o.view->selected(), 3);  // P4 left the list: the nearest stands in
        const QRect cell = o.view->viewport()->rect();
        QTest::mouseDClick(o.view->viewport(), Qt::LeftButton, {},
                           cell.topLeft() + QPoint(80, 120));  // the first cell, under its day
        QCOMPARE(o.shown_name(), QStringLiteral("P1.JPG"));

        QTest::keyClick(o.view, Qt::Key_Escape);
        QVERIFY(!o.overview->isVisible());
        o.main.findChild<QAction*>("overview_action")->trigger();
        QVERIFY(o.overview->isVisible());
        QCOMPARE(o.view->selected(), 1);
    }

    // A large folder of files that are no pictures: only what is on screen
    // and a margin is asked for, each cell gets its reason, and the list
    // follows a rename of every file, back at the picture the main window shows.
    void large_folder_of_broken_pictures() {
        Album album;
        for (int i = 0; i < 3000; ++i)
            album.add_bytes(QStringLiteral("X%1.JPG").arg(i, 4, 10, QChar(u'0')), {},
                            at(2001, 9, 2, 0, 0).addSecs(i * 60));
        Opened o(album.file("X0000.JPG"));
        QCOMPARE(o.count(), QStringLiteral("コメント 0 / 3000"));
        QTRY_VERIFY(!o.view->wanted().isEmpty());
        QVERIFY(o.view->wanted().size() < 200);
        QCOMPARE(o.view->wanted().first(), album.file("X0000.JPG"));
        QTRY_COMPARE(o.view->on_screen().final, o.view->on_screen().cells);
        QVERIFY(o.view->on_screen().cells > 0);
        QCOMPARE(o.view->on_screen().pictures, 0);

        o.key(Qt::Key_End);
        QTRY_VERIFY(o.view->wanted().contains(album.file("X2999.JPG")));
        QVERIFY(!o.view->wanted().contains(album.file("X0000.JPG")));
        QCOMPARE(o.view->verticalScrollBar()->value(), o.view->verticalScrollBar()->maximum());
        o.key(Qt::Key_Return);
        QCOMPARE(o.shown_name(), QStringLiteral("X2999.JPG"));
        o.key(Qt::Key_Home);

        // Its message is closed as soon as it shows.
        QTimer closer;
        connect(&closer, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        closer.start(20);
        o.main.commands().lower_case_names();
        QTRY_VERIFY(o.view->wanted().contains(album.file("x2999.jpg")));
        QCOMPARE(o.view->selected(), 2999);  // the picture shown, listed anew
    }

    // The photo diary's dialog: Return writes what it shows; without a form
    // nothing can be written; the folder is shown as it is named.
    void diary_dialog_data() {
        QTest::addColumn<QStringList>("clicks");  // check boxes clicked before Return
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("chosen");  // html pdf uncommented, as 0 and 1
        QTest::newRow("defaults") << QStringList{} << true << "110";
        QTest::newRow("PDF only, with the uncommented")
            << QStringList{"diary_html", "diary_uncommented"} << true << "011";
        QTest::newRow("no form") << QStringList{"diary_html", "diary_pdf"} << false << "";
    }
    void diary_dialog() {
        QFETCH(QStringList, clicks);
        QFETCH(bool, accepted);
        QFETCH(QString, chosen);
        DiaryDialog dialog("/pictures/<b>trip</b>", DiaryChoice());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(child<QLabel>(dialog, "diary_folder")->text(), "/pictures/<b>trip</b>");
        QCOMPARE(child<QLabel>(dialog, "diary_folder")->textFormat(), Qt::PlainText);
        for (const QString& name : clicks) child<QCheckBox>(dialog, qPrintable(name))->click();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog.isVisible(), !accepted);
        const DiaryChoice c = dialog.chosen();
        if (accepted)
            QCOMPARE(QString("%1%2%3").arg(c.html).arg(c.pdf).arg(c.include_uncommented), chosen);
    }
};

QTEST_MAIN(TestOverviewWindow)
#include "test_overview_window.moc"
