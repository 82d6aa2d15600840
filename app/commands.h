#pragma once

#include <QFileInfo>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

#include "browse/capture_cache.h"
#include "browse/image_table.h"
#include "browse/picture_cache.h"
#include "journal/comment_keeper.h"
#include "settings/settings.h"

namespace fotavi {

class Ui;

// Every command of the main window, written against the Ui interface. Owns
// the image table, the settings and the two folder strings for the whole run.
class Commands {
public:
    // program_dir holds the executable (and the help page); config_dir holds
    // def_list.txt; folders holds the capture-time cache, the record of hints
    // shown and the journals of picture folders that cannot be written.
    // journal_writer writes a journal file (a slow one, for the benchmark).
    Commands(Ui& ui, QString program_dir, QString config_dir,
             const UserFolders& folders = user_folders(), JournalStore::Writer journal_writer = {});

    // The load handler: settings, layout, then the picture named by args
    // (the arguments after the program name); relative paths are taken
    // against start_dir, the folder the program was started in.
    void start_up(const QStringList& args, const QString& start_dir);
    // The unload handler. False when the user chose to stay (unwritten comments).
    bool exit();

    void k_open();  // m_open runs this too
    // Opens the folder of a picture, or a folder itself (drag and drop);
    // asks first about unwritten comments. False when nothing was opened.
    bool open_dropped(const QString& path);

    void k_decre();
    void k_incre();
    void m_first();
    void m_last();
    void k_list();  // m_save runs this too
    void k_komoji();
    void k_pre_set(int n);
    void m_setup();
    void m_help();
    void m_version();
    // The comment box changed: what is typed is saved within a second or two,
    // so even a killed program keeps it.
    void comment_edited();
    // Turns the capture-time mode on or off and scans the open folder again,
    // keeping every comment.
    void m_capture_time();

    // True when time_log.txt does not hold the comments as they are now.
    bool has_unwritten_comments() const;

    const ImageTable& table() const { return table_; }
    const Settings& settings() const { return settings_; }
    const QString& work_dir() const { return work_dir_; }
    const QString& disp_dir() const { return disp_dir_; }
    QSize picture_box() const;
    // The pictures decoded ahead for Next and Previous.
    PictureCache& picture_cache() { return pictures_; }
    // The comments kept on disk.
    CommentKeeper& comments() { return comments_; }

private:
    enum class Move { Back, Forward, First, Last };
    void navigate(Move move);
    void commit_comment();
    void save_typing();
    void z_show_photo();
    void show_picture();
    void prepare_neighbours();
    std::optional<FolderListing> read_dates(const QString& folder, bool capture_time);
    // Fills the table from listing (comments from the journal) and shows the
    // picture named shown, else the first.
    void z_read_sort(const FolderListing& listing, const QString& shown = {});
    void report_listing(const FolderListing& listing);
    bool set_capture_time(bool on, bool keep_shown = true);
    void offer_capture_time(const FolderListing& listing);
    void open_folder(const QString& named);
    bool settle_unwritten();
    bool write_log(bool confirm);
    bool needs_pictures();

    Ui& ui_;
    QString program_dir_;
    QString config_dir_;
    ImageTable table_;
    Settings settings_;
    QString work_dir_;
    QString disp_dir_;
    // def_list.txt was damaged and could not be kept aside: it is never replaced.
    bool keep_config_ = false;
    PictureCache pictures_;
    CommentKeeper comments_;
    QTimer typing_timer_;
    CaptureTimeCache capture_times_;
    HintRecord hints_;
};

// The folder a named path opens: a folder itself, or the folder of a picture
// (".jpg" in any letter case; the picture itself need not exist). Empty otherwise.
QString folder_to_open(const QFileInfo& named);

// The version box text: name, empty line, version, author notice, joined by CR LF.
QString version_text();

}  // namespace fotavi
