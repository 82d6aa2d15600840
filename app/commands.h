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

#include "app/messages.h"
#include "comments/comment_store.h"
#include "document/folder_document.h"
#include "photo_diary/diary.h"
#include "pictures/capture_cache.h"
#include "pictures/picture_cache.h"
#include "platform/thumbnail_cache.h"
#include "exchange/sidecars.h"
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
    // Asked when the window is about to close: settles the folder (store and
    // time_log.txt) and saves the settings. True when the program may quit,
    // false when the person chose to stay.
    bool may_quit();
    void set_hurry_after(std::chrono::milliseconds interval) { hurry_after_ = interval; }

    // The Open dialog; the chosen picture's folder is listed (button and menu).
    void open_picture();
    // Opens the folder of a picture, or a folder itself (drag and drop);
    // asks first about unwritten comments. False when nothing was opened.
    bool open_dropped(const QString& path);

    void show_previous();
    void show_next();
    void show_first();
    void show_last();
    // Shows picture index, as Next does: the comment typed is kept, the
    // picture shown, the focus put in the comment box (the overview's jump).
    void show_at(int index);
    // The overview of the open folder.
    void open_overview();
    // Asks which forms of the photo diary to write, and writes them beside
    // time_log.txt on a worker, with a progress that can be cancelled.
    void make_photo_diary();
    // Writes time_log.txt (the リスト button and ファイル → 出力).
    void write_time_log();
    void lower_case_names();
    void insert_phrase(int n);
    void open_settings();
    void open_help();
    void show_version();
    // The comment box's text changed: it goes to the document.
    void comment_edited();
    // Turns the capture-time mode on or off and scans the open folder again,
    // keeping every comment.
    void toggle_capture_time();
    // Sets the clock of the shown picture's camera right for the open folder
    // (every picture of that camera, in the time mode in use), changes or
    // removes its correction; kept in the store, never in the pictures.
    void correct_clock();
    // Keeps the folder's comments and time_log.txt aside and starts a new diary.
    void start_afresh();
    // The window became active: comments other windows stored are taken.
    void window_activated();
    // Asks for a folder and whether uncommented pictures go too, then
    // copies the pictures there with their comments in them.
    void export_pictures_with_comments();
    // Copies the pictures (the commented ones, or all) into destination with
    // their comments in them, on a worker with a progress that can be
    // cancelled; files already there are replaced only when the person agrees.
    void export_pictures(const QString& destination, bool all);
    // Turns the writing of NAME.ext.xmp beside each picture on or off, for
    // this user from now on.
    void toggle_sidecars();
    SidecarSync& sidecars() { return sidecars_; }

    const ImageTable& table() const { return document_.table(); }
    FolderDocument& document() { return document_; }
    const Settings& settings() const { return settings_; }
    // The open picture folder; empty before one is opened.
    const QString& folder() const { return folder_; }
    QSize picture_box() const;
    // The size pictures are decoded to, in device pixels, while the window's
    // box can change size (the large-screen mode); empty: the layout's box
    // again. The picture shown is decoded anew for it.
    void set_picture_box(QSize device_pixels);
    // The pictures decoded ahead for Next and Previous.
    PictureCache& picture_cache() { return pictures_; }

