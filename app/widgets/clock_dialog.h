#pragma once

#include <QDialog>

#include <optional>

#include "app/ui.h"

class QDateTimeEdit;
class QRadioButton;
class QSpinBox;

namespace fotavi {

// The clock dialog: the time the shown picture was really taken, or the
// offset of its camera's clock in days, hours and minutes. Its children carry
// names ("clock_real_time", "clock_by_time", "clock_by_offset",
// "clock_days", "clock_hours", "clock_minutes", "clock_set", "clock_remove").
class ClockDialog : public QDialog {
    Q_OBJECT
public:
    ClockDialog(const ClockQuestion& question, QWidget* parent = nullptr);

    // The correction the dialog shows now.
    qint64 seconds() const;

    // Opens the dialog modally: a correction after 合わせる, a removal after
    // 補正をやめる, nothing after キャンセル.
    static std::optional<ClockAnswer> ask(QWidget* parent, const ClockQuestion& question);

private:
    void mode_changed();

    ClockQuestion question_;
    QRadioButton* by_time_;
    QRadioButton* by_offset_;
    QDateTimeEdit* real_time_;
    QSpinBox* days_;
    QSpinBox* hours_;
    QSpinBox* minutes_;
    bool remove_ = false;
};

}  // namespace fotavi
