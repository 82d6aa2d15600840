#include "app/commands.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "log/time_log.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "app/ui.h"
#include "settings/layouts.h"

namespace fotavi {

namespace {

const QString kTitle = QStringLiteral("メッセージ");
const QString kAppTitle = QStringLiteral("fotavi");
const QString kNeedPictures = QStringLiteral("先に、画像ファイルを指定して下さい");

void warn(const QString& line) { QTextStream(stderr) << "fotavi: " << line << Qt::endl; }

}  // namespace

QString folder_to_open(const QFileInfo& named) {
    if (named.isDir())
        return named.absoluteFilePath();
    if (named.suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0)
        return named.absolutePath();
    return {};
}

QString version_text() {
    return QStringLiteral("フォタビ\r\n\r\nバージョン1.21\r\n"
                          "Linux 版 © 2026 フォタビ開発チーム");
}

Commands::Commands(Ui& ui, QString program_dir, QString config_dir)
    : ui_(ui), program_dir_(std::move(program_dir)), config_dir_(std::move(config_dir)) {}

QSize Commands::picture_box() const {
    return settings_.size_large ? QSize(640, 480) : QSize(480, 360);
}

void Commands::start_up(const QStringList& args, const QString& start_dir) {
    z_change_dir(program_dir_);
    const ConfigRead config = z_read_config(config_dir_);
    settings_ = config.settings;
    z_set_pre_captions(settings_, ui_);
    if (!config.problem.isEmpty())
        ui_.message(config.problem, kTitle);
    z_set_layout(settings_.size_large, ui_);

    if (args.isEmpty() || args.first().isEmpty())
        return;
    const QString arg = args.first();
    const QString folder = folder_to_open(QFileInfo(QDir(start_dir).absoluteFilePath(arg)));
    if (folder.isEmpty())
        warn(QStringLiteral("%1 は JPEG ファイル (.jpg) でもフォルダでもないため、無視しました").arg(arg));
    else
        open_folder(folder);
}

bool Commands::exit() {
    if (!settle_unwritten())
        return false;
    z_change_dir(program_dir_);
    const QString error = z_write_config(config_dir_, settings_);
    if (!error.isEmpty())
        ui_.message(error, kTitle);
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
    if (folder.isEmpty() || !settle_unwritten())
        return false;
    open_folder(folder);
    ui_.focus_comment();
    return true;
}

void Commands::open_folder(const QString& folder) {
    const QString error = z_change_dir(folder);
    if (!error.isEmpty()) {
        ui_.message(QStringLiteral("フォルダ %1 を開けません。\n理由: %2").arg(folder, error), kTitle);
        return;
    }
    work_dir_ = folder;
    disp_dir_ = folder;
    z_read_sort();
}

void Commands::z_read_sort() {
    if (const QStringList left = finish_interrupted_renames(work_dir_); !left.isEmpty())
        ui_.message(
            QStringLiteral("前回途中で終わった小文字への名前の変更を終えられませんでした:\n") +
                left.join(u'\n'),
            kTitle);
    pictures_.clear();
    table_.clear();
    const FolderListing listing = list_pictures(work_dir_);
    if (!listing.error.isEmpty()) {
        ui_.message(QStringLiteral("フォルダ %1 の中を読めません。\n理由: %2").arg(disp_dir_, listing.error), kTitle);
    } else if (listing.files.empty()) {
        ui_.message(QStringLiteral("検索対象ありませんでした。"), kAppTitle);
    } else {
        fill_table(table_, listing.files);
        written_ = table_.img_comment;
        table_.img_index = 0;
        z_show_photo();
        ui_.enable(PictureCommand::k_incre);
        ui_.enable(PictureCommand::k_decre);
        ui_.enable(PictureCommand::k_komoji);
        ui_.enable(PictureCommand::k_list);
    }
    if (listing.undecodable > 0) {
        ui_.message(QStringLiteral("ファイル名が UTF-8 でない画像ファイルが %1 個あり、表示できません。"
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
    if (i + 1 < table_.img_count())
        paths << QDir(work_dir_).filePath(table_.img_name[i + 1]);
    if (i > 0)
        paths << QDir(work_dir_).filePath(table_.img_name[i - 1]);
    pictures_.prepare(paths, picture_box());
}

void Commands::commit_comment() { table_.img_comment[table_.img_index] = ui_.comment(); }

bool Commands::needs_pictures() {
    if (table_.img_count() > 0)
        return false;
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
    if (table_.img_count() == 0)
        return false;
    if (ui_.comment() != written_[table_.img_index])
        return true;
    for (int i = 0; i < table_.img_count(); ++i) {
        if (i != table_.img_index && table_.img_comment[i] != written_[i])
            return true;
    }
    return false;
}

bool Commands::settle_unwritten() {
    if (!has_unwritten_comments())
        return true;
    switch (ui_.ask_unwritten()) {
        case UnwrittenAnswer::Stay:
            return false;
        case UnwrittenAnswer::Discard:
            return true;
        case UnwrittenAnswer::Write:
            commit_comment();
            return write_log(false);
    }
    return false;
}

bool Commands::write_log(bool confirm) {
    const LogWrite written = z_write_log(work_dir_, table_);
    if (!written.ok()) {
        ui_.message(written.error, kTitle);
        return false;
    }
    written_ = table_.img_comment;
    if (confirm || written.replaced > 0) {
        QString text = disp_dir_ + QStringLiteral("にtime_log.txt を出力しました");
        if (written.replaced > 0) {
            text += QStringLiteral("\n（シフト JIS で表せない %1 文字は「?」で書きました）").arg(written.replaced);
        }
        ui_.message(text, kTitle);
    }
    return true;
}

void Commands::k_list() {
    if (needs_pictures())
        return;
    commit_comment();
    write_log(true);
}

void Commands::k_komoji() {
    if (needs_pictures()) {
        ui_.focus_comment();
        return;
    }
    QStringList failures;
    const int last = table_.img_count() - 1;
    for (int i = 0; i <= last; ++i) {
        const QString old_name = table_.img_name[i];
        const QString new_name = old_name.toLower();
        const QString error = rename_file(QDir(work_dir_).filePath(old_name), QDir(work_dir_).filePath(new_name));
        if (error.isEmpty())
            table_.img_name[i] = new_name;
        else
            failures << QStringLiteral("%1: %2").arg(old_name, error);
    }
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
        settings_ = *chosen;
        z_set_pre_captions(settings_, ui_);
        z_set_layout(settings_.size_large, ui_);
        // The picture is decoded to the box size, so a new box needs it again;
        // the comment box is left as the user has it.
        if (resized && table_.img_count() > 0)
            show_picture();
    }
    ui_.focus_comment();
}

void Commands::m_help() { ui_.open_document(QDir(program_dir_).filePath(QStringLiteral("Mirabo.html"))); }

void Commands::m_version() {
    ui_.information(version_text(), QStringLiteral("バージョン情報"));
    ui_.focus_comment();
}

}  // namespace fotavi