private:
    enum class Move { Back, Forward, First, Last };
    void navigate(Move move);
    // Shows picture index, once the comment typed is kept.
    void go_to(int index);
    DiaryWrite write_diary(const DiaryRequest& request);
    void take_comment();
    void show_entry();
    void show_picture();
    // The picture at path is decoded: shown, when it is still the one to show.
    void picture_decoded(const QString& path);
    void put_picture(const QString& name, const Picture& picture);
    void prepare_neighbours();
    std::optional<FolderListing> read_dates(const QString& folder, bool capture_time);
    // Reads the capture times of files on a worker and sorts files on them,
    // the window waiting with a progress; false when the person cancelled.
    bool read_capture_times(std::vector<ListedFile>& files, const QString& folder);
    // Fills the document from listing and shows the picture named shown, else
    // the first; enables the picture commands; reports what the listing met.
    void relist_folder(const FolderListing& listing, const QString& shown = {});
    // The comments of the listed pictures: from the store, else read back
    // from time_log.txt; notes says what the person should know.
    StoreLoad load_comments(const FolderListing& listing, const QString& shown, QStringList& notes);
    void enable_picture_commands();
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
    // The desktop's thumbnails of the pictures renamed follow their new names.
    RenameReport rename_pictures(const std::vector<std::pair<QString, QString>>& pairs);
    void move_thumbnails(const std::vector<std::pair<QString, QString>>& pairs,
                         const RenameReport& report);
    // The one wait of the window for work on a worker: the window goes on
    // painting, and a progress shows after half a second (done of maximum,
    // when given). With cancel, the progress can be cancelled: cancel is set
    // when the person does, and the work is to look at it; started, when
    // given, is fulfilled once the person's first answer is in, so work that
    // waits for it never runs after a cancel given at once.
    template <typename T>
    T wait_for(std::future<T> future, const QString& label, const std::atomic<int>* done = nullptr,
               int maximum = 0, std::atomic<bool>* cancel = nullptr,
               std::promise<void>* started = nullptr) {
        wait(
            [&](std::chrono::milliseconds timeout) {
                return future.wait_for(timeout) == std::future_status::ready;
            },
            label, done, maximum, cancel, started);
        return future.get();
    }
    void wait(const std::function<bool(std::chrono::milliseconds)>& ready, const QString& label,
              const std::atomic<int>* done, int maximum, std::atomic<bool>* cancel,
              std::promise<void>* started);
    // Waits until everything asked of the store is done and its reports are in.
    void wait_for_store();

    Ui& ui_;
    QString program_dir_;
    QString config_dir_;
    Settings settings_;
    QString folder_;
    // def_list.txt was damaged and could not be kept aside: it is never replaced.
    bool keep_config_ = false;
    bool waiting_ = false;  // work on a worker is being waited for
    bool leaving_ = false;  // the program is ending: the store is not waited for long
    std::chrono::milliseconds hurry_after_{1500};
    std::unique_ptr<CommentStore> store_;
    FolderDocument document_;
    Mailbox arrivals_;  // the pictures decoded while the window went on (before pictures_)
    bool blank_until_decoded_ = false;  // a folder just listed: no earlier picture to keep
    PictureCache pictures_;
    CaptureTimeCache capture_times_;
    HintRecord hints_;
    std::vector<ClockCorrection> clock_corrections_;  // of the open folder's cameras
    bool dates_are_capture_times_ = false;            // of the listing read_dates gave last
    QSet<QString> listed_without_capture_time_;       // of that listing, names in lower case
    DiaryChoice diary_choice_;  // what the photo diary's dialog was last left with
    QSize picture_box_;  // set_picture_box's; empty: the layout's
    QString thumbnail_root_ = default_thumbnail_root();
    Worker tasks_;  // reading back and writing time_log.txt, the photo diary
    // The desktop's thumbnails following renames, apart so that they never
    // delay a command; what has not started when the window goes is dropped.
    Worker thumbnail_moves_{Worker::AtEnd::Drop};
    // Sidecars of the comments stored, while the person wants them.
    void sidecar_failed(const SidecarWrite& failure);
    // Offers the captions the folder's uncommented pictures carry, once a folder.
    void offer_captions(const StoreLoad& load);
    SidecarSync sidecars_{document_, user_config_folder(),
                          [this](const SidecarWrite& failure) { sidecar_failed(failure); }};
};

// The folder a named path opens: a folder itself, or the folder of a picture
// (".jpg", ".heic" or ".heif" in any letter case; the picture itself need not
// exist). Empty otherwise.
QString folder_to_open(const QFileInfo& named);

// The capture time of the picture at path in seconds, for the store's
// telling of pictures apart; nothing when it has none.
std::optional<qint64> capture_seconds(const QString& path);

}  // namespace fotavi
