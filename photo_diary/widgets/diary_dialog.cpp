#include "photo_diary/widgets/diary_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fotavi {

namespace {

QCheckBox* check_box(QWidget* parent, const char* name, const QString& caption, bool on) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(on);
    return box;
}

}  // namespace

DiaryDialog::DiaryDialog(const QString& folder, const DiaryChoice& choice, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("写真日誌を書き出す"));
    html_ =
        check_box(this, "diary_html",
                  QStringLiteral("HTML (%1)(&H)").arg(QLatin1String(kDiaryHtmlName)), choice.html);
    pdf_ =
        check_box(this, "diary_pdf",
                  QStringLiteral("PDF (%1, A4)(&P)").arg(QLatin1String(kDiaryPdfName)), choice.pdf);
    uncommented_ =
        check_box(this, "diary_uncommented", QStringLiteral("コメントのない写真も入れる(&U)"),
                  choice.include_uncommented);
    // The folder may be named like markup: plain text, and it may be long.
    auto* place = new QLabel(QDir::toNativeSeparators(folder), this);
    place->setObjectName(QStringLiteral("diary_folder"));
    place->setTextFormat(Qt::PlainText);
    place->setWordWrap(true);
    place->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* note = new QLabel(
        QStringLiteral(
            "time_log.txt と同じフォルダに書き出します。同じ名前のファイルは置き換えます。"),
        this);
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);

    auto* buttons = new QDialogButtonBox(this);
    write_ = buttons->addButton(QStringLiteral("書き出す(&W)"), QDialogButtonBox::AcceptRole);
    write_->setObjectName(QStringLiteral("diary_write"));
    write_->setDefault(true);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QCheckBox* form : {html_, pdf_})
        connect(form, &QCheckBox::toggled, this, &DiaryDialog::forms_changed);

    auto* form = new QFormLayout;
    auto* forms = new QVBoxLayout;
    forms->addWidget(html_);
    forms->addWidget(pdf_);
    form->addRow(QStringLiteral("形式:"), forms);
    form->addRow(QStringLiteral("写真:"), uncommented_);
    form->addRow(QStringLiteral("書き出し先:"), place);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setMinimumWidth(440);
    forms_changed();
}

DiaryChoice DiaryDialog::chosen() const {
    return {html_->isChecked(), pdf_->isChecked(), uncommented_->isChecked()};
}

void DiaryDialog::forms_changed() { write_->setEnabled(html_->isChecked() || pdf_->isChecked()); }

std::optional<DiaryChoice> DiaryDialog::ask(QWidget* parent, const QString& folder,
                                            const DiaryChoice& choice) {
    DiaryDialog dialog(folder, choice, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen();
}

}  // namespace fotavi
