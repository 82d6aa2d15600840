#include <QDir>
#include <QElapsedTimer>

#include <unistd.h>

#include "app/commands.h"
#include "app/messages.h"
#include "app/reasons.h"
#include "app/ui.h"
#include "time_log/old_log.h"

// The commands that open, leave and scan again the picture folder.

namespace fotavi {

namespace {

const QString kAppTitle = QStringLiteral("fotavi");

}  // namespace

void Commands::wait(const std::function<bool(std::chrono::milliseconds)>& ready,
                    const QString& label, const std::atomic<int>* done, int maximum,
                    std::atomic<bool>* cancel, std::promise<void>* started) {
    using namespace std::chrono_literals;
    if (!cancel && ready(0ms)) return;
    waiting_ = true;
    ui_.begin_progress(label, maximum, cancel != nullptr);
    do {
        if (ui_.step_progress(done ? done->load() : 0) && cancel) *cancel = true;
        if (started) std::exchange(started, nullptr)->set_value();
    } while (!ready(10ms));
    ui_.end_progress();
    waiting_ = false;
}

void Commands::wait_for_store() {
    QElapsedTimer waited;
    waited.start();
    do {
        std::future<void> settled = store_->settled();
        wait(
            [&](std::chrono::milliseconds timeout) {
                if (leaving_ && std::chrono::milliseconds(waited.elapsed()) >= hurry_after_)
                    store_->hurry();
                return settled.wait_for(timeout) == std::future_status::ready;
            },
            saving_comments_label(), nullptr, 0, nullptr, nullptr);
        document_.flush();  // takes the answers, which are in by now
    } while (document_.saving());
}

// Every folder enters here, from the command line, the Open dialog or a drop:
// it is cleaned once, so "~/pics/" and "~/pics/sub/.." are named as "~/pics".
void Commands::open_folder(const QString& named) {
    const QString folder = QDir::cleanPath(named);
    // The dates are gathered before anything is replaced: a scan the person
    // cancels leaves the open folder, its comments and the screen as they were.
    const std::optional<FolderListing> listing = read_dates(folder, settings_.capture_time);
    if (!listing) return;
    if (const int error = change_current_folder(folder); error != 0) {
        ui_.message(folder_not_opened_text(folder, error), message_title());
        return;
    }
    folder_ = folder;
    blank_until_decoded_ = true;  // another folder's picture is not kept on screen
    relist_folder(*listing);
    if (!settings_.capture_time) offer_capture_time(*listing);
}

// The pictures of folder with the date-times the table is sorted on: file
// times, or with capture_time the cameras' times. Nothing when the person
// cancelled the reading.
std::optional<FolderListing> Commands::read_dates(const QString& folder, bool capture_time) {
    dates_are_capture_times_ = capture_time;
    listed_without_capture_time_.clear();
    // A rename to lower case cut off between its two steps left a picture
    // under a temporary name, which the listing would not show. The files are
    // looked at on a worker: a card or a share may be slow.
    const std::vector<UnfinishedRename> left =
        wait_for(run_on<std::vector<UnfinishedRename>>(
                     tasks_, [folder] { return finish_interrupted_renames(folder); }),
                 reading_folder_label());
    QStringList lines;
    for (const UnfinishedRename& one : left) lines << unfinished_rename_text(one);
    if (!lines.isEmpty()) say({unfinished_renames_text(lines)});
    // Listing a large folder on a slow card takes a while: on a worker.
    FolderListing listing =
        wait_for(run_on<FolderListing>(tasks_, [folder] { return list_pictures(folder); }),
                 reading_folder_label());
    if (!capture_time || listing.error != 0 || listing.files.empty()) return listing;
    if (!read_capture_times(listing.files, folder)) return std::nullopt;
    for (const ListedFile& file : listing.files) {
        if (!capture_times_.get(folder, file).found())
            listed_without_capture_time_.insert(file.name.toLower());
    }
    return listing;
}

bool Commands::read_capture_times(std::vector<ListedFile>& files, const QString& folder) {
    std::atomic<int> done{0};
    std::atomic<bool> cancel{false};
    // The reading starts once the window has answered the first step, so a
    // Cancel given at once is heard before any file is read.
    std::promise<void> started;
    std::shared_future<void> go = started.get_future().share();
    // The window only waits meanwhile: nothing else reads the cache until it is done.
    const auto read = [&, go] {
        go.wait();
        return use_capture_times(files, folder, capture_times_, [&](int read) {
            done = read;
            return cancel.load();
        });
    };
    return wait_for(run_on<bool>(tasks_, read), reading_capture_times_label(int(files.size())),
                    &done, int(files.size()), &cancel, &started);
}

void Commands::relist_folder(const FolderListing& listing, const QString& shown) {
    pictures_.clear();
    if (listing.error == 0 && !listing.files.empty()) {
        QStringList notes;
        const StoreLoad load = load_comments(listing, shown, notes);
        say(notes);
        offer_captions(load);
        show_entry();
        enable_picture_commands();
    } else {
        clock_corrections_.clear();
        document_.open(folder_, {}, {});
    }
    report_listing(listing);
}

StoreLoad Commands::load_comments(const FolderListing& listing, const QString& shown,
                                  QStringList& notes) {
    StoreLoad load = wait_for(store_->load(folder_, listing.files), reading_comments_label());
    std::vector<ListedFile> files = listing.files;
    apply_clock_corrections(files, load);
    document_.set_without_capture_time(listed_without_capture_time_);
    document_.open(folder_, files, load, shown);
    notes << store_load_notes(load);
    if (!load.has_text) {
        // A folder without comments of ours: those of its time_log.txt, if any.
        const ImageTable table = document_.table();
        const QString folder = folder_;
        const ReadBack back = wait_for(
            run_on<ReadBack>(tasks_, [folder, table] { return read_back_log(folder, table); }),
            reading_log_label());
        if (back.found) document_.take_read_back(back);
        if (const QString note = read_back_note(back); !note.isEmpty()) notes << note;
    }
    if (const int cut = document_.cut_comments(); cut > 0) notes << cut_comments_text(cut);
    return load;
}

void Commands::enable_picture_commands() {
    ui_.enable(PictureCommand::Next);
    ui_.enable(PictureCommand::Previous);
    ui_.enable(PictureCommand::LowerCase);
    ui_.enable(PictureCommand::List);
}

void Commands::report_listing(const FolderListing& listing) {
    if (listing.error != 0)
        ui_.message(folder_not_listed_text(folder_, listing.error), message_title());
    else if (listing.files.empty())
        ui_.message(nothing_found_text(), kAppTitle);
    if (listing.undecodable > 0) {
        ui_.message(undecodable_names_text(listing.undecodable), message_title());
    }
}

// Before the open folder is left (another folder, the end): every comment
// stored, or the person knowingly going on without; then time_log.txt
// written, or knowingly not.
bool Commands::settle_folder() {
    if (document_.count() == 0) return true;
    take_comment();
    document_.save();
    wait_for_store();
    if (!settle_unsaved()) return false;
    if (document_.log_is_current()) return true;
    switch (ui_.ask_unwritten(document_.unsaved() == 0)) {
        case UnwrittenAnswer::Stay:
            return false;
        case UnwrittenAnswer::Discard:
            return true;
        case UnwrittenAnswer::Write:
            return write_log(false);
    }
    return false;
}

bool Commands::settle_unsaved() {
    while (const int unsaved = document_.unsaved()) {
        const std::optional<SaveReport>& failure = document_.last_failure();
        switch (ui_.ask_unsaved(unsaved_question(unsaved, failure ? &*failure : nullptr))) {
            case UnsavedAnswer::Stay:
                return false;
            case UnsavedAnswer::Leave:
                return true;
            case UnsavedAnswer::Retry:
                document_.save();
                wait_for_store();
                break;
        }
    }
    return true;
}

void Commands::toggle_capture_time() {
    set_capture_time(!settings_.capture_time);
    ui_.focus_comment();
}

// Scans the open folder again in the new mode, keeping each picture's
// comment and, with keep_shown, the picture shown (else the first is shown).
// The mode stays as it was when the person cancels, or when the folder can no
// longer be read (its comments stay too).
bool Commands::set_capture_time(bool on, bool keep_shown) {
    if (document_.count() > 0) {
        const std::optional<FolderListing> listing = read_dates(folder_, on);
        if (!listing || listing->error != 0 || listing->files.empty()) {
            if (listing) report_listing(*listing);
            ui_.set_capture_time_checked(settings_.capture_time);
            return false;
        }
        take_comment();
        document_.save();  // stored before the store is read again
        relist_folder(*listing, keep_shown ? document_.name(document_.shown()) : QString());
    }
    settings_.capture_time = on;
    ui_.set_capture_time_checked(on);
    return true;
}

// Once a folder, when its file times are plainly those of a copy, offers the
// capture-time mode; only the person's Yes turns it on.
void Commands::offer_capture_time(const FolderListing& listing) {
    if (document_.count() == 0 || hints_.contains(folder_)) return;
    const auto capture_time = [&](size_t i) {
        return capture_times_.get(folder_, listing.files[i]);
    };
    if (!looks_copied(listing.files, capture_time)) return;
    hints_.add(folder_);
    // How many would keep their file time: every picture is read once here,
    // through the cache the mode reads from, so a Yes costs nothing more.
    std::vector<ListedFile> files = listing.files;
    const bool read = read_capture_times(files, folder_);
    int without = 0;
    for (const ListedFile& file : read ? listing.files : std::vector<ListedFile>()) {
        if (!capture_times_.get(folder_, file).found()) ++without;
    }
    if (ui_.ask_yes_no(capture_time_hint(without), message_title()))
        set_capture_time(true, false);  // the folder was just opened: its first picture
}

// The folder's comments and its time_log.txt are kept aside under dated
// names, never deleted; the pictures stay as they are.
void Commands::start_afresh() {
    if (needs_pictures()) return;
    // Every look at the folder is a worker's: a card or a share may be slow.
    const QString folder = folder_;
    const QString label = tidying_comments_label();
    const int refused = wait_for(
        run_on<int>(tasks_,
                    [folder] {
                        return ::access(QFile::encodeName(folder).constData(), W_OK) == 0 ? 0
                                                                                          : errno;
                    }),
        label);
    if (refused != 0) {
        say({start_afresh_refused_text(folder_, refused)});
        ui_.focus_comment();
        return;
    }
    if (!ui_.ask_yes_no(start_afresh_question(), message_title())) {
        ui_.focus_comment();
        return;
    }
    take_comment();
    document_.save();
    wait_for_store();
    const std::vector<StoreIssue> kept = wait_for(store_->start_afresh(folder_), label);
    QStringList notes;
    for (const StoreIssue& file : kept) notes << store_kept_aside_note(file);
    const Aside log = wait_for(
        run_on<Aside>(tasks_,
                      [folder] {
                          return keep_aside(
                              QDir(folder).filePath(QString::fromLatin1(kLogName)),
                              dated_stem(QStringLiteral("time_log_"), QDateTime::currentDateTime()),
                              QStringLiteral(".txt"), AsideHow::Move);
                      }),
        label);
    if (log.ok())
        notes << log_kept_aside_note(log.name);
    else if (log.error != ENOENT)
        notes << log_not_kept_note(log.error);
    document_.clear_comments();
    ui_.set_comment(QString());
    notes.prepend(started_afresh_text());
    say(notes);
    ui_.focus_comment();
}

}  // namespace fotavi
