#pragma once

#include <QPlainTextEdit>

#include <functional>

namespace fotavi {

// The comment box: plain text of at most kCommentLimit characters, typed,
// pasted, dropped or given by an input method. What does not fit is left out:
// a key at the limit only beeps; a longer text is cut and on_too_long is told
// how many characters were left out.
class CommentBox : public QPlainTextEdit {
public:
    explicit CommentBox(QWidget* parent);
    std::function<void(int left_out)> on_too_long;

protected:
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // Characters that still fit, the selection (which new text replaces) included.
    qsizetype room() const;
    // text as far as it fits; says what was left out.
    QString fitted(const QString& text);
};

}  // namespace fotavi
