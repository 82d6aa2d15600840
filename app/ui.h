#pragma once

#include <QImage>
#include <QString>

#include <optional>

#include "photo_diary/diary.h"
#include "platform/date_time.h"
#include "settings/layouts.h"
#include "settings/settings.h"

namespace fotavi {

// The four commands that need pictures; they start disabled and the first
// successful scan enables them, in this order.
enum class PictureCommand { Next, Previous, LowerCase, List };

// The three answers to "write time_log.txt before going on?".
enum class UnwrittenAnswer { Write, Discard, Stay };

// The three answers to "some comments could not be stored".
enum class UnsavedAnswer { Retry, Stay, Leave };

// The clock dialog's subject: the picture shown and the camera that took it.
struct ClockQuestion {
    QString name;               // the picture's file name
    QString camera;             // its camera, as camera_of names it
    DateTime recorded;          // the picture's time as the camera's clock gave it
    qint64 seconds = 0;         // the camera's correction now (0: none)
    bool capture_time = false;  // the time mode the correction is for
};

// What the person answered: a correction to keep, or none to keep at all.
struct ClockAnswer {
    qint64 seconds = 0;   // added to the camera's times
    bool remove = false;  // the camera's correction is taken away
};

// Everything the commands need of the screen: the application's port. MainWindow implements it with Qt
// Widgets; the tests use a recording fake, so every command can be checked
// without a display.
class Ui {
public:
    virtual ~Ui() = default;

    // A modal box with one OK button and no icon.
    virtual void message(const QString& prompt, const QString& title) = 0;
    // A modal box with one OK button and the information icon.
    virtual void information(const QString& prompt, const QString& title) = 0;

    virtual void set_file_name(const QString& caption) = 0;
    virtual void set_file_date(const QString& caption) = 0;
    // The picture, already decoded to fit the picture box.
    virtual void set_picture(const QImage& picture) = 0;
    // Shown in the picture box instead of a picture that cannot be loaded.
    virtual void set_picture_placeholder(const QString& file_name, const QString& reason) = 0;

    virtual QString comment() const = 0;
    virtual void set_comment(const QString& text) = 0;
    // Replaces the selection (or inserts at the caret); the caret ends after the text.
    virtual void replace_comment_selection(const QString& text) = 0;
    virtual void focus_comment() = 0;

    virtual void enable(PictureCommand command) = 0;
    virtual void set_preset(int n, const QString& caption, const QString& tool_tip) = 0;
    virtual void set_layout_value(const LayoutValue& value) = 0;

    // The Open dialog; an empty string when the user chose nothing.
    virtual QString choose_picture(const QString& start_folder) = 0;
    // The settings dialog, filled with current; nothing when cancelled.
    virtual std::optional<Settings> edit_settings(const Settings& current) = 0;
    // Asked before leaving or opening another folder while time_log.txt is
    // out of date; saved tells whether every comment is in the store.
    virtual UnwrittenAnswer ask_unwritten(bool saved) = 0;
    // Asked before leaving or opening another folder while comments could
    // not be stored (prompt says how many and why).
    virtual UnsavedAnswer ask_unsaved(const QString& prompt) = 0;
    // The settings could not be saved at exit (problem says why): true to
    // leave without saving, false to stay and try again later.
    virtual bool ask_leave_without_saving(const QString& problem) = 0;
    // Opens a document with the desktop's handler; failures are silent.
    virtual void open_document(const QString& path) = 0;

    // A question with Yes and No; true for Yes. No is the default, and Esc answers it.
    virtual bool ask_yes_no(const QString& prompt, const QString& title) = 0;
    // The clock dialog for the picture shown: the time it was really taken,
    // or an offset; nothing when cancelled.
    virtual std::optional<ClockAnswer> ask_clock_correction(const ClockQuestion& question) = 0;
    // The check mark of the capture-time menu entry.
    virtual void set_capture_time_checked(bool on) = 0;
    // The overview of the open folder: opened, or brought to the front, with
    // the picture shown selected.
    virtual void show_overview() = 0;
    // The photo diary's dialog: the forms to write into folder, starting
    // from choice; nothing when cancelled.
    virtual std::optional<DiaryChoice> ask_photo_diary(const QString& folder,
                                                       const DiaryChoice& choice) = 0;
    // A long piece of work: begin, then a step after each of maximum parts
    // (0: parts not known), then end. A step answers true when the person
    // cancelled. The progress shows only once the work has run for half a
    // second. Work that cannot be cancelled runs on a worker while the
    // window waits: its steps keep the window painting.
    virtual void begin_progress(const QString& label, int maximum, bool cancellable = true) = 0;
    virtual bool step_progress(int done) = 0;
    virtual void end_progress() = 0;
    // The folder pictures are exported into, starting at start; nothing when
    // cancelled. (A screen without the export chooses nothing.)
    virtual std::optional<QString> choose_export_folder(const QString& start) {
        (void)start;
        return std::nullopt;
    }
    // A question with Yes and No; true for Yes. Yes is the default (Return),
    // Esc answers No.
    virtual bool ask_yes_first(const QString& prompt, const QString& title) {
        return ask_yes_no(prompt, title);
    }
    // The check mark of the sidecar menu entry.
    virtual void set_sidecars_checked(bool on) { (void)on; }
};

// Sets the captions and tool tips of the four preset buttons from the phrases.
void set_preset_captions(const Settings& settings, Ui& ui);
// Applies the layout of size_large to the window, value by value.
void apply_layout(bool size_large, Ui& ui);

}  // namespace fotavi
