#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QString>
#include <QStringList>

#include <utility>

#include "overview/overview_grid.h"
#include "overview/overview_model.h"
#include "overview/thumbnailer.h"

namespace fotavi {

// The overview's list of thumbnails under their day headings. It paints only
// the rows on screen of a grid it never builds as widgets, so a folder of
// any size opens at once; it asks the thumbnailer for the pictures on screen
// and a screenful either side, and paints whatever is known of them now (a
// preview, a placeholder, the reason a picture cannot be shown), never
// waiting for a decode.
class OverviewView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The side of the square a thumbnail is fitted into, in pixels.
    static constexpr int kThumbnailSide = 128;

    OverviewView(const OverviewModel& model, Thumbnailer& thumbnails, QWidget* parent = nullptr);

    // The pictures live in folder.
    void set_folder(const QString& folder);
    // The model's list changed: laid out again, keeping the selection where it can.
    void model_changed();
    // The comment of picture changed while the list stayed as it was.
    void picture_changed(int picture);
    // The picture the main window shows, marked in the list.
    void set_shown(int picture);
    // Selects picture, or the nearest listed one, and scrolls it into view.
    void select(int picture);
    int selected() const { return selected_; }

    // The thumbnails asked for last: those on screen, then the margin.
    const QStringList& wanted() const { return wanted_order_; }
    // What the cells on screen show now.
    struct OnScreen {
        int cells = 0;
        int pictures = 0;  // a preview or the final thumbnail
        int final = 0;     // the final thumbnail, or the reason there is none
    };
    OnScreen on_screen();

signals:
    // Double click or Enter on picture.
    void activated(int picture);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void lay_out();
    void ensure_visible(int position);
    // Where the grid's point p is on the viewport, and back.
    QPoint to_viewport(QPoint p) const;
    int position_at(QPoint viewport_point) const;
    QString path_at(int position) const;
    void schedule_requests();
    void request_visible();
    void thumbnail_ready(const QString& path, ThumbnailSize size, const Thumbnail& thumbnail);
    void paint_heading(QPainter& painter, int group);
    void paint_cell(QPainter& painter, int position);
    void paint_no_capture_time(QPainter& painter, const QRect& box);
    void paint_thumbnail(QPainter& painter, QRect box, const Thumbnail& thumbnail);
    void show_tool_tip(QPoint viewport_point, QPoint global);

    const OverviewModel& model_;
    Thumbnailer& thumbnails_;
    OverviewGrid grid_;
    QString folder_;
    ThumbnailSize size_ = ThumbnailSize::Normal;
    int selected_ = -1;  // a picture of the table
    int shown_ = -1;
    int left_ = 0;  // the grid's left edge on the viewport: it stands centred
    bool requests_scheduled_ = false;
    QHash<QString, int> wanted_;  // path -> picture
    QStringList wanted_order_;
};

}  // namespace fotavi
