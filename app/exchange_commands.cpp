#include <QDir>
#include <QStandardPaths>

#include <atomic>

#include "app/commands.h"
#include "app/messages.h"
#include "app/ui.h"
#include "exchange/captions_in_folder.h"
#include "exchange/export_pictures.h"

// The commands that take comments out of the program in the pictures
// themselves: the export with its folder, question, progress and report.

namespace fotavi {

namespace {

std::vector<PictureToExport> pictures_of(const ImageTable& table, bool all) {
    std::vector<PictureToExport> pictures;
    for (int i = 0; i < table.count(); ++i) {
        const QString& comment = table.comments[size_t(i)];
        if (all || !comment.isEmpty()) pictures.push_back({table.names[size_t(i)], comment});
    }
    return pictures;
}

}  // namespace

void Commands::export_pictures_with_comments() {
    if (needs_pictures()) {
        ui_.focus_comment();
        return;
    }
    QString start = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (start.isEmpty()) start = QDir::homePath();
    const std::optional<QString> destination = ui_.choose_export_folder(start);
    if (destination && !destination->isEmpty())
        export_pictures(*destination, ui_.ask_yes_no(export_all_question(), message_title()));
    ui_.focus_comment();
}

void Commands::export_pictures(const QString& destination, bool all) {
    using namespace std::chrono_literals;
    if (needs_pictures()) return;
    take_comment();
    document_.save();
    ExportRequest request{folder_, destination, pictures_of(document_.table(), all), false};
    if (request.pictures.empty()) {
        ui_.message(export_nothing_text(), message_title());
        return;
    }
    const QStringList existing = existing_names(destination, request.pictures);
    if (!existing.isEmpty())
        request.replace_existing =
            ui_.ask_yes_no(export_existing_question(existing), message_title());

    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};
    const int total = int(request.pictures.size());
    ui_.begin_progress(export_progress_text(total), total);
    if (ui_.step_progress(0)) cancel = true;
    std::future<ExportReport> report = run_on<ExportReport>(tasks_, [&request, &cancel, &done] {
        return fotavi::export_pictures(request, [&](int step, int) {
            done = step;
            return !cancel;
        });
    });
    waiting_ = true;
    while (report.wait_for(10ms) != std::future_status::ready)
        if (ui_.step_progress(done)) cancel = true;
    waiting_ = false;
    ui_.end_progress();
    ui_.message(export_report_text(destination, report.get()), message_title());
}

void Commands::toggle_sidecars() {
    const int error = sidecars_.set_on(!sidecars_.on());
    ui_.set_sidecars_checked(sidecars_.on());
    if (error != 0) ui_.message(sidecar_setting_text(error), message_title());
    ui_.focus_comment();
}

void Commands::offer_captions(const StoreLoad& load) {
    if (load.captions_offered) return;
    std::vector<std::pair<int, QString>> uncommented;
    for (int i = 0; i < document_.count(); ++i)
        if (document_.comment(i).isEmpty()) uncommented.emplace_back(i, document_.name(i));
    if (uncommented.empty()) return;
    const QString folder = folder_;
    std::atomic<int> done{0};
    using Found = std::vector<std::pair<int, QString>>;
    const Found found = wait_for(
        run_on<Found>(tasks_, [folder, uncommented,
                               &done] { return captions_in_pictures(folder, uncommented, &done); }),
        finding_captions_label(), &done, int(uncommented.size()));
    // Nothing is written for a folder without captions: opening a folder
    // leaves no file behind until something is said or typed.
    if (found.empty()) return;
    if (ui_.ask_yes_first(captions_found_question(int(found.size())), message_title()))
        document_.take_comments(found);
    store_->remember_captions_offered(folder);
}

void Commands::sidecar_failed(const SidecarWrite& failure) {
    ui_.message(sidecar_failure_text(failure), message_title());
}

}  // namespace fotavi
