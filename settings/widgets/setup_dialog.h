#pragma once

#include <QDialog>

#include <array>
#include <optional>

#include "settings/settings.h"

class QButtonGroup;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace fotavi {

// The settings dialog: the layout size and the four preset phrases. It only
// collects the choice; the caller stores it and applies it to the main window.
// Its children carry their names as objectName ("Frame1", "size_sw0",
// "phrase0", "ok", ...).
class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    // A dialog filled with current: the matching size selected, the phrases in
    // the text fields. OK accepts it, Cancel and the title bar's close
    // button reject it; Enter and Esc do nothing.
    explicit SettingsDialog(const Settings& current, QWidget* parent = nullptr);

    // The settings as the dialog shows them now: size_large when "640 * 480"
    // is selected, the phrases taken whole.
    Settings chosen() const;

    // Opens the dialog modally; the chosen settings after 決定, nothing after
    // 取消 or closing the dialog.
    static std::optional<Settings> edit(QWidget* parent, const Settings& current);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Arrow keys in the size options.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* Frame1_;
    std::array<QRadioButton*, 2> size_sw_;
    QButtonGroup* size_group_;
    QGroupBox* Frame2_;
    std::array<QLineEdit*, 4> phrase_edits_;
    QPushButton* ok_button_;
    QPushButton* cancel_button_;
};

}  // namespace fotavi
