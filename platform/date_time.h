#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>

namespace fotavi {

// Days since 30 December 1899 00:00, local time; the fraction is the time of day.
using DateTime = double;

DateTime to_date_time(const QDateTime& local);
// A wall-clock date and time taken as they stand, with no time zone applied.
DateTime to_date_time(QDate date, QTime time);
QDateTime to_qdatetime(DateTime value);

// Formats value by a pattern of tokens, with Japanese date forms whatever the
// system locale: "ddddd" 2001/09/02, "dddddd" 2001年9月2日, "aaa" 日..土,
// "hh" hour 00-23, "nn" minute, "mm" minute directly after an hour token
// (month otherwise), ":" "(" ")" and any other character as themselves.
QString format_date(DateTime value, QStringView pattern);

}  // namespace fotavi
