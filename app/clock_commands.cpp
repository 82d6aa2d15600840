// The cameras' clocks: a correction per camera, kept in the comment store
// and added to the times of the camera's pictures wherever they are shown.
#include <QDir>

#include <algorithm>

#include "app/commands.h"
#include "app/messages.h"
#include "app/ui.h"
#include "document/clock_order.h"
#include "pictures/clock_correction.h"

namespace fotavi {

void Commands::correct_clock() {
    if (needs_pictures()) return;
    take_comment();
    const int shown = document_.shown();
    const QString name = document_.name(shown);
    const QString path = QDir(folder_).filePath(name);
    const QString camera = wait_for(run_on<QString>(tasks_, [path] { return read_camera(path); }),
                                    checking_camera_label());
    if (camera.isEmpty()) {
        ui_.message(no_camera_text(name), message_title());
        ui_.focus_comment();
        return;
    }
    const bool capture_time = settings_.capture_time;
    const std::optional<ClockCorrection> now =
        correction_for(clock_corrections_, camera, capture_time);
    const qint64 seconds = now ? now->seconds : 0;
    const DateTime recorded{document_.table().dates[size_t(shown)].seconds - seconds};
    const std::optional<ClockAnswer> answer =
        ui_.ask_clock_correction({name, camera, recorded, seconds, capture_time});
    const bool remove = answer && (answer->remove || answer->seconds == 0);
    if (!answer || (remove && !now) || (!remove && now && answer->seconds == seconds)) {
        ui_.focus_comment();  // nothing changes
        return;
    }
    const DbError problem =
        wait_for(store_->change_clock_correction(
                     folder_, {camera, capture_time, remove ? 0 : answer->seconds}, remove),
                 saving_clock_label());
    if (problem) {
        ui_.message(clock_store_text(problem), message_title());
    } else {
        // Scanned again: the camera's pictures take their corrected times
        // and places, the same picture stays on screen.
        set_capture_time(capture_time, true);
    }
    ui_.focus_comment();
}

void Commands::apply_clock_corrections(std::vector<ListedFile>& files, StoreLoad& load) {
    clock_corrections_ = load.clock_corrections;
    const bool capture_time = dates_are_capture_times_;
    const bool any =
        std::any_of(clock_corrections_.begin(), clock_corrections_.end(),
                    [&](const ClockCorrection& c) { return c.capture_time == capture_time; });
    if (!any || files.empty()) return;
    const QString folder = folder_;
    const std::vector<ClockCorrection> corrections = clock_corrections_;
    const std::vector<ListedFile> listed = files;
    const std::vector<QString> cameras =
        wait_for(run_on<std::vector<QString>>(tasks_,
                                              [folder, listed, corrections, capture_time] {
                                                  return cameras_to_correct(
                                                      folder, listed, corrections, capture_time);
                                              }),
                 checking_camera_label());
    order_by_corrected_clocks(files, load, cameras, capture_time);
}

}  // namespace fotavi
