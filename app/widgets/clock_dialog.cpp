#include "app/widgets/clock_dialog.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <utility>

#include "pictures/clock_correction.h"
#include "platform/date_time.h"

namespace fotavi {

namespace {

QSpinBox* spin_box(QWidget* parent, const char* name, int most, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(-most, most);
    box->setValue(value);
    return box;
}

}  // namespace

ClockDialog::ClockDialog(const ClockQuestion& question, QWidget* parent)
    : QDialog(parent), question_(question) {
    setWindowTitle(QStringLiteral("時刻を合わせる"));
    auto* about = new QLabel(
        QStringLiteral("写真: %1\nカメラ: %2\nカメラの時計の時刻: %3\n\n"
                       "このカメラで撮ったフォルダの写真すべての時刻を合わせます"
                       "（%4で並べるとき）。写真のファイルは書き換えません。")
            .arg(question.name, question.camera, format_date(question.recorded, u"ddddd(aaa)hh:mm"),
                 question.capture_time ? QStringLiteral("撮影日時")
                                       : QStringLiteral("ファイルの日時")),
        this);
    about->setTextFormat(Qt::PlainText);  // a file or camera named "<b>" is no markup
    about->setWordWrap(true);

    by_time_ = new QRadioButton(QStringLiteral("本当に撮った日時(&R):"), this);
    by_time_->setObjectName(QStringLiteral("clock_by_time"));
    real_time_ = new QDateTimeEdit(
        to_qdatetime(DateTime{question.recorded.seconds + question.seconds}), this);
    real_time_->setObjectName(QStringLiteral("clock_real_time"));
    real_time_->setDisplayFormat(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    by_offset_ = new QRadioButton(QStringLiteral("時計のずれ(&O):"), this);
    by_offset_->setObjectName(QStringLiteral("clock_by_offset"));
    const qint64 minutes_in_all = question.seconds / 60;
    days_ = spin_box(this, "clock_days", 3650, int(minutes_in_all / (24 * 60)));
    hours_ = spin_box(this, "clock_hours", 23, int(minutes_in_all / 60 % 24));
    minutes_ = spin_box(this, "clock_minutes", 59, int(minutes_in_all % 60));
    by_time_->setChecked(true);

    auto* grid = new QGridLayout;
    grid->addWidget(by_time_, 0, 0);
    grid->addWidget(real_time_, 0, 1, 1, 6);
    grid->addWidget(by_offset_, 1, 0);
    int column = 1;
    for (auto [box, unit] : {std::pair{days_, "日"}, {hours_, "時間"}, {minutes_, "分"}}) {
        grid->addWidget(box, 1, column++);
        grid->addWidget(new QLabel(QString::fromUtf8(unit), this), 1, column++);
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* set = buttons->addButton(QStringLiteral("合わせる"), QDialogButtonBox::AcceptRole);
    set->setObjectName(QStringLiteral("clock_set"));
    set->setDefault(true);
    QPushButton* remove =
        buttons->addButton(QStringLiteral("補正をやめる"), QDialogButtonBox::DestructiveRole);
    remove->setObjectName(QStringLiteral("clock_remove"));
    remove->setEnabled(question.seconds != 0);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(remove, &QPushButton::clicked, this, [this] {
        remove_ = true;
        accept();
    });
    connect(by_time_, &QRadioButton::toggled, this, &ClockDialog::mode_changed);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    mode_changed();
}

void ClockDialog::mode_changed() {
    const bool by_time = by_time_->isChecked();
    real_time_->setEnabled(by_time);
    for (QSpinBox* box : {days_, hours_, minutes_}) box->setEnabled(!by_time);
}

qint64 ClockDialog::seconds() const {
    if (by_offset_->isChecked())
        return offset_seconds(days_->value(), hours_->value(), minutes_->value());
    return to_date_time(real_time_->dateTime()).seconds - question_.recorded.seconds;
}

std::optional<ClockAnswer> ClockDialog::ask(QWidget* parent, const ClockQuestion& question) {
    ClockDialog dialog(question, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return ClockAnswer{dialog.remove_ ? 0 : dialog.seconds(), dialog.remove_};
}

}  // namespace fotavi
