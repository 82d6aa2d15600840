#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "settings/widgets/setup_dialog.h"

using namespace fotavi;
using namespace Qt::StringLiterals;

namespace {

Settings sample(bool size_large) {
    Settings settings;
    settings.size_large = size_large;
    settings.phrases = {u"お昼"_s, QString(), u"休憩"_s, u"&"_s};
    return settings;
}

template <typename T>
T* child(const QWidget& dialog, const QString& name) {
    return dialog.findChild<T*>(name);
}

}  // namespace

class TestSetupDialog : public QObject {
    Q_OBJECT

private slots:
    void window();
    void geometry_data();
    void geometry();
    void captions();
    void opens_with_current_settings_data();
    void opens_with_current_settings();
    void tab_order();
    void ok_returns_edited_settings();
    void cancel_returns_nothing();
    void close_button_cancels();
    void enter_and_esc_do_nothing_data();
    void enter_and_esc_do_nothing();
    void arrows_move_between_the_sizes_data();
    void arrows_move_between_the_sizes();
    void phrases_never_hold_line_breaks();
    void edit_runs_modally();
};

void TestSetupDialog::window() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::darkGreen);
    QApplication::setWindowIcon(QIcon(pixmap));
    SettingsDialog dialog(Settings{});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), u"設定"_s);
    QCOMPARE(dialog.size(), QSize(200, 208));  // 3000 by 3120 twips
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(dialog.windowIcon().cacheKey() == QApplication::windowIcon().cacheKey());

    // Resizing moves nothing.
    auto* ok = child<QPushButton>(dialog, u"ok"_s);
    const QRect before = ok->geometry();
    dialog.resize(400, 400);
    QCOMPARE(dialog.size(), QSize(400, 400));
    QCOMPARE(ok->geometry(), before);
}

void TestSetupDialog::geometry_data() {
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("rect");  // in pixels, from twips / 15

    QTest::newRow("Frame1") << u"SettingsDialog"_s << QRect(8, 8, 185, 41);
    QTest::newRow("size_sw0") << u"Frame1"_s << QRect(16, 16, 73, 17);
    QTest::newRow("size_sw1") << u"Frame1"_s << QRect(104, 16, 73, 17);
    QTest::newRow("Frame2") << u"SettingsDialog"_s << QRect(8, 56, 185, 113);
    QTest::newRow("phrase0") << u"Frame2"_s << QRect(8, 16, 169, 18);
    QTest::newRow("phrase1") << u"Frame2"_s << QRect(8, 40, 169, 18);
    QTest::newRow("phrase2") << u"Frame2"_s << QRect(8, 64, 169, 18);
    QTest::newRow("phrase3") << u"Frame2"_s << QRect(8, 88, 169, 18);
    QTest::newRow("ok") << u"SettingsDialog"_s << QRect(16, 176, 73, 25);
    QTest::newRow("cancel") << u"SettingsDialog"_s << QRect(112, 176, 73, 25);
}

void TestSetupDialog::geometry() {
    QFETCH(QString, parent);
    QFETCH(QRect, rect);
    SettingsDialog dialog(Settings{});
    dialog.show();
    auto* widget = child<QWidget>(dialog, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), rect);
}

void TestSetupDialog::captions() {
    SettingsDialog dialog(Settings{});
    QCOMPARE(child<QGroupBox>(dialog, u"Frame1"_s)->title(), u"画面の大きさ"_s);
    QCOMPARE(child<QGroupBox>(dialog, u"Frame2"_s)->title(), u"登録文字"_s);
    QCOMPARE(child<QRadioButton>(dialog, u"size_sw0"_s)->text(), u"640 * 480"_s);
    QCOMPARE(child<QRadioButton>(dialog, u"size_sw1"_s)->text(), u"480 * 360"_s);
    auto* ok = child<QPushButton>(dialog, u"ok"_s);
    auto* cancel = child<QPushButton>(dialog, u"cancel"_s);
    QCOMPARE(ok->text(), u"決定(&K)"_s);
    QCOMPARE(cancel->text(), u"取消(&C)"_s);
    for (QPushButton* button : {ok, cancel}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void TestSetupDialog::opens_with_current_settings_data() {
    QTest::addColumn<bool>("size_large");
    QTest::newRow("small") << false;
    QTest::newRow("large") << true;
}

void TestSetupDialog::opens_with_current_settings() {
    QFETCH(bool, size_large);
    const Settings current = sample(size_large);
    SettingsDialog dialog(current);
    QCOMPARE(child<QRadioButton>(dialog, u"size_sw0"_s)->isChecked(), size_large);
    QCOMPARE(child<QRadioButton>(dialog, u"size_sw1"_s)->isChecked(), !size_large);
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(child<QLineEdit>(dialog, u"phrase%1"_s.arg(n))->text(), current.phrases[n]);
    }
    // Accepting without a change gives back what was there.
    QCOMPARE(dialog.chosen(), current);
}

void TestSetupDialog::tab_order() {
    SettingsDialog dialog(Settings{});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QStringList expected{u"size_sw0"_s,   u"size_sw1"_s,   u"phrase0"_s, u"phrase1"_s,
                               u"phrase2"_s, u"phrase3"_s, u"ok"_s,       u"cancel"_s};
    // Qt lets Tab into a group of option buttons at one of them only (arrows
    // move inside), so the chain is read without regard to Tab focus.
    QStringList chain;
    QWidget* widget = child<QWidget>(dialog, expected.first());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        chain << widget->objectName();
        do {
            widget = widget->nextInFocusChain();
        } while (widget->focusPolicy() == Qt::NoFocus);
    }
    QCOMPARE(chain, expected);
    QCOMPARE(widget->objectName(), expected.first());  // and round again
}

