#pragma once

#include <QString>
#include <QTextDocument>

namespace fotavi {

// A tool tip that shows text exactly as it is: Qt takes a tool tip that looks
// like HTML ("<b>it</b>") for rich text, so such a text is escaped.
inline QString plain_tool_tip(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

}  // namespace fotavi
