#pragma once

#include <QFileInfo>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <optional>

#include "browse/capture_cache.h"
#include "browse/image_table.h"
#include "browse/picture_cache.h"
#include "settings/settings.h"

namespace fotavi {

class Ui;

// Every command of the main window, written against the Ui interface. Owns
// the image table, the settings and the two folder strings for the whole run.
class Commands {
public:
    // program_dir holds the executable (and the help page); config_dir holds def_list.txt;
    // folders holds the capture-time cache and the record of hints shown.
    Commands(Ui& ui, QString program_dir, QString config_dir,
             const UserFolders& folders = user_folders());

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
    // Turns the capture-time mode on or off and scans the open folder again,
    // keeping every comment.
    void m_capture_time();

    // True when some comment was typed or changed since the scan or the last List.
    bool has_unwritten_comments() const;

    const ImageTable& table() const { return table_; }
    const Settings& settings() const { return settings_; }
    const QString& work_dir() const { return work_dir_; }
    const QString& disp_dir() const { return disp_dir_; }
    QSize picture_box() const;
    // The pictures decoded ahead for Next and Previous.
    PictureCache& picture_cache() { return pictures_; }

private:
    enum class Move { Back, Forward, First, Last };
    // What a scan of the open folder carries over, by file name.
    struct KeptComments {
        std::map<QString, QString> comment, written;
        QString shown;
    };
    void navigate(Move move);
    void commit_comment();
    void z_show_photo();
    void show_picture();
    void prepare_neighbours();
    std::optional<FolderListing> read_dates(const QString& folder, bool capture_time);
    void z_read_sort(const FolderListing& listing, const KeptComments* kept = nullptr);
    void report_listing(const FolderListing& listing);
    bool set_capture_time(bool on, bool keep_shown = true);
    void offer_capture_time(const FolderListing& listing);
    void open_folder(const QString& folder);
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
    // The comments as of the scan or the last successful List.
    std::vector<QString> written_;
    PictureCache pictures_;
    CaptureTimeCache capture_times_;
    HintRecord hints_;
};

// The folder a named path opens: a folder itself, or the folder of a picture
// (".jpg" in any letter case; the picture itself need not exist). Empty otherwise.
QString folder_to_open(const QFileInfo& named);

// The version box text: name, empty line, version, author notice, joined by CR LF.
QString version_text();

}  // namespace fotavi
