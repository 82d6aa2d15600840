#pragma once

#include <QDialog>

#include <optional>

#include "photo_diary/diary.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace fotavi {

// The photo diary's dialog: the title, which forms to write (HTML, PDF,
// CSV), the page layout, whether the pictures without a comment go in,
// whether what was written is opened, and the folder the files go to. Return
// writes what it shows; at least one form must be chosen. Its children carry
// names ("diary_title", "diary_html", "diary_pdf", "diary_csv",
// "diary_layout", "diary_uncommented", "diary_open", "diary_write").
class DiaryDialog : public QDialog {
    Q_OBJECT
public:
    DiaryDialog(const QString& folder, const DiaryChoice& choice, QWidget* parent = nullptr);

    DiaryChoice chosen() const;

    // Opens the dialog modally; the choice after 書き出す, nothing after キャンセル.
    static std::optional<DiaryChoice> ask(QWidget* parent, const QString& folder,
                                          const DiaryChoice& choice);

private:
    void forms_changed();

    QLineEdit* title_;
    QCheckBox* html_;
    QCheckBox* pdf_;
    QCheckBox* csv_;
    QComboBox* layout_;
    QCheckBox* uncommented_;
    QCheckBox* open_;
    QPushButton* write_;
};

}  // namespace fotavi
