#include "overview/overview_model.h"

#include <algorithm>
#include <limits>

#include "time_log/time_log.h"

namespace fotavi {

namespace {

// The day a date falls on, counted from the date count's first day; every
// date outside the calendar shares one day, as it shares one dashed heading.
qint64 day_of(DateTime date) {
    if (!in_calendar(date)) return std::numeric_limits<qint64>::min();
    const qint64 s = date.seconds;
    return s >= 0 ? s / kSecondsPerDay : -((-s + kSecondsPerDay - 1) / kSecondsPerDay);
}

bool line_break(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029);
}

bool blank(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

}  // namespace

OverviewModel::OverviewModel(const ImageTable& table) : table_(table) { reset(); }

void OverviewModel::reset() {
    const int n = table_.count();
    day_.resize(size_t(n));
    commented_at_.resize(size_t(n));
    commented_ = 0;
    for (int i = 0; i < n; ++i) {
        day_[size_t(i)] = day_of(table_.dates[size_t(i)]);
        commented_at_[size_t(i)] = !table_.comments[size_t(i)].isEmpty();
        commented_ += commented_at_[size_t(i)];
    }
    rebuild();
}

bool OverviewModel::comment_changed(int picture) {
    if (picture < 0 || picture >= int(commented_at_.size()) || picture >= table_.count())
        return false;
    const bool now = !table_.comments[size_t(picture)].isEmpty();
    if (now == commented_at_[size_t(picture)]) return false;
    commented_at_[size_t(picture)] = now;
    commented_ += now ? 1 : -1;
    if (!uncommented_only_) return false;
    rebuild();
    return true;
}

void OverviewModel::set_uncommented_only(bool on) {
    if (on == uncommented_only_) return;
    uncommented_only_ = on;
    rebuild();
}

void OverviewModel::rebuild() {
    listed_.clear();
    groups_.clear();
    position_.assign(day_.size(), -1);
    qint64 day = 0;
    for (int i = 0; i < int(day_.size()); ++i) {
        if (uncommented_only_ && commented_at_[size_t(i)]) continue;
        const int position = int(listed_.size());
        if (groups_.empty() || day_[size_t(i)] != day) groups_.push_back({position, 0});
        day = day_[size_t(i)];
        ++groups_.back().count;
        position_[size_t(i)] = position;
        listed_.push_back(i);
    }
}

int OverviewModel::position_of(int picture) const {
    if (picture < 0 || picture >= int(position_.size())) return -1;
    return position_[size_t(picture)];
}

int OverviewModel::nearest_position(int picture) const {
    if (listed_.empty()) return -1;
    const auto after = std::lower_bound(listed_.begin(), listed_.end(), picture);
    if (after != listed_.end()) return int(after - listed_.begin());
    return count() - 1;
}

int OverviewModel::group_of(int position) const {
    const auto next = std::upper_bound(groups_.begin(), groups_.end(), position,
                                       [](int p, const Group& g) { return p < g.first; });
    return std::max(0, int(next - groups_.begin()) - 1);
}

QString OverviewModel::heading(int group) const {
    return log_day(table_.dates[size_t(picture_at(groups_[size_t(group)].first))]);
}

QString OverviewModel::time_text(int position) const {
    return log_time(table_.dates[size_t(picture_at(position))]);
}

const QString& OverviewModel::name(int position) const {
    return table_.names[size_t(picture_at(position))];
}

const QString& OverviewModel::comment(int position) const {
    return table_.comments[size_t(picture_at(position))];
}

QString OverviewModel::count_text() const {
    return QStringLiteral("コメント %1 / %2").arg(commented_).arg(total());
}

QString OverviewModel::first_line(const QString& comment) {
    if (comment.isEmpty()) return {};
    const QStringView text(comment);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && !line_break(text[end])) ++end;
        const QStringView line = text.mid(start, end - start);
        if (!blank(line)) {
            const bool cut = line.size() > kFirstLineLimit;
            const bool more = cut || !blank(text.mid(end));
            return line.left(kFirstLineLimit).toString() + (more ? QStringLiteral("…") : QString());
        }
        start = end + 1;
    }
    return QStringLiteral("（空白のみ）");
}

}  // namespace fotavi
