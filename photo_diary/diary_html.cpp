#include "photo_diary/diary_html.h"

#include <QFileInfo>

#include "platform/text_file.h"

using namespace Qt::StringLiterals;

namespace fotavi {

namespace {

// The page's look, on screen and on A4 paper. An entry keeps together on
// one page; a day heading never stays alone at the foot of a page.
constexpr char kStyle[] = R"(
:root { color-scheme: light; }
body { font-family: "Noto Sans CJK JP", "Noto Sans JP", "Hiragino Sans", "Yu Gothic", sans-serif;
  margin: 2em auto; max-width: 50em; padding: 0 1em; color: #222; background: #fff; line-height: 1.6; }
h1 { font-size: 1.6em; margin: 0 0 .2em; }
.summary { color: #666; margin: 0 0 1.5em; }
h2 { font-size: 1.25em; border-bottom: 2px solid #8a6; padding-bottom: .15em; margin: 1.6em 0 .8em;
  break-after: avoid; page-break-after: avoid; }
.entry { display: flex; gap: 1.2em; align-items: flex-start; margin: 0 0 1.2em;
  break-inside: avoid; page-break-inside: avoid; }
.picture { flex: 0 0 auto; width: 20em; max-width: 45%; }
.picture img { display: block; max-width: 100%; max-height: 15em; width: auto; height: auto;
  margin: 0 auto; border-radius: 3px; }
.missing { border: 1px dashed #999; background: #f2f2f2; color: #555; padding: 2.5em 1em;
  font-size: .9em; text-align: center; }
.text { flex: 1 1 auto; min-width: 0; }
.time { font-weight: bold; font-size: 1.1em; }
.name { color: #888; font-size: .8em; margin-left: .6em; }
.comment { white-space: pre-wrap; overflow-wrap: anywhere; margin: .3em 0 0; }
@page { size: A4; margin: 15mm 15mm 18mm; }
@media print {
  body { margin: 0; max-width: none; padding: 0; font-size: 10.5pt; }
  .picture { width: 70mm; }
  .picture img { max-height: 53mm; }
}
)";

// The denser layouts: entries side by side in a grid, each picture above its
// text; the contact sheet cuts comments to two lines.
constexpr char kGridStyle[] = R"(
.entries { display: grid; gap: 1em 1.2em; align-items: start; }
.two-columns .entries { grid-template-columns: repeat(2, minmax(0, 1fr)); }
.contact-sheet .entries { grid-template-columns: repeat(3, minmax(0, 1fr)); }
.entries .entry { display: block; margin: 0; }
.entries .picture { width: auto; max-width: none; margin-bottom: .3em; }
.entries .picture img { max-height: 12em; }
.contact-sheet .entries .picture img { max-height: 9em; }
.contact-sheet .comment { display: -webkit-box; -webkit-box-orient: vertical; -webkit-line-clamp: 2;
  line-clamp: 2; overflow: hidden; font-size: .85em; }
@media print {
  .two-columns .entries .picture img { max-height: 40mm; }
  .contact-sheet .entries .picture img { max-height: 33mm; }
  .contact-sheet { font-size: 9pt; }
}
)";

bool allowed_in_html(char16_t c) {
    if (c == u'\n' || c == u'\t') return true;
    return c >= 0x20 && !(c >= 0x7F && c <= 0x9F);
}

// An entry as UTF-8 bytes: the picture's data, most of it, goes in as it is.
QByteArray entry_html(const DiaryEntry& entry, const DiaryPicture& picture) {
    QByteArray html;
    const QString name = html_escape(QFileInfo(entry.picture_path).fileName());
    html += "<div class=\"entry\">\n<div class=\"picture\">";
    if (!picture.jpeg.isEmpty()) {
        html += QStringLiteral("<img alt=\"%1\" width=\"%2\" height=\"%3\" ")
                    .arg(name)
                    .arg(picture.size.width())
                    .arg(picture.size.height())
                    .toUtf8();
        html += "src=\"data:image/jpeg;base64,";
        html += picture.jpeg.toBase64();
        html += "\">";
    } else {
        html += (u"<div class=\"missing\">表示できません<br>"_s + html_escape(picture.error) +
                 u"</div>"_s)
                    .toUtf8();
    }
    html += (u"</div>\n<div class=\"text\"><div><span class=\"time\">"_s + html_escape(entry.time) +
             u"</span><span class=\"name\">"_s + name + u"</span></div>\n"_s)
                .toUtf8();
    if (!entry.comment.isEmpty())
        html += (u"<p class=\"comment\">"_s + html_escape(entry.comment) + u"</p>\n"_s).toUtf8();
    html += "</div>\n</div>\n";
    return html;
}

}  // namespace

QString html_escape(QStringView text) {
    const QString folded = fold_line_breaks(text.toString());
    QString out;
    out.reserve(folded.size() + folded.size() / 8);
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const char16_t c = folded.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < folded.size() &&
            QChar::isLowSurrogate(folded.at(i + 1).unicode())) {
            out += folded.at(i);
            out += folded.at(++i);
            continue;
        }
        switch (c) {
            case u'&':
                out += u"&amp;"_s;
                break;
            case u'<':
                out += u"&lt;"_s;
                break;
            case u'>':
                out += u"&gt;"_s;
                break;
            case u'"':
                out += u"&quot;"_s;
                break;
            case u'\'':
                out += u"&#39;"_s;
                break;
            default:
                out += allowed_in_html(c) && !QChar::isSurrogate(c) ? QChar(c) : QChar(0xFFFD);
        }
    }
    return out;
}

void write_diary_html(const DiarySink& put, const QString& title,
                      const std::vector<DiaryEntry>& entries, const DiaryPictures& pictures,
                      DiaryLayout layout) {
    const bool grid = layout != DiaryLayout::Standard;
    QString head;
    // Nothing may load or run: the pictures are data in the page itself.
    head +=
        u"<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        u"<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        u"img-src data:; style-src 'unsafe-inline'\">\n"
        u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        u"<meta name=\"generator\" content=\"fotavi\">\n<title>"_s;
    head += html_escape(title) + u"</title>\n<style>"_s + QLatin1String(kStyle);
    if (grid) head += QLatin1String(kGridStyle);
    head += u"</style>\n</head>\n"_s;
    head += grid ? QStringLiteral("<body class=\"%1\">\n").arg(diary_layout_name(layout))
                 : u"<body>\n"_s;
    head += u"<h1>"_s + html_escape(title) + u"</h1>\n"_s;
    const std::vector<DiaryDay> days = group_by_day(entries);
    if (!days.empty()) {
        head += u"<p class=\"summary\">"_s + html_escape(days.front().day);
        if (days.size() > 1) head += u" ～ "_s + html_escape(days.back().day);
        head += QStringLiteral("　写真 %1 枚</p>\n").arg(entries.size());
    }
    if (!put(head.toUtf8())) return;
    for (const DiaryDay& day : days) {
        QByteArray html =
            (u"<section class=\"day\">\n<h2>"_s + html_escape(day.day) + u"</h2>\n"_s).toUtf8();
        if (grid) html += "<div class=\"entries\">\n";
        for (const DiaryEntry* entry : day.entries) {
            if (!put(html)) return;
            html = entry_html(*entry, pictures.read(int(entry - entries.data())));
        }
        if (grid) html += "</div>\n";
        html += "</section>\n";
        if (!put(html)) return;
    }
    put("</body>\n</html>\n");
}

}  // namespace fotavi
