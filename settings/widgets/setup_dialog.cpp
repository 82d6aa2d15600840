#include "settings/widgets/setup_dialog.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>

#include "settings/layouts.h"

namespace fotavi {

using namespace Qt::StringLiterals;

namespace {

// Places a control by its position and size in twips.
void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                        height / kTwipsPerPixel);
}

// QLineEdit keeps the line breaks of pasted or set text; a phrase must stay
// on one line of def_list.txt, so each line break becomes a space.
class OneLineValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override {
        if (!input.contains(u'\r') && !input.contains(u'\n')) return Acceptable;
        const auto flatten = [](QString text) {
            text.replace(u"\r\n"_s, u" "_s);
            text.replace(u'\r', u' ');
            text.replace(u'\n', u' ');
            return text;
        };
        pos = static_cast<int>(flatten(input.left(pos)).size());
        input = flatten(input);
        return Acceptable;
    }
};

}  // namespace

SettingsDialog::SettingsDialog(const Settings& current, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(u"SettingsDialog"_s);
    setWindowTitle(u"設定"_s);
    setWindowIcon(QApplication::windowIcon());
    // Resizable, but the controls stay where they are: no layout manager.
    resize(3000 / kTwipsPerPixel, 3120 / kTwipsPerPixel);
    // A frame's caption sits on its top line, so the controls placed a few
    // pixels below the frame's top stand inside it.
    setStyleSheet(
        u"QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"_s);

    Frame1_ = new QGroupBox(u"画面の大きさ"_s, this);
    Frame1_->setObjectName(u"Frame1"_s);
    place(Frame1_, 120, 120, 2775, 615);

    size_sw_[0] = new QRadioButton(u"640 * 480"_s, Frame1_);
    size_sw_[0]->setObjectName(u"size_sw0"_s);
    place(size_sw_[0], 240, 240, 1095, 255);
    size_sw_[1] = new QRadioButton(u"480 * 360"_s, Frame1_);
    size_sw_[1]->setObjectName(u"size_sw1"_s);
    place(size_sw_[1], 1560, 240, 1095, 255);
    size_group_ = new QButtonGroup(this);
    size_group_->addButton(size_sw_[0], 0);
    size_group_->addButton(size_sw_[1], 1);
    for (QRadioButton* option : size_sw_) option->installEventFilter(this);

    Frame2_ = new QGroupBox(u"登録文字"_s, this);
    Frame2_->setObjectName(u"Frame2"_s);
    place(Frame2_, 120, 840, 2775, 1695);

    static const char16_t* const kInitialTexts[] = {
        u"左端のボタンです", u"左から２つ目のボタンです", u"左から３つ目のボタンです",
        u"右端のボタンです"};
    auto* one_line = new OneLineValidator(this);
    for (int n = 0; n < 4; ++n) {
        auto* edit = new QLineEdit(QString::fromUtf16(kInitialTexts[n]), Frame2_);
        edit->setObjectName(u"phrase%1"_s.arg(n));
        edit->setValidator(one_line);
        place(edit, 120, 240 + 360 * n, 2535, 270);
        phrase_edits_[static_cast<size_t>(n)] = edit;
    }

    ok_button_ = new QPushButton(u"決定(&K)"_s, this);
    ok_button_->setObjectName(u"ok"_s);
    place(ok_button_, 240, 2640, 1095, 375);
    cancel_button_ = new QPushButton(u"取消(&C)"_s, this);
    cancel_button_->setObjectName(u"cancel"_s);
    place(cancel_button_, 1680, 2640, 1095, 375);
    // Neither button answers Enter: a push button in a dialog is auto-default
    // unless told otherwise.
    for (QPushButton* button : {ok_button_, cancel_button_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    QWidget* order[] = {size_sw_[0],   size_sw_[1],   phrase_edits_[0], phrase_edits_[1],
                        phrase_edits_[2], phrase_edits_[3], ok_button_,         cancel_button_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    size_sw_[current.size_large ? 0 : 1]->setChecked(true);
    for (size_t n = 0; n < 4; ++n) phrase_edits_[n]->setText(current.phrases[n]);

    connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);
}

Settings SettingsDialog::chosen() const {
    Settings settings;
    settings.size_large = size_sw_[0]->isChecked();
    for (size_t n = 0; n < 4; ++n) settings.phrases[n] = phrase_edits_[n]->text();
    return settings;
}

std::optional<Settings> SettingsDialog::edit(QWidget* parent, const Settings& current) {
    SettingsDialog dialog(current, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen();
}

// Every arrow key moves to the other size and selects it, as arrow keys do
// in a Windows option group; Qt alone moves only towards a button lying in
// the arrow's direction, so Up and Down would do nothing between two buttons
// side by side.
bool SettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool arrow =
            key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
        const auto at = std::find(size_sw_.begin(), size_sw_.end(), watched);
        if (arrow && at != size_sw_.end()) {
            QRadioButton* other = size_sw_[at == size_sw_.begin() ? 1 : 0];
            other->setFocus(Qt::OtherFocusReason);
            other->setChecked(true);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SettingsDialog::keyPressEvent(QKeyEvent* event) {
    // QDialog would click a default button on Enter and reject on Esc; here
    // neither key does anything.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            break;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace fotavi
