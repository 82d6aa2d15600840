#include "platform/date_time.h"

#include <QDate>
#include <QTime>

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

QString format_date(DateTime value, QStringView pattern) {
    const Fields f = split(value);
    QString out;
    bool after_hour = false;  // "mm" right after an hour token means minutes
    qsizetype i = 0;
    auto starts = [&](QStringView token) { return pattern.mid(i).startsWith(token); };
    while (i < pattern.size()) {
        if (starts(u"dddddd")) {
            out += QStringLiteral("%1年%2月%3日")
                       .arg(f.date.year())
                       .arg(f.date.month())
                       .arg(f.date.day());
            i += 6;
            after_hour = false;
        } else if (starts(u"ddddd")) {
            out += QStringLiteral("%1/%2/%3")
                       .arg(f.date.year(), 4, 10, QLatin1Char('0'))
                       .arg(two_digits(f.date.month()), two_digits(f.date.day()));
            i += 5;
            after_hour = false;
        } else if (starts(u"aaa")) {
            out += QString::fromUtf16(kWeekdays[f.date.dayOfWeek() - 1]);
            i += 3;
            after_hour = false;
        } else if (starts(u"hh")) {
            out += two_digits(f.hour);
            i += 2;
            after_hour = true;
        } else if (starts(u"nn")) {
            out += two_digits(f.minute);
            i += 2;
            after_hour = false;
        } else if (starts(u"mm")) {
            out += two_digits(after_hour ? f.minute : f.date.month());
            i += 2;
            after_hour = false;
        } else {
            out += pattern[i];
            ++i;
        }
    }
    return out;
}

}  // namespace fotavi
