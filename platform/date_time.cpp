#include "platform/date_time.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <iterator>

namespace fotavi {

namespace {

const QDate kEpoch(1899, 12, 30);

struct Fields {
    QDate date;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

Fields split(DateTime value) {
    const qint64 total = value.seconds;
    qint64 days = total / kSecondsPerDay;
    qint64 seconds = total % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    Fields f;
    f.date = kEpoch.addDays(days);
    f.hour = int(seconds / 3600);
    f.minute = int(seconds / 60 % 60);
    f.second = int(seconds % 60);
    return f;
}

QString two_digits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

const char16_t* const kWeekdays[] = {u"月", u"火", u"水", u"木", u"金", u"土", u"日"};

const qint64 kFirstSecond = kEpoch.daysTo(QDate(1, 1, 1)) * kSecondsPerDay;
const qint64 kLastSecond = (kEpoch.daysTo(QDate(9999, 12, 31)) + 1) * kSecondsPerDay - 1;

// A token's text for a value outside the calendar.
QString placeholder(QStringView token) {
    if (token == u"ddddd") return QStringLiteral("----/--/--");
    if (token == u"dddddd") return QStringLiteral("----年--月--日");
    if (token == u"aaa") return QStringLiteral("-");
    return QStringLiteral("--");
}

}  // namespace

DateTime to_date_time(const QDateTime& local) {
    const QDateTime l = local.toLocalTime();
    return to_date_time(l.date(), l.time());
}

DateTime to_date_time(QDate date, QTime time) {
    // Rounded to the nearest second, so 05:09:59.9999 reads 05:10.
    return {kEpoch.daysTo(date) * kSecondsPerDay + (time.msecsSinceStartOfDay() + 500) / 1000};
}

QDateTime to_qdatetime(DateTime value) {
    const Fields f = split(value);
    return QDateTime(f.date, QTime(f.hour, f.minute, f.second));
}

bool in_calendar(DateTime value) {
    return value.seconds >= kFirstSecond && value.seconds <= kLastSecond;
}

QString format_date(DateTime value, QStringView pattern) {
    const bool valid = in_calendar(value);
    const Fields f = valid ? split(value) : Fields{};
    QString out;
    bool after_hour = false;  // "mm" right after an hour token means minutes
    qsizetype i = 0;
    // The token at i, if any: the longest that matches.
    static constexpr QStringView kTokens[] = {u"dddddd", u"ddddd", u"aaa", u"hh", u"nn", u"mm"};
    while (i < pattern.size()) {
        const QStringView rest = pattern.mid(i);
        const auto token = std::find_if(std::begin(kTokens), std::end(kTokens),
                                        [&](QStringView t) { return rest.startsWith(t); });
        if (token == std::end(kTokens)) {
            out += pattern[i++];
            continue;
        }
        i += token->size();
        const bool minute = *token == u"nn" || (*token == u"mm" && after_hour);
        after_hour = *token == u"hh";
        if (!valid) {
            out += placeholder(*token);
        } else if (*token == u"dddddd") {
            out += QStringLiteral("%1年%2月%3日")
                       .arg(f.date.year())
                       .arg(f.date.month())
                       .arg(f.date.day());
        } else if (*token == u"ddddd") {
            out += QStringLiteral("%1/%2/%3")
                       .arg(f.date.year(), 4, 10, QLatin1Char('0'))
                       .arg(two_digits(f.date.month()), two_digits(f.date.day()));
        } else if (*token == u"aaa") {
            out += QString::fromUtf16(kWeekdays[f.date.dayOfWeek() - 1]);
        } else {
            out += two_digits(*token == u"hh" ? f.hour : minute ? f.minute : f.date.month());
        }
    }
    return out;
}

}  // namespace fotavi
