#include "app/commands.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "app/ui.h"
#include "log/old_log.h"
#include "log/time_log.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "settings/layouts.h"

namespace fotavi {

namespace {

const QString kTitle = QStringLiteral("メッセージ");
const QString kAppTitle = QStringLiteral("fotavi");
const QString kNeedPictures = QStringLiteral("先に、画像ファイルを指定して下さい");

void warn(const QString& line) { QTextStream(stderr) << "fotavi: " << line << Qt::endl; }

}  // namespace

QString folder_to_open(const QFileInfo& named) {
    if (named.isDir()) return named.absoluteFilePath();
    if (named.suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0)
        return named.absolutePath();
    return {};
}

QString version_text() {
    return QStringLiteral(
        "フォタビ\r\n\r\nバージョン1.21\r\n"
        "Linux 版 © 2026 フォタビ開発チーム");
}

Commands::Commands(Ui& ui, QString program_dir, QString config_dir, const UserFolders& folders,
                   JournalStore::Writer journal_writer)
    : ui_(ui),
      program_dir_(std::move(program_dir)),
      config_dir_(std::move(config_dir)),
      comments_(folders.state_dir, std::move(journal_writer)),
      capture_times_(folders.cache_dir),
      hints_(folders.state_dir) {
    comments_.on_problem = [this](const QString& problem) { ui_.message(problem, kTitle); };
    // Another instance saved a comment this one had not changed: take it,
    // into the comment box too when it shows that picture untouched.
    comments_.on_changed_elsewhere = [this](const QString& name, const QString& comment) {
        for (int i = 0; i < table_.img_count(); ++i) {
            if (table_.img_name[size_t(i)] != name) continue;
            if (i == table_.img_index && ui_.comment() == table_.img_comment[size_t(i)])
                ui_.set_comment(comment);
            table_.img_comment[size_t(i)] = comment;
        }
    };
    // Not restarted by each key: what is typed is on disk at most a second or
    // two after the key, however long the typing goes on.
    typing_timer_.setSingleShot(true);
    typing_timer_.setInterval(1000);
    typing_timer_.callOnTimeout([this] { save_typing(); });
}

QSize Commands::picture_box() const {
    return settings_.size_large ? QSize(640, 480) : QSize(480, 360);
}

void Commands::start_up(const QStringList& args, const QString& start_dir) {
    z_change_dir(program_dir_);
    const ConfigRead config = z_read_config(config_dir_);
    settings_ = config.settings;
    z_set_pre_captions(settings_, ui_);
    if (!config.problem.isEmpty()) {
        // What was guessed from a damaged file must not silently replace it at exit.
        QString error;
        const QString kept = keep_damaged_config(config_dir_, &error);
        keep_config_ = kept.isEmpty();
        ui_.message(
            config.problem +
                (keep_config_
                     ? QStringLiteral("\n元のファイルを残せないため（%1）、終了するときにも "
                                      "def_list.txt は書き換えません。")
                           .arg(error)
                     : QStringLiteral("\n元のファイルは %1 として残しました。").arg(kept)),
            kTitle);
    }
    z_set_layout(settings_.size_large, ui_);
    ui_.set_capture_time_checked(settings_.capture_time);

    if (args.isEmpty() || args.first().isEmpty()) return;
    const QString arg = args.first();
    const QString folder = folder_to_open(QFileInfo(QDir(start_dir).absoluteFilePath(arg)));
    if (folder.isEmpty())
        warn(QStringLiteral("%1 は JPEG ファイル (.jpg) でもフォルダでもないため、無視しました")
                 .arg(arg));
    else
        open_folder(folder);
}

bool Commands::exit() {
    if (!settle_unwritten()) return false;
    comments_.flush();
    z_change_dir(program_dir_);
    const QString error = keep_config_ ? QString() : z_write_config(config_dir_, settings_);
    if (!error.isEmpty() && !ui_.ask_leave_without_saving(error)) {
        z_change_dir(work_dir_.isEmpty() ? program_dir_ : work_dir_);
        return false;
    }
    return true;
}

void Commands::k_open() {
    const QString chosen = ui_.choose_picture(work_dir_);
    const QFileInfo file(chosen);
    if (!chosen.isEmpty() && !file.fileName().isEmpty() && settle_unwritten())
        open_folder(file.absolutePath());
    ui_.focus_comment();
}

bool Commands::open_dropped(const QString& path) {
    const QString folder = folder_to_open(QFileInfo(path));
    if (folder.isEmpty() || !settle_unwritten()) return false;
    open_folder(folder);
    ui_.focus_comment();
    return true;
}

// Every folder enters here, from the command line, the Open dialog or a drop:
// it is cleaned once, so "~/pics/" and "~/pics/sub/.." are named as "~/pics".
void Commands::open_folder(const QString& named) {
    const QString folder = QDir::cleanPath(named);
    // The dates are gathered before anything is replaced: a scan the person
    // cancels leaves the open folder, its table and the screen as they were.
    const std::optional<FolderListing> listing = read_dates(folder, settings_.capture_time);
    if (!listing) return;
    const QString error = z_change_dir(folder);
    if (!error.isEmpty()) {
        ui_.message(QStringLiteral("フォルダ %1 を開けません。\n理由: %2").arg(folder, error),
                    kTitle);
        return;
    }
    work_dir_ = folder;
    disp_dir_ = folder;
    z_read_sort(*listing);
    if (!settings_.capture_time) offer_capture_time(*listing);
}

// The pictures of folder with the date-times the table is sorted on: file
// times, or with capture_time the cameras' times. Nothing when the person
// cancelled the reading.
std::optional<FolderListing> Commands::read_dates(const QString& folder, bool capture_time) {
    // A rename to lower case cut off between its two steps left a picture
    // under a temporary name, which the listing would not show.
    if (const QStringList left = finish_interrupted_renames(folder); !left.isEmpty())
        ui_.message(
            QStringLiteral("前回途中で終わった小文字への名前の変更を終えられませんでした:\n") +
                left.join(u'\n'),
            kTitle);
    FolderListing listing = list_pictures(folder);
    if (!capture_time || !listing.error.isEmpty() || listing.files.empty()) return listing;
    ui_.begin_progress(QStringLiteral("撮影日時を読んでいます（%1 枚）").arg(listing.files.size()),
                       int(listing.files.size()));
    const bool done = use_capture_times(listing.files, folder, capture_times_,
                                        [this](int read) { return ui_.step_progress(read); });
    ui_.end_progress();
    if (!done) return std::nullopt;
    return listing;
}

void Commands::z_read_sort(const FolderListing& listing, const QString& shown) {
    pictures_.clear();
    table_.clear();
    if (listing.error.isEmpty() && !listing.files.empty()) {
        fill_table(table_, listing.files);
        const CommentKeeper::Restored restored =
            comments_.restore(work_dir_, table_, listing.files);
        if (!restored.notes.isEmpty()) ui_.message(restored.notes.join(QLatin1Char('\n')), kTitle);
        table_.img_index = 0;
        for (int i = 0; i < table_.img_count() && !shown.isEmpty(); ++i) {
            if (table_.img_name[size_t(i)] == shown) table_.img_index = i;
        }
        z_show_photo();
        ui_.enable(PictureCommand::k_incre);
        ui_.enable(PictureCommand::k_decre);
        ui_.enable(PictureCommand::k_komoji);
        ui_.enable(PictureCommand::k_list);
    }
    report_listing(listing);
}

void Commands::report_listing(const FolderListing& listing) {
    if (!listing.error.isEmpty())
        ui_.message(QStringLiteral("フォルダ %1 の中を読めません。\n理由: %2")
                        .arg(disp_dir_, listing.error),
                    kTitle);
    else if (listing.files.empty())
        ui_.message(QStringLiteral("検索対象ありませんでした。"), kAppTitle);
    if (listing.undecodable > 0) {
        ui_.message(
            QStringLiteral("ファイル名が UTF-8 でない画像ファイルが %1 個あり、表示できません。"
                           "ファイル名を付け直してから開き直して下さい。")
                .arg(listing.undecodable),
            kTitle);
    }
}

void Commands::z_show_photo() {
    const int i = table_.img_index;
    ui_.set_file_name(table_.img_name[i]);
    ui_.set_file_date(format_date(table_.img_date[i], u"ddddd(aaa)hh:mm"));
    show_picture();
    ui_.set_comment(table_.img_comment[i]);
}

void Commands::show_picture() {
    const QString& name = table_.img_name[table_.img_index];
    const Picture picture = pictures_.get(QDir(work_dir_).filePath(name), picture_box());
    if (picture.image.isNull())
        ui_.set_picture_placeholder(name, picture.error);
    else
        ui_.set_picture(picture.image);
    prepare_neighbours();
}

// Next is pressed far more often than Previous, so the next picture goes first.
void Commands::prepare_neighbours() {
    QStringList paths;
    const int i = table_.img_index;
    if (i + 1 < table_.img_count()) paths << QDir(work_dir_).filePath(table_.img_name[i + 1]);
    if (i > 0) paths << QDir(work_dir_).filePath(table_.img_name[i - 1]);
    pictures_.prepare(paths, picture_box());
}

void Commands::commit_comment() {
    const size_t i = size_t(table_.img_index);
    table_.img_comment[i] = ui_.comment();
    comments_.record(table_.img_name[i], table_.img_comment[i]);
}

void Commands::comment_edited() {
    if (!typing_timer_.isActive()) typing_timer_.start();
}

void Commands::save_typing() {
    if (table_.img_count() > 0)
        comments_.record(table_.img_name[size_t(table_.img_index)], ui_.comment());
}

bool Commands::needs_pictures() {
    if (table_.img_count() > 0) return false;
    ui_.message(kNeedPictures, kTitle);
    return true;
}

void Commands::navigate(Move move) {
    if (!needs_pictures()) {
        commit_comment();
        int& index = table_.img_index;
        switch (move) {
            case Move::Back:
                if (index > 0)
                    --index;
                else
                    ui_.message(QStringLiteral("これより前の画像ファイルはありません"), kTitle);
                break;
            case Move::Forward:
                if (index < table_.img_count() - 1)
                    ++index;
                else
                    ui_.message(QStringLiteral("これより次の画像ファイルはありません"), kTitle);
                break;
            case Move::First:
                index = 0;
                break;
            case Move::Last:
                index = table_.img_count() - 1;
                break;
        }
        z_show_photo();
    }
    ui_.focus_comment();
}

void Commands::k_decre() { navigate(Move::Back); }
void Commands::k_incre() { navigate(Move::Forward); }
void Commands::m_first() { navigate(Move::First); }
void Commands::m_last() { navigate(Move::Last); }

bool Commands::has_unwritten_comments() const {
    for (int i = 0; i < table_.img_count(); ++i) {
        const QString& comment =
            i == table_.img_index ? ui_.comment() : table_.img_comment[size_t(i)];
        if (comment != comments_.logged(table_.img_name[size_t(i)])) return true;
    }
    return false;
}

// Every comment is kept on disk, so going on loses nothing; the question is
// only whether time_log.txt should catch up first.
bool Commands::settle_unwritten() {
    if (table_.img_count() > 0) commit_comment();
    if (!has_unwritten_comments()) return true;
    switch (ui_.ask_unwritten()) {
        case UnwrittenAnswer::Stay:
            return false;
        case UnwrittenAnswer::Discard:
            return true;
        case UnwrittenAnswer::Write:
            return write_log(false);
    }
    return false;
}

bool Commands::write_log(bool confirm) {
    const LogWrite written = write_log_keeping_old(
        work_dir_, log_entries(table_), logged_entries(table_, comments_.logged(table_)));
    if (!written.ok()) {
        ui_.message(written.error, kTitle);
        return false;
    }
    comments_.mark_logged(table_);
    if (confirm || written.replaced > 0 || !written.kept_as.isEmpty()) {
        QString text = disp_dir_ + QStringLiteral("にtime_log.txt を出力しました");
        if (written.replaced > 0) {
            text += QStringLiteral("\n（シフト JIS で表せない %1 文字は「?」で書きました）")
                        .arg(written.replaced);
        }
        if (!written.kept_as.isEmpty()) {
            text +=
                written.dropped > 0
                    ? QStringLiteral(
                          "\n以前の time_log.txt には新しいファイルにない記録が %1 個あったため、"
                          "%2 として残しました。")
                          .arg(written.dropped)
                          .arg(written.kept_as)
                    : QStringLiteral(
                          "\n以前の time_log.txt には読み取れない部分があったため、%1 "
                          "として残しました。")
                          .arg(written.kept_as);
        }
        ui_.message(text, kTitle);
    }
    return true;
}

void Commands::k_list() {
    if (needs_pictures()) return;
    commit_comment();
    write_log(true);
}

void Commands::k_komoji() {
    if (needs_pictures()) {
        ui_.focus_comment();
        return;
    }
    commit_comment();
    QStringList failures;
    std::vector<std::pair<QString, QString>> renames;
    const int last = table_.img_count() - 1;
    for (int i = 0; i <= last; ++i) {
        const QString old_name = table_.img_name[i];
        const QString new_name = old_name.toLower();
        const QString error =
            rename_file(QDir(work_dir_).filePath(old_name), QDir(work_dir_).filePath(new_name));
        if (error.isEmpty()) {
            table_.img_name[i] = new_name;
            if (new_name != old_name) renames.emplace_back(old_name, new_name);
        } else {
            failures << QStringLiteral("%1: %2").arg(old_name, error);
        }
    }
    comments_.renamed(renames);
    ui_.set_file_name(table_.img_name[table_.img_index]);
    // The pictures prepared under the old names are of no use any more.
    prepare_neighbours();
    const int renamed = table_.img_count() - int(failures.size());
    if (failures.isEmpty()) {
        ui_.message(QStringLiteral("画像ファイル名を小文字にしました"), kTitle);
    } else {
        const QString counts =
            renamed == 0 ? QStringLiteral("画像ファイル %1 個のどれも小文字にできませんでした:\n")
                               .arg(failures.size())
                         : QStringLiteral(
                               "画像ファイル %1 個のうち %2 個を小文字にしました。次の %3 "
                               "個はできませんでした:\n")
                               .arg(table_.img_count())
                               .arg(renamed)
                               .arg(failures.size());
        ui_.message(counts + failures.join(QLatin1Char('\n')), kTitle);
    }
    ui_.focus_comment();
}

void Commands::k_pre_set(int n) {
    ui_.replace_comment_selection(settings_.pre_str.at(size_t(n)));
    ui_.focus_comment();
}

void Commands::m_setup() {
    if (const std::optional<Settings> chosen = ui_.edit_settings(settings_)) {
        const bool resized = chosen->size_large != settings_.size_large;
        const bool capture_time = settings_.capture_time;  // the menu's, not the dialog's
        settings_ = *chosen;
        settings_.capture_time = capture_time;
        z_set_pre_captions(settings_, ui_);
        z_set_layout(settings_.size_large, ui_);
        if (const int lost = unwritable_phrase_characters(settings_); lost > 0) {
            ui_.message(QStringLiteral("登録文字のうち %1 文字はシフト JIS で表せないため、"
                                       "def_list.txt には「?」として保存されます。")
                            .arg(lost),
                        kTitle);
        }
        // The picture is decoded to the box size, so a new box needs it again;
        // the comment box is left as the user has it.
        if (resized && table_.img_count() > 0) show_picture();
    }
    ui_.focus_comment();
}

void Commands::m_capture_time() {
    set_capture_time(!settings_.capture_time);
    ui_.focus_comment();
}

// Scans the open folder again in the new mode, keeping each picture's
// comment and, with keep_shown, the picture shown (else the first is shown).
// The mode stays as it was when the person cancels, or when the folder can no
// longer be read (its comments stay too).
bool Commands::set_capture_time(bool on, bool keep_shown) {
    if (table_.img_count() > 0) {
        const std::optional<FolderListing> listing = read_dates(work_dir_, on);
        if (!listing || !listing->error.isEmpty() || listing->files.empty()) {
            if (listing) report_listing(*listing);
            ui_.set_capture_time_checked(settings_.capture_time);
            return false;
        }
        // The comments come back from the journal, by file name.
        commit_comment();
        z_read_sort(*listing, keep_shown ? table_.img_name[size_t(table_.img_index)] : QString());
    }
    settings_.capture_time = on;
    ui_.set_capture_time_checked(on);
    return true;
}

// Once a folder, when its file times are plainly those of a copy, offers the
// capture-time mode; only the person's Yes turns it on.
void Commands::offer_capture_time(const FolderListing& listing) {
    if (table_.img_count() == 0 || hints_.contains(work_dir_)) return;
    const auto capture_time = [&](size_t i) {
        return capture_times_.get(work_dir_, listing.files[i]);
    };
    if (!looks_copied(listing.files, capture_time)) return;
    hints_.add(work_dir_);
    if (ui_.ask_yes_no(
            QStringLiteral("このフォルダの写真のファイルの日時は、コピーした時刻のようです"
                           "（カメラが記録した撮影日時とは大きく違います）。\n"
                           "撮影日時で並べ、日付を付けますか?\n"
                           "（ファイル → 撮影日時を使う で、いつでも切り替えられます）"),
            kTitle))
        set_capture_time(true, false);  // the folder was just opened: its first picture
}

void Commands::m_help() {
    ui_.open_document(QDir(program_dir_).filePath(QStringLiteral("Mirabo.html")));
}

void Commands::m_version() {
    ui_.information(version_text(), QStringLiteral("バージョン情報"));
    ui_.focus_comment();
}

}  // namespace fotavi
