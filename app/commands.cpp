#include "app/commands.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "app/messages.h"
#include "app/reasons.h"
#include "app/ui.h"
#include "comments/sqlite_comment_store.h"
#include "pictures/capture_time.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "settings/layouts.h"
#include "time_log/old_log.h"

namespace fotavi {

namespace {

void warn(const QString& line) { QTextStream(stderr) << "fotavi: " << line << Qt::endl; }

}  // namespace

QString folder_to_open(const QFileInfo& named) {
    if (named.isDir()) return named.absoluteFilePath();
    if (is_picture_name(named.fileName())) return named.absolutePath();
    return {};
}

std::optional<qint64> capture_seconds(const QString& path) {
    const CaptureTime time = read_capture_time(path);
    if (!time.found()) return std::nullopt;
    return time.date.seconds;
}

Commands::Commands(Ui& ui, QString program_dir, QString config_dir, const UserFolders& folders,
                   std::unique_ptr<CommentStore> store)
    : ui_(ui),
      program_dir_(std::move(program_dir)),
      config_dir_(std::move(config_dir)),
      store_(store ? std::move(store)
                   : std::make_unique<SqliteCommentStore>(folders.state_dir, capture_seconds)),
      document_(*store_),
      capture_times_(folders.cache_dir),
      hints_(folders.state_dir) {
    QObject::connect(&document_, &FolderDocument::comment_changed, &document_, [this](int i) {
        // Another window's comment for the picture shown, untouched here.
        if (i == document_.shown() && ui_.comment() != document_.comment(i))
            ui_.set_comment(document_.comment(i));
    });
    QObject::connect(&document_, &FolderDocument::save_failed, &document_,
                     [this](const SaveReport& report) { say({save_failure_text(report)}); });
    QObject::connect(&document_, &FolderDocument::replaced_elsewhere, &document_,
                     [this](int count) { say({replaced_elsewhere_text(count)}); });
    QObject::connect(&document_, &FolderDocument::store_set_aside, &document_,
                     [this](const StoreIssue& issue) { say({store_issue_text(issue)}); });
    QObject::connect(&document_, &FolderDocument::store_unlocked, &document_,
                     [this](const std::vector<StoreIssue>& issues) {
                         QStringList notes{store_unlocked_text(document_.folder())};
                         for (const StoreIssue& issue : issues) notes << store_issue_text(issue);
                         say(notes);
                     });
    // A picture shown before it was decoded comes once it is, on this thread.
    pictures_.on_ready([this](const QString& path) {
        arrivals_.post([this, path] { picture_decoded(path); });
    });
}

Commands::~Commands() = default;

QSize Commands::picture_box() const {
    if (!picture_box_.isEmpty()) return picture_box_;
    return settings_.size_large ? QSize(640, 480) : QSize(480, 360);
}

void Commands::set_picture_box(QSize device_pixels) {
    if (device_pixels == picture_box_) return;
    picture_box_ = device_pixels;
    if (document_.count() > 0) show_picture();
}

void Commands::say(const QStringList& notes) {
    if (!notes.isEmpty()) ui_.message(notes.join(QLatin1Char('\n')), message_title());
}

void Commands::start_up(const QStringList& args, const QString& start_dir) {
    change_current_folder(program_dir_);
    const ConfigRead config = read_settings_file(config_dir_);
    settings_ = config.settings;
    set_preset_captions(settings_, ui_);
    if (!config.ok()) {
        // What was guessed from a damaged file must not silently replace it at exit.
        const Aside kept = keep_damaged_config(config_dir_);
        keep_config_ = !kept.ok();
        say({config_problem_text(config_dir_, config) + u'\n' + config_kept_text(kept)});
    }
    apply_layout(settings_.size_large, ui_);
    ui_.set_capture_time_checked(settings_.capture_time);

    if (args.isEmpty() || args.first().isEmpty()) return;
    const QString arg = args.first();
    const QString folder = folder_to_open(QFileInfo(QDir(start_dir).absoluteFilePath(arg)));
    if (folder.isEmpty())
        warn(ignored_argument_text(arg));
    else
        open_folder(folder);
}

bool Commands::may_quit() {
    // Closed while work it started is still waited for: it stays, and the
    // work ends as it would.
    if (waiting_) return false;
    leaving_ = true;
    const bool settled = settle_folder();
    leaving_ = false;
    if (!settled) return false;
    change_current_folder(program_dir_);
    const WriteProblem problem =
        keep_config_ ? WriteProblem{} : write_settings_file(config_dir_, settings_);
    if (!problem.ok() && !ui_.ask_leave_without_saving(write_problem_text(problem))) {
        change_current_folder(folder_.isEmpty() ? program_dir_ : folder_);
        return false;
    }
    return true;
}

void Commands::open_picture() {
    const QString chosen = ui_.choose_picture(folder_);
    const QFileInfo file(chosen);
    if (!chosen.isEmpty() && !file.fileName().isEmpty() && settle_folder())
        open_folder(file.absolutePath());
    ui_.focus_comment();
}

bool Commands::open_dropped(const QString& path) {
    const QString folder = folder_to_open(QFileInfo(path));
    if (folder.isEmpty() || !settle_folder()) return false;
    open_folder(folder);
    ui_.focus_comment();
    return true;
}

void Commands::show_entry() {
    const int i = document_.shown();
    ui_.set_file_name(document_.name(i));
    ui_.set_file_date(format_date(document_.date(i), u"ddddd(aaa)hh:mm"));
    show_picture();
    ui_.set_comment(document_.comment(i));
}

// The picture is shown once it is decoded: until then the box keeps the
// picture before it, or stays empty in a folder just listed.
void Commands::show_picture() {
    const QString& name = document_.name(document_.shown());
    if (const std::optional<Picture> picture =
            pictures_.get(QDir(folder_).filePath(name), picture_box()))
        put_picture(name, *picture);
    else if (blank_until_decoded_)
        ui_.set_picture(QImage());
    prepare_neighbours();
}

void Commands::picture_decoded(const QString& path) {
    if (document_.count() == 0) return;
    const QString& name = document_.name(document_.shown());
    if (path != QDir(folder_).filePath(name)) return;  // another picture is shown by now
    if (const std::optional<Picture> picture = pictures_.get(path, picture_box()))
        put_picture(name, *picture);
}

void Commands::put_picture(const QString& name, const Picture& picture) {
    blank_until_decoded_ = false;
    if (picture.image.isNull())
        ui_.set_picture_placeholder(name, failure_text(picture.problem));
    else
        ui_.set_picture(picture.image);
}

// Next is pressed far more often than Previous, so the next picture goes first.
void Commands::prepare_neighbours() {
    QStringList paths;
    const int i = document_.shown();
    if (i + 1 < document_.count()) paths << QDir(folder_).filePath(document_.name(i + 1));
    if (i > 0) paths << QDir(folder_).filePath(document_.name(i - 1));
    pictures_.prepare(paths, picture_box());
}

// The comment box's text, as it stands, is the shown picture's comment.
void Commands::take_comment() { document_.edit_shown(ui_.comment()); }

void Commands::comment_edited() { take_comment(); }

void Commands::window_activated() { document_.refresh(); }

bool Commands::needs_pictures() {
    if (document_.count() > 0) return false;
    ui_.message(needs_pictures_text(), message_title());
    return true;
}

void Commands::navigate(Move move) {
    if (!needs_pictures()) {
        take_comment();
        document_.save();
        int index = document_.shown();
        const int last = document_.count() - 1;
        switch (move) {
            case Move::Back:
                if (index > 0)
                    --index;
                else
                    ui_.message(no_earlier_picture_text(), message_title());
                break;
            case Move::Forward:
                if (index < last)
                    ++index;
                else
                    ui_.message(no_later_picture_text(), message_title());
                break;
            case Move::First:
                index = 0;
                break;
            case Move::Last:
                index = last;
                break;
        }
        go_to(index);
    }
    ui_.focus_comment();
}

// After the comment is kept; a refusal shows the same picture again.
void Commands::go_to(int index) {
    document_.show(index);
    show_entry();
    document_.refresh();
}

void Commands::show_at(int index) {
    if (!needs_pictures() && index >= 0 && index < document_.count()) {
        take_comment();
        document_.save();
        go_to(index);
    }
    ui_.focus_comment();
}

void Commands::open_overview() {
    if (needs_pictures())
        ui_.focus_comment();
    else
        ui_.show_overview();
}

void Commands::show_previous() { navigate(Move::Back); }
void Commands::show_next() { navigate(Move::Forward); }
void Commands::show_first() { navigate(Move::First); }
void Commands::show_last() { navigate(Move::Last); }

void Commands::write_time_log() {
    if (needs_pictures()) return;
    take_comment();
    write_log(true);
}

bool Commands::write_log(bool confirm) {
    // The comments are taken here; the entries are made, and the files read
    // and written, on a worker.
    const FolderDocument::LogSnapshot snapshot = document_.log_snapshot();
    const QString folder = folder_;
    const LogWrite written =
        wait_for(run_on<LogWrite>(tasks_,
                                  [folder, snapshot] {
                                      return write_log_keeping_old(folder, snapshot.entries(),
                                                                   snapshot.logged_entries());
                                  }),
                 writing_log_label());
    if (!written.ok()) {
        ui_.message(log_failure_text(folder, written), message_title());
        return false;
    }
    document_.mark_logged(snapshot);
    if (const QString text = log_written_text(folder_, written, confirm); !text.isEmpty())
        ui_.message(text, message_title());
    return true;
}

void Commands::lower_case_names() {
    if (needs_pictures()) {
        ui_.focus_comment();
        return;
    }
    take_comment();
    const std::vector<std::pair<QString, QString>> pairs = document_.begin_lower_case();
    const RenameReport report = rename_pictures(pairs);
    document_.finish_renames(pairs, report);
    move_thumbnails(pairs, report);
    ui_.set_file_name(document_.name(document_.shown()));
    // The pictures prepared under the old names are of no use any more.
    pictures_.clear();
    prepare_neighbours();
    QStringList notes{lower_case_text(pairs, report.errors)};
    if (report.problem) notes << rename_store_text(report.problem);
    say(notes);
    ui_.focus_comment();
}

// The files on a worker, then their rows in the store: the window only waits.
RenameReport Commands::rename_pictures(const std::vector<std::pair<QString, QString>>& pairs) {
    const QString label = lower_case_label(int(pairs.size()));
    auto done = std::make_shared<std::atomic<int>>(0);
    RenameReport report;
    report.errors = wait_for(
        run_on<std::vector<int>>(
            tasks_,
            [folder = folder_, pairs, done] { return rename_files(folder, pairs, done.get()); }),
        label, done.get(), int(pairs.size()));
    std::vector<std::pair<QString, QString>> renamed;
    for (size_t k = 0; k < pairs.size(); ++k)
        if (report.errors[k] == 0 && pairs[k].first != pairs[k].second) renamed.push_back(pairs[k]);
    report.problem = wait_for(store_->rename_rows(folder_, std::move(renamed)), label);
    return report;
}

void Commands::move_thumbnails(const std::vector<std::pair<QString, QString>>& pairs,
                               const RenameReport& report) {
    std::vector<std::pair<QString, QString>> renamed;
    const QDir folder(folder_);
    for (size_t k = 0; k < pairs.size(); ++k)
        if (report.errors[k] == 0)
            renamed.emplace_back(folder.filePath(pairs[k].first), folder.filePath(pairs[k].second));
    if (renamed.empty()) return;
    // The desktop's cache is an aid: nothing waits for this, nor hears of it.
    // In batches, so that a window closed meanwhile drops the rest.
    constexpr size_t kBatch = 64;
    for (size_t start = 0; start < renamed.size(); start += kBatch) {
        std::vector<std::pair<QString, QString>> batch(
            renamed.begin() + start, renamed.begin() + std::min(renamed.size(), start + kBatch));
        thumbnail_moves_.post([batch = std::move(batch), root = thumbnail_root_] {
            ThumbnailCache cache(root);
            for (const auto& [from, to] : batch) {
                ThumbnailKey key = thumbnail_key(to);
                if (!key.ok()) continue;
                ThumbnailKey old_key = key;
                old_key.uri = file_uri(from);
                cache.move(old_key, key);
            }
        });
    }
}

void Commands::insert_phrase(int n) {
    ui_.replace_comment_selection(settings_.phrases.at(size_t(n)));
    ui_.focus_comment();
}

void Commands::open_settings() {
    if (const std::optional<Settings> chosen = ui_.edit_settings(settings_)) {
        const bool resized = chosen->size_large != settings_.size_large;
        const bool capture_time = settings_.capture_time;  // the menu's, not the dialog's
        settings_ = *chosen;
        settings_.capture_time = capture_time;
        set_preset_captions(settings_, ui_);
        apply_layout(settings_.size_large, ui_);
        if (const int lost = unwritable_phrase_characters(settings_); lost > 0) {
            ui_.message(unwritable_phrases_text(lost), message_title());
        }
        // The picture is decoded to the box size, so a new box needs it again;
        // the comment box is left as the user has it.
        if (resized && document_.count() > 0) show_picture();
    }
    ui_.focus_comment();
}

void Commands::open_help() {
    ui_.open_document(QDir(program_dir_).filePath(QStringLiteral("Mirabo.html")));
}

void Commands::show_version() {
    ui_.information(version_text(), version_title());
    ui_.focus_comment();
}

}  // namespace fotavi