void TestSetupDialog::ok_returns_edited_settings() {
    SettingsDialog dialog(sample(false));
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mouseClick(child<QRadioButton>(dialog, u"size_sw0"_s), Qt::LeftButton);
    auto* first = child<QLineEdit>(dialog, u"phrase0"_s);
    first->clear();
    QTest::keyClicks(first, u"  spaced  "_s);
    child<QLineEdit>(dialog, u"phrase2"_s)->clear();  // an empty phrase is valid
    child<QLineEdit>(dialog, u"phrase3"_s)->setText(u"ｶﾒﾗ"_s);

    QTest::mouseClick(child<QPushButton>(dialog, u"ok"_s), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());

    Settings expected;
    expected.size_large = true;
    expected.phrases = {u"  spaced  "_s, QString(), QString(), u"ｶﾒﾗ"_s};
    QCOMPARE(dialog.chosen(), expected);
}

void TestSetupDialog::cancel_returns_nothing() {
    SettingsDialog dialog(sample(true));
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(child<QRadioButton>(dialog, u"size_sw1"_s), Qt::LeftButton);
    child<QLineEdit>(dialog, u"phrase0"_s)->setText(u"changed"_s);
    QTest::mouseClick(child<QPushButton>(dialog, u"cancel"_s), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TestSetupDialog::close_button_cancels() {
    SettingsDialog dialog(sample(true));
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.close());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
}

void TestSetupDialog::enter_and_esc_do_nothing_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    for (const QString& focus : {u"phrase0"_s, u"size_sw0"_s, u"ok"_s, u"cancel"_s}) {
        QTest::addRow("Return in %s", qPrintable(focus)) << focus << int(Qt::Key_Return);
        QTest::addRow("Enter in %s", qPrintable(focus)) << focus << int(Qt::Key_Enter);
        QTest::addRow("Esc in %s", qPrintable(focus)) << focus << int(Qt::Key_Escape);
    }
}

void TestSetupDialog::enter_and_esc_do_nothing() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    SettingsDialog dialog(sample(false));
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* widget = child<QWidget>(dialog, focus);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key(key));
    QTest::keyClick(widget, Qt::Key(key), Qt::KeypadModifier);
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.chosen(), sample(false));
}

void TestSetupDialog::arrows_move_between_the_sizes_data() {
    QTest::addColumn<bool>("size_large");  // the option that has the focus first
    QTest::addColumn<int>("key");
    const std::pair<const char*, int> keys[] = {{"Up", Qt::Key_Up},
                                                {"Down", Qt::Key_Down},
                                                {"Left", Qt::Key_Left},
                                                {"Right", Qt::Key_Right}};
    for (const auto& [name, key] : keys) {
        QTest::addRow("%s from 640 * 480", name) << true << key;
        QTest::addRow("%s from 480 * 360", name) << false << key;
    }
}

void TestSetupDialog::arrows_move_between_the_sizes() {
    QFETCH(bool, size_large);
    QFETCH(int, key);
    SettingsDialog dialog(sample(size_large));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* from = child<QRadioButton>(dialog, size_large ? u"size_sw0"_s : u"size_sw1"_s);
    auto* to = child<QRadioButton>(dialog, size_large ? u"size_sw1"_s : u"size_sw0"_s);
    from->setFocus();
    QTest::keyClick(from, Qt::Key(key));
    QVERIFY(to->hasFocus());
    QVERIFY(to->isChecked());
    QVERIFY(!from->isChecked());
    QCOMPARE(dialog.chosen().size_large, !size_large);
    // And back again.
    QTest::keyClick(to, Qt::Key(key));
    QVERIFY(from->hasFocus() && from->isChecked());
}

void TestSetupDialog::phrases_never_hold_line_breaks() {
    SettingsDialog dialog(sample(false));
    dialog.show();
    auto* edit = child<QLineEdit>(dialog, u"phrase1"_s);

    edit->clear();
    QApplication::clipboard()->setText(u"a\r\nb\nc\rd"_s);
    edit->paste();
    QCOMPARE(edit->text(), u"a b c d"_s);
    QCOMPARE(edit->cursorPosition(), 7);

    edit->setText(u"x\ny"_s);
    QCOMPARE(edit->text(), u"x y"_s);

    edit->setCursorPosition(1);
    edit->insert(u"\n"_s);
    QCOMPARE(edit->text(), u"x  y"_s);
    QVERIFY(!dialog.chosen().phrases[1].contains(u'\n'));
}

void TestSetupDialog::edit_runs_modally() {
    // exec() blocks, so the answer is given from inside its event loop.
    const auto answer = [](const QString& button, const QString& phrase) {
        QTimer::singleShot(0, [button, phrase] {
            auto* dialog = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QVERIFY(dialog->isModal());
            child<QLineEdit>(*dialog, u"phrase0"_s)->setText(phrase);
            QTest::mouseClick(child<QPushButton>(*dialog, button), Qt::LeftButton);
        });
    };

    answer(u"ok"_s, u"new"_s);
    const std::optional<Settings> accepted = SettingsDialog::edit(nullptr, sample(false));
    QVERIFY(accepted.has_value());
    QCOMPARE(accepted->phrases[0], u"new"_s);
    QCOMPARE(accepted->size_large, false);

    answer(u"cancel"_s, u"lost"_s);
    QVERIFY(!SettingsDialog::edit(nullptr, sample(false)).has_value());
}

QTEST_MAIN(TestSetupDialog)
#include "test_setup_dialog.moc"
