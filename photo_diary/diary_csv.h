#pragma once

#include <QByteArray>

#include <vector>

#include "photo_diary/diary.h"

namespace fotavi {

// The diary as a table for spreadsheets: UTF-8 with a byte-order mark (so
// that spreadsheet programs set to Japanese take it as UTF-8), a header row
// 日付, 時刻, ファイル, コメント, then one row per entry, CR LF after each
// row. A field holding a comma, a quote or a line break is quoted, its quotes
// doubled; line breaks inside a comment stay in its quoted field as LF.
QByteArray diary_csv(const std::vector<DiaryEntry>& entries);

// One field as the table writes it.
QString csv_field(const QString& text);

}  // namespace fotavi
