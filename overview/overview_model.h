#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "pictures/image_table.h"

namespace fotavi {

// What the overview lists of a picture table: its pictures in table order
// (date order), grouped by the day the diary gives them, optionally only
// those without a comment. It reads names, dates and comments from the table
// itself and keeps only what is made of them (which pictures are listed,
// where the days begin, how many have a comment), so the table stays the one
// home of every comment. Pictures are named by their table index; a
// "position" is a place in the list as shown.
class OverviewModel {
public:
    // One day's run of listed pictures.
    struct Group {
        int first = 0;  // position of its first picture
        int count = 0;
    };

    explicit OverviewModel(const ImageTable& table);

    // The table was listed anew, renamed or cleared: everything is made again.
    void reset();
    // The comment of picture changed. True when the list changed with it (the
    // filter took the picture in or out), false when only its text did.
    bool comment_changed(int picture);
    // Only pictures without a comment are listed.
    void set_uncommented_only(bool on);
    bool uncommented_only() const { return uncommented_only_; }

    // --- The list
    int count() const { return int(listed_.size()); }
    int picture_at(int position) const { return listed_[size_t(position)]; }
    // The position of picture, or -1 when it is not listed.
    int position_of(int picture) const;
    // The position of picture, else of the next listed picture after it,
    // else of the one before; -1 when nothing is listed.
    int nearest_position(int picture) const;
    const std::vector<Group>& groups() const { return groups_; }
    // The group holding position.
    int group_of(int position) const;

    // --- What is shown of a listed picture or day
    // The day heading: "2001年9月2日(日)", as in time_log.txt.
    QString heading(int group) const;
    QString time_text(int position) const;  // "05:10"
    const QString& name(int position) const;
    const QString& comment(int position) const;
    bool commented(int position) const { return !comment(position).isEmpty(); }
    // Whether the listed picture holds no capture time while the capture-time
    // mode is on (it is dated by its file): marked 「撮影日時なし」.
    bool without_capture_time(int position) const {
        return without_capture_time_ && without_capture_time_(picture_at(position));
    }
    // Who knows it, by table index (the document); none: nothing is marked.
    void set_without_capture_time(std::function<bool(int picture)> known) {
        without_capture_time_ = std::move(known);
    }

    // --- Counts over the whole table
    int commented_count() const { return commented_; }
    int total() const { return table_.count(); }
    // "コメント 37 / 120"
    QString count_text() const;

    // What a comment shows on one line: its first line that holds more than
    // blanks, cut at kFirstLineLimit characters; "…" when more follows.
    // A comment of blanks only shows as "（空白のみ）"; none as empty.
    static QString first_line(const QString& comment);
    static constexpr int kFirstLineLimit = 200;

private:
    void rebuild();

    const ImageTable& table_;
    std::function<bool(int)> without_capture_time_;
    bool uncommented_only_ = false;
    std::vector<qint64> day_;         // per picture: the day its heading names
    std::vector<bool> commented_at_;  // per picture: whether it had a comment, last seen
    int commented_ = 0;
    std::vector<int> listed_;    // position -> picture
    std::vector<int> position_;  // picture -> position, or -1
    std::vector<Group> groups_;
};

}  // namespace fotavi
