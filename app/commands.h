#pragma once

#include <QFileInfo>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "pictures/capture_cache.h"
#include "pictures/picture_cache.h"
#include "photo_diary/diary.h"
#include "document/folder_document.h"
#include "comments/comment_store.h"
#include "platform/worker.h"
#include "settings/settings.h"

namespace fotavi {

class Ui;

// Every command of the main window, written against the Ui interface: each
// asks the open folder's document or a service, and turns what it reports
// into the messages. Owns the document, the settings and the two folder
// strings for the whole run.
class Commands {
public:
    // program_dir holds the executable (and the help page); config_dir holds
    // def_list.txt; folders holds the capture-time cache, the record of hints
    // shown and the comments of picture folders that cannot be written.
    // store keeps the comments (the SQLite store when none is given).
    Commands(Ui& ui, QString program_dir, QString config_dir,
             const UserFolders& folders = user_folders(), std::unique_ptr<CommentStore> store = {});
    ~Commands();

    // The load handler: settings, layout, then the picture named by args
    // (the arguments after the program name); relative paths are taken
    // against start_dir, the folder the program was started in.
    void start_up(const QStringList& args, const QString& start_dir);
    // The unload handler. False when the user chose to stay.
    bool exit();

    void k_open();  // m_open runs this too
    // Opens the folder of a picture, or a folder itself (drag and drop);
    // asks first about unwritten comments. False when nothing was opened.
    bool open_dropped(const QString& path);

    void k_decre();
    void k_incre();
    void m_first();
    void m_last();
    // Shows picture index, as Next does: the comment typed is kept, the
    // picture shown, the focus put in the comment box (the overview's jump).
    void show_at(int index);
    // The overview of the open folder.
    void m_overview();
    // Asks which forms of the photo diary to write, and writes them beside
    // time_log.txt on a worker, with a progress that can be cancelled.
    void m_photo_diary();
    void k_list();  // m_save runs this too
    void k_komoji();
    void k_pre_set(int n);
    void m_setup();
    void m_help();
    void m_version();
    // The comment box's text changed: it goes to the document.
    void comment_edited();
    // Turns the capture-time mode on or off and scans the open folder again,
    // keeping every comment.
    void m_capture_time();
    // Sets the clock of the shown picture's camera right for the open folder
    // (every picture of that camera, in the time mode in use), changes or
    // removes its correction; kept in the store, never in the pictures.
    void m_clock_correction();
    // Keeps the folder's comments and time_log.txt aside and starts a new diary.
    void m_start_afresh();
    // The window became active: comments other windows stored are taken.
    void window_activated();

    // True when time_log.txt does not hold the comments as they are now.
    bool has_unwritten_comments() const;

    const ImageTable& table() const { return document_.table(); }
    FolderDocument& document() { return document_; }
    const Settings& settings() const { return settings_; }
    const QString& work_dir() const { return work_dir_; }
    const QString& disp_dir() const { return disp_dir_; }
    QSize picture_box() const;
    // The pictures decoded ahead for Next and Previous.
    PictureCache& picture_cache() { return pictures_; }

private:
    enum class Move { Back, Forward, First, Last };
    void navigate(Move move);
    // Shows picture index, once the comment typed is kept.
    void go_to(int index);
    DiaryWrite write_diary(const DiaryRequest& request);
    void take_comment();
    void z_show_photo();
    void show_picture();
    void prepare_neighbours();
    std::optional<FolderListing> read_dates(const QString& folder, bool capture_time);
    // Fills the document from listing (comments from the store) and shows
    // the picture named shown, else the first.
    void z_read_sort(const FolderListing& listing, const QString& shown = {});
    void report_listing(const FolderListing& listing);
    // Adds the clock corrections of load to the dates of their cameras'
    // pictures and sorts files and load's rows (parallel) on the result.
    void apply_clock_corrections(std::vector<ListedFile>& files, StoreLoad& load);
    bool set_capture_time(bool on, bool keep_shown = true);
    void offer_capture_time(const FolderListing& listing);
    void open_folder(const QString& named);
    bool settle_folder();
    bool settle_unsaved();
    bool write_log(bool confirm);
    bool needs_pictures();
    void say(const QStringList& notes);
    // Waits for work on a worker, keeping the window painting; a progress
    // shows after half a second (done of maximum, when given).
    template <typename T>
    T wait_for(std::future<T> future, const QString& label, const std::atomic<int>* done = nullptr,
               int maximum = 0) {
        wait(
            [&](std::chrono::milliseconds timeout) {
                return future.wait_for(timeout) == std::future_status::ready;
            },
            label, done, maximum);
        return future.get();
    }
    void wait(const std::function<bool(std::chrono::milliseconds)>& ready, const QString& label,
              const std::atomic<int>* done, int maximum);
    // Waits until everything asked of the store is done and its reports are in.
    void wait_for_store();

    Ui& ui_;
    QString program_dir_;
    QString config_dir_;
    Settings settings_;
    QString work_dir_;
    QString disp_dir_;
    // def_list.txt was damaged and could not be kept aside: it is never replaced.
    bool keep_config_ = false;
    bool waiting_ = false;  // work on a worker is being waited for
    std::unique_ptr<CommentStore> store_;
    FolderDocument document_;
    PictureCache pictures_;
    CaptureTimeCache capture_times_;
    HintRecord hints_;
    std::vector<ClockCorrection> clock_corrections_;  // of the open folder's cameras
    bool dates_are_capture_times_ = false;            // of the listing read_dates gave last
    QSet<QString> listed_without_capture_time_;       // of that listing, names in lower case
    DiaryChoice diary_choice_;  // what the photo diary's dialog was last left with
    Worker tasks_;              // reading back and writing time_log.txt, the photo diary
};

// The folder a named path opens: a folder itself, or the folder of a picture
// (".jpg", ".heic" or ".heif" in any letter case; the picture itself need not
// exist). Empty otherwise.
QString folder_to_open(const QFileInfo& named);

// The version box text: name, empty line, version, author notice, joined by CR LF.
QString version_text();

// The capture time of the picture at path in seconds, for the store's
// telling of pictures apart; nothing when it has none.
std::optional<qint64> capture_seconds(const QString& path);

}  // namespace fotavi
