#include "photo_diary/widgets/diary_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
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
    csv_ = check_box(this, "diary_csv",
                     QStringLiteral("表 (%1)(&C)").arg(QLatin1String(kDiaryCsvName)), choice.csv);
    uncommented_ =
        check_box(this, "diary_uncommented", QStringLiteral("コメントのない写真も入れる(&U)"),
                  choice.include_uncommented);
    open_ = check_box(this, "diary_open", QStringLiteral("書き出したら開く(&O)"),
                      choice.open_when_done);
    title_ = new QLineEdit(choice.title, this);
    title_->setObjectName(QStringLiteral("diary_title"));
    title_->setPlaceholderText(default_diary_title(folder));
    layout_ = new QComboBox(this);
    layout_->setObjectName(QStringLiteral("diary_layout"));
    layout_->addItem(QStringLiteral("写真の横に文（1 ページ 4 枚）"), int(DiaryLayout::Standard));
    layout_->addItem(QStringLiteral("2 列（1 ページ 8 枚）"), int(DiaryLayout::TwoColumns));
    layout_->addItem(QStringLiteral("一覧（1 ページ 12 枚以上、コメントは 2 行まで）"),
                     int(DiaryLayout::ContactSheet));
    layout_->setCurrentIndex(layout_->findData(int(choice.layout)));
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
    for (QCheckBox* form : {html_, pdf_, csv_})
        connect(form, &QCheckBox::toggled, this, &DiaryDialog::forms_changed);

    auto* form = new QFormLayout;
    auto* forms = new QVBoxLayout;
    forms->addWidget(html_);
    forms->addWidget(pdf_);
    forms->addWidget(csv_);
    auto* title_label = new QLabel(QStringLiteral("題(&T):"), this);
    title_label->setBuddy(title_);
    form->addRow(title_label, title_);
    form->addRow(QStringLiteral("形式:"), forms);
    auto* layout_label = new QLabel(QStringLiteral("割り付け(&L):"), this);
    layout_label->setBuddy(layout_);
    form->addRow(layout_label, layout_);
    form->addRow(QStringLiteral("写真:"), uncommented_);
    form->addRow(QStringLiteral("書き出し先:"), place);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(open_);
    layout->addWidget(buttons);
    setMinimumWidth(440);
    forms_changed();
}

DiaryChoice DiaryDialog::chosen() const {
    DiaryChoice choice;
    choice.html = html_->isChecked();
    choice.pdf = pdf_->isChecked();
    choice.csv = csv_->isChecked();
    choice.include_uncommented = uncommented_->isChecked();
    choice.title = title_->text().trimmed();
    choice.layout = DiaryLayout(layout_->currentData().toInt());
    choice.open_when_done = open_->isChecked();
    return choice;
}

void DiaryDialog::forms_changed() {
    write_->setEnabled(html_->isChecked() || pdf_->isChecked() || csv_->isChecked());
}

std::optional<DiaryChoice> DiaryDialog::ask(QWidget* parent, const QString& folder,
                                            const DiaryChoice& choice) {
    DiaryDialog dialog(folder, choice, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen();
}

}  // namespace fotavi
