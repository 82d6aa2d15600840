#pragma once

#include <QString>
#include <QStringList>

#include "browse/image_table.h"

namespace fotavi {

inline constexpr char kLogName[] = "time_log.txt";

// The lines of time_log.txt for the table: the diary grouped by day, three
// empty lines, then the same as an HTML table. Entries without a comment
// are left out; comments are written exactly as typed.
QStringList log_lines(const ImageTable& table);

struct LogWrite {
    QString error;     // empty on success; names the file and the system's reason
    int replaced = 0;  // characters code page 932 cannot hold, written as "?"
    bool ok() const { return error.isEmpty(); }
};

// Writes time_log.txt into folder (code page 932, CR LF, atomically).
LogWrite z_write_log(const QString& folder, const ImageTable& table);

}  // namespace fotavi
