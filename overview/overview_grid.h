#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <utility>
#include <vector>

#include "overview/overview_model.h"

namespace fotavi {

// Where the overview puts its day headings and thumbnails: cells of one
// size in rows as wide as the columns allow, each day on rows of its own
// under a heading. Only arithmetic on the days' sizes, so a list of any
// length is laid out at once. Coordinates are those of the whole list, y
// from its top.
class OverviewGrid {
public:
    struct Metrics {
        QSize cell;       // one picture with its time and comment line
        int heading = 0;  // the height of a day's heading
        int columns = 1;
    };
    enum class Move { Left, Right, Up, Down, PageUp, PageDown, Home, End };

    void lay_out(const std::vector<OverviewModel::Group>& groups, const Metrics& metrics);

    int height() const { return height_; }
    int width() const { return metrics_.columns * metrics_.cell.width(); }
    int count() const;
    const Metrics& metrics() const { return metrics_; }

    QRect cell_rect(int position) const;
    QRect heading_rect(int group) const;
    // The position whose cell holds point; -1 on a heading or beside the cells.
    int position_at(QPoint point) const;
    // The first and last position whose cells meet the rows from top to
    // bottom (exclusive); last < first when there are none.
    std::pair<int, int> positions_between(int top, int bottom) const;
    // The same for the groups whose headings meet them.
    std::pair<int, int> groups_between(int top, int bottom) const;

    // Where a key moves from position: Left and Right through the list in
    // reading order, Up and Down by a row keeping the column as far as the
    // row reaches, a page by as many rows as page_height holds.
    int moved(int position, Move move, int page_height) const;

private:
    int group_at(int y) const;
    int group_of(int position) const;
    int rows(int group) const;
    int row_down(int position) const;
    int row_up(int position) const;

    std::vector<OverviewModel::Group> groups_;
    std::vector<int> tops_;  // the top of each group's heading
    Metrics metrics_;
    int height_ = 0;
};

}  // namespace fotavi
