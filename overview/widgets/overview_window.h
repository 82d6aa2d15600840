#pragma once

#include <QWidget>

#include "overview/overview_model.h"
#include "overview/thumbnailer.h"
#include "pictures/image_table.h"

class QCheckBox;
class QLabel;

namespace fotavi {

class OverviewView;

// The overview (一覧): a window of its own beside the main one that shows
// every picture of the open folder as a thumbnail under its day, with its
// time and the first line of its comment, and how many pictures have one.
// It reads the pictures and comments from the table it is given and is told
// when they change; a double click or Enter asks the main window to show a
// picture (activated), and the overview stays open where the person put it.
class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(const ImageTable& table,
                            Thumbnailer::Options thumbnails = Thumbnailer::Options(),
                            QWidget* parent = nullptr);
    ~OverviewWindow() override;

    // Shows the window in front, with picture selected.
    void open_at(int picture);
    // The table's pictures, in folder, were listed anew or renamed; shown is
    // the picture the main window shows now, which becomes the one selected.
    void pictures_changed(const QString& folder, int shown);
    // The comment of picture changed.
    void comment_changed(int picture);
    // The picture the main window shows.
    void set_shown(int picture);
    // Tells by table index which pictures hold no capture time in the
    // capture-time mode; they are marked 「撮影日時なし」.
    void set_without_capture_time(std::function<bool(int picture)> known) {
        model_.set_without_capture_time(std::move(known));
    }

    OverviewView& view() { return *view_; }
    const OverviewModel& model() const { return model_; }

signals:
    void activated(int picture);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void filter_toggled(bool on);
    void show_count();
    // The first time it opens: within the screen's free area, beside the
    // window that opened it where there is room, in the size last left.
    void place();

    OverviewModel model_;
    Thumbnailer thumbnails_;
    QLabel* count_ = nullptr;
    QCheckBox* uncommented_only_ = nullptr;
    OverviewView* view_ = nullptr;
    bool placed_ = false;
    QSize placed_size_;  // a size the person changes it from is kept for next time
};

}  // namespace fotavi
