#include "overview/overview_grid.h"

#include <algorithm>

namespace fotavi {

void OverviewGrid::lay_out(const std::vector<OverviewModel::Group>& groups,
                           const Metrics& metrics) {
    groups_ = groups;
    metrics_ = metrics;
    metrics_.columns = std::max(1, metrics.columns);
    tops_.clear();
    tops_.reserve(groups_.size());
    height_ = 0;
    for (size_t g = 0; g < groups_.size(); ++g) {
        tops_.push_back(height_);
        height_ += metrics_.heading + rows(int(g)) * metrics_.cell.height();
    }
}

int OverviewGrid::count() const {
    return groups_.empty() ? 0 : groups_.back().first + groups_.back().count;
}

int OverviewGrid::rows(int group) const {
    return (groups_[size_t(group)].count + metrics_.columns - 1) / metrics_.columns;
}

// The last group whose heading starts at or above y (the first for y above them all).
int OverviewGrid::group_at(int y) const {
    const auto next = std::upper_bound(tops_.begin(), tops_.end(), y);
    return std::max(0, int(next - tops_.begin()) - 1);
}

int OverviewGrid::group_of(int position) const {
    const auto next =
        std::upper_bound(groups_.begin(), groups_.end(), position,
                         [](int p, const OverviewModel::Group& g) { return p < g.first; });
    return std::max(0, int(next - groups_.begin()) - 1);
}

QRect OverviewGrid::cell_rect(int position) const {
    if (position < 0 || position >= count()) return {};
    const int g = group_of(position);
    const int k = position - groups_[size_t(g)].first;
    const QSize cell = metrics_.cell;
    return {(k % metrics_.columns) * cell.width(),
            tops_[size_t(g)] + metrics_.heading + (k / metrics_.columns) * cell.height(),
            cell.width(), cell.height()};
}

QRect OverviewGrid::heading_rect(int group) const {
    if (group < 0 || group >= int(groups_.size())) return {};
    return {0, tops_[size_t(group)], width(), metrics_.heading};
}

int OverviewGrid::position_at(QPoint point) const {
    if (groups_.empty() || point.y() < 0 || point.y() >= height_ || point.x() < 0 ||
        point.x() >= width())
        return -1;
    const int g = group_at(point.y());
    const int below = point.y() - tops_[size_t(g)] - metrics_.heading;
    if (below < 0) return -1;
    const int k =
        below / metrics_.cell.height() * metrics_.columns + point.x() / metrics_.cell.width();
    return k < groups_[size_t(g)].count ? groups_[size_t(g)].first + k : -1;
}

std::pair<int, int> OverviewGrid::positions_between(int top, int bottom) const {
    top = std::max(top, 0);
    bottom = std::min(bottom, height_);
    if (groups_.empty() || top >= bottom) return {0, -1};
    const int cell = metrics_.cell.height();
    // The first cell of the row at top, or of the group below a heading.
    const int g0 = group_at(top);
    const int row0 = std::max(0, top - tops_[size_t(g0)] - metrics_.heading) / cell;
    const int first = groups_[size_t(g0)].first + row0 * metrics_.columns;
    // The last cell of the row at bottom - 1, or the one before a heading there.
    const int g1 = group_at(bottom - 1);
    const int below = bottom - 1 - tops_[size_t(g1)] - metrics_.heading;
    const OverviewModel::Group& group = groups_[size_t(g1)];
    const int last = below < 0 ? group.first - 1
                               : std::min(group.first + (below / cell + 1) * metrics_.columns,
                                          group.first + group.count) -
                                     1;
    return {first, last};
}

std::pair<int, int> OverviewGrid::groups_between(int top, int bottom) const {
    top = std::max(top, 0);
    bottom = std::min(bottom, height_);
    if (groups_.empty() || top >= bottom) return {0, -1};
    int first = group_at(top);
    if (top >= tops_[size_t(first)] + metrics_.heading) ++first;  // its heading is above
    return {first, group_at(bottom - 1)};
}

int OverviewGrid::row_down(int position) const {
    const int g = group_of(position);
    const OverviewModel::Group& group = groups_[size_t(g)];
    const int k = position - group.first;
    const int columns = metrics_.columns;
    if (k / columns + 1 < rows(g))
        return std::min(position + columns, group.first + group.count - 1);
    if (g + 1 >= int(groups_.size())) return position;
    const OverviewModel::Group& next = groups_[size_t(g) + 1];
    return next.first + std::min(k % columns, next.count - 1);
}

int OverviewGrid::row_up(int position) const {
    const int g = group_of(position);
    const OverviewModel::Group& group = groups_[size_t(g)];
    const int k = position - group.first;
    const int columns = metrics_.columns;
    if (k >= columns) return position - columns;
    if (g == 0) return position;
    const OverviewModel::Group& previous = groups_[size_t(g) - 1];
    const int last_row = (previous.count - 1) / columns * columns;
    return previous.first + std::min(last_row + k, previous.count - 1);
}

int OverviewGrid::moved(int position, Move move, int page_height) const {
    const int n = count();
    if (n == 0) return -1;
    position = std::clamp(position, 0, n - 1);
    const int page_rows = std::max(1, page_height / std::max(1, metrics_.cell.height()));
    switch (move) {
        case Move::Left:
            return std::max(0, position - 1);
        case Move::Right:
            return std::min(n - 1, position + 1);
        case Move::Up:
            return row_up(position);
        case Move::Down:
            return row_down(position);
        case Move::PageUp:
            for (int r = 0; r < page_rows; ++r) position = row_up(position);
            return position;
        case Move::PageDown:
            for (int r = 0; r < page_rows; ++r) position = row_down(position);
            return position;
        case Move::Home:
            return 0;
        case Move::End:
            return n - 1;
    }
    return position;
}

}  // namespace fotavi
