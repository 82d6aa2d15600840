#pragma once

#include <QDialog>

#include <optional>

#include "photo_diary/diary.h"

class QCheckBox;
class QPushButton;

namespace fotavi {

// The photo diary's dialog: which forms to write (HTML, PDF), whether the
// pictures without a comment go in, and the folder the files go to. Return
// writes what it shows; at least one form must be chosen. Its children carry
// names ("diary_html", "diary_pdf", "diary_uncommented", "diary_write").
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

    QCheckBox* html_;
    QCheckBox* pdf_;
    QCheckBox* uncommented_;
    QPushButton* write_;
};

}  // namespace fotavi
