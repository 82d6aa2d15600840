#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>

#include <array>
#include <memory>

#include "app/commands.h"
#include "app/widgets/comment_box.h"
#include "app/widgets/picture_box.h"
#include "app/ui.h"

class QAction;
class QLabel;
class QProgressDialog;
class QPushButton;

namespace fotavi {

class OverviewWindow;

// The main window: builds the controls and menus, forwards every click to
// its command, and shows what the commands tell it.
class MainWindow : public QMainWindow, public Ui {
public:
    // store keeps the comments (the SQLite store in the usual folders when none is given).
    MainWindow(const QString& program_dir, const QString& config_dir,
         std::unique_ptr<CommentStore> store = {}, const UserFolders& folders = user_folders());
    ~MainWindow() override;

    Commands& commands() { return *commands_; }
    // The overview, once it has been opened.
    OverviewWindow* overview() { return overview_.get(); }

    // Ui
    void message(const QString& prompt, const QString& title) override;
    void information(const QString& prompt, const QString& title) override;
    void set_file_name(const QString& caption) override;
    void set_file_date(const QString& caption) override;
    void set_picture(const QImage& picture) override;
    void set_picture_placeholder(const QString& file_name, const QString& reason) override;
    QString comment() const override;
    void set_comment(const QString& text) override;
    void replace_comment_selection(const QString& text) override;
    void focus_comment() override;
    void enable(PictureCommand command) override;
    void set_preset(int n, const QString& caption, const QString& tool_tip) override;
    void set_layout_value(const LayoutValue& value) override;
    QString choose_picture(const QString& start_folder) override;
    std::optional<Settings> edit_settings(const Settings& current) override;
    UnwrittenAnswer ask_unwritten(bool saved) override;
    UnsavedAnswer ask_unsaved(const QString& prompt) override;
    bool ask_leave_without_saving(const QString& problem) override;
    void open_document(const QString& path) override;
    bool ask_yes_no(const QString& prompt, const QString& title) override;
    std::optional<ClockAnswer> ask_clock_correction(const ClockQuestion& question) override;
    void set_capture_time_checked(bool on) override;
    void show_overview() override;
    std::optional<DiaryChoice> ask_photo_diary(const QString& folder,
                                               const DiaryChoice& choice) override;
    void begin_progress(const QString& label, int maximum, bool cancellable = true) override;
    bool step_progress(int done) override;
    void end_progress() override;
    std::optional<QString> choose_export_folder(const QString& start) override;
    void set_sidecars_checked(bool on) override;
    bool ask_yes_first(const QString& prompt, const QString& title) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Comments other windows stored are taken when this one becomes active.
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Pictures and folders dropped on the comment box open like anywhere else.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void create_controls();
    void create_menus();
    void fit_window();
    QPushButton* make_button(const char* name, const QString& caption, int left, int top, int width,
                             int height);
    QWidget* control(LayoutTarget target);

    std::unique_ptr<Commands> commands_;
    QWidget* client_ = nullptr;
    QPushButton* open_button_ = nullptr;
    QPushButton* previous_button_ = nullptr;
    QPushButton* next_button_ = nullptr;
    QPushButton* list_button_ = nullptr;
    QPushButton* lower_case_button_ = nullptr;
    std::array<QPushButton*, 4> preset_buttons_{};
    QLabel* name_label_ = nullptr;
    QLabel* date_label_ = nullptr;
    CommentBox* comment_box_ = nullptr;
    PictureBox* picture_box_ = nullptr;
    QAction* capture_time_action_ = nullptr;
    QAction* sidecars_action_ = nullptr;
    // The progress of a long scan: shown only after half a second.
    struct Progress {
        QString label;
        int maximum = 0;
        bool cancellable = true;
        QElapsedTimer clock;
        qint64 updated_ms = 0;
        qint64 events_ms = 0;  // when the window's events were last handled
        std::unique_ptr<QProgressDialog> dialog;
    } progress_;
    // A window of its own (no parent), so it can stand beside this one or
    // behind it; made when first asked for, gone before the commands.
    std::unique_ptr<OverviewWindow> overview_;
};

// Twips to device-independent pixels.
int to_pixels(int twips);

}  // namespace fotavi
