#include "app/widgets/comment_box.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

#include "document/folder_document.h"

namespace fotavi {

CommentBox::CommentBox(QWidget* parent) : QPlainTextEdit(parent) {}

qsizetype CommentBox::room() const {
    const qsizetype length = document()->characterCount() - 1;  // without the last paragraph's end
    return kCommentLimit - length + textCursor().selectedText().size();
}

QString CommentBox::fitted(const QString& text) {
    const qsizetype fits = std::max<qsizetype>(0, room());
    if (text.size() <= fits) return text;
    if (on_too_long) on_too_long(int(text.size() - fits));
    return text.left(fits);
}

void CommentBox::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) return;
    insertPlainText(fitted(source->text()));
    ensureCursorVisible();
}

void CommentBox::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool types = !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\r');
    if (types && room() < text.size()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CommentBox::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().size() <= room()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent cut(event->preeditString(), event->attributes());
    cut.setCommitString(fitted(event->commitString()), event->replacementStart(),
                        event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&cut);
}

}  // namespace fotavi
