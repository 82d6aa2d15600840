#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include <vector>

#include "settings/window_places.h"

class QAction;
class QLabel;
class QMainWindow;

namespace fotavi {

class Commands;
class Ui;

// The large-screen mode (表示 → 大きな画面で使う), beside the two fixed
// layouts: the main window can be resized and maximised, the picture fills
// its box and is decoded for the box's device pixels, the comment box grows
// with the window, and a status line says where one is. Off (the default),
// the window is exactly as its fixed layout makes it. The choice and the
// window's size are kept per user (window_choices_path), never in
// def_list.txt.
class LargeScreen : public QObject {
public:
    // Adds the 表示 menu to window (before ヘルプ) and turns the mode on if it
    // was on when the program last ended. ui is window; commands its commands.
    LargeScreen(QMainWindow& window, Ui& ui, Commands& commands,
                QString choices_path = window_choices_path());
    ~LargeScreen() override;

    void set_on(bool on);
    bool is_on() const { return on_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void maximisable(bool on);
    void lay_out();
    void show_position();
    void keep_choices();
    QWidget* child(const char* name) const;

    QMainWindow& window_;
    Ui& ui_;
    Commands& commands_;
    const QString choices_path_;
    QAction* action_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer decode_;  // the picture is decoded anew once resizing pauses
    bool on_ = false;
    // The fixed layout's geometries, put back when the mode is turned off.
    std::vector<std::pair<QPointer<QWidget>, QRect>> fixed_;
    QSize fixed_minimum_, fixed_maximum_;
};

}  // namespace fotavi
