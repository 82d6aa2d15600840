#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>

#include <compare>

namespace fotavi {

// A local wall-clock moment in whole seconds since 30 December 1899 00:00,
// day 0 of the serial dates spreadsheets count. Whole seconds in an integer, so
// two pictures of one second compare equal and no sum drifts.
struct DateTime {
    qint64 seconds = 0;

    auto operator<=>(const DateTime&) const = default;
    // The seconds from other to this one.
    qint64 operator-(const DateTime& other) const { return seconds - other.seconds; }
};

inline constexpr qint64 kSecondsPerMinute = 60;
inline constexpr qint64 kSecondsPerDay = 86400;

DateTime to_date_time(const QDateTime& local);
// A wall-clock date and time taken as they stand, with no time zone applied.
DateTime to_date_time(QDate date, QTime time);
QDateTime to_qdatetime(DateTime value);

// Whether value lies in the years 1 to 9999, the dates the formatter shows.
// Anything else came from a damaged file, never from a clock.
bool in_calendar(DateTime value);

// Formats value by a pattern of tokens, with Japanese date forms whatever the
// system locale: "ddddd" 2001/09/02, "dddddd" 2001年9月2日, "aaa" 日..土,
// "hh" hour 00-23, "nn" minute, "mm" minute directly after an hour token
// (month otherwise), ":" "(" ")" and any other character as themselves. A
// value outside the calendar shows each token as dashes: "----/--/--",
// "----年--月--日", "-", "--".
QString format_date(DateTime value, QStringView pattern);

}  // namespace fotavi
