#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>

#include "app/commands.h"
#include "app/messages.h"
#include "app/reasons.h"
#include "app/ui.h"

// The photo diary command: the dialog, the writing on a worker with a
// progress that can be cancelled, the result in a message.

namespace fotavi {

namespace {

// How many pictures the diary takes: the commented ones, or all.
int diary_count(const ImageTable& table, bool include_uncommented) {
    if (include_uncommented) return table.count();
    return int(std::count_if(table.comments.begin(), table.comments.end(),
                             [](const QString& comment) { return !comment.isEmpty(); }));
}

}  // namespace

void Commands::make_photo_diary() {
    if (needs_pictures()) {
        ui_.focus_comment();
        return;
    }
    take_comment();
    document_.save();
    // The title kept for this folder, else its name, to be edited.
    DiaryChoice offered = diary_choice_;
    const QString kept = wait_for(store_->diary_title(folder_), reading_comments_label());
    offered.title = kept.isEmpty() ? default_diary_title(folder_) : kept;
    const std::optional<DiaryChoice> choice = ui_.ask_photo_diary(folder_, offered);
    if (choice) {
        diary_choice_ = *choice;
        if (choice->title != offered.title) store_->keep_diary_title(folder_, choice->title);
        DiaryRequest request;
        request.folder = folder_;
        request.title = choice->title.isEmpty() ? default_diary_title(folder_) : choice->title;
        request.html = choice->html;
        request.pdf = choice->pdf;
        request.csv = choice->csv;
        request.layout = choice->layout;
        request.decoders = std::clamp(QThread::idealThreadCount(), 1, 8);
        request.reason = diary_picture_reason;
        if (diary_count(document_.table(), choice->include_uncommented) == 0) {
            ui_.message(diary_without_entries_text(), message_title());
        } else if (request.html || request.pdf || request.csv) {
            const DiaryWrite written = write_diary(request);
            ui_.message(diary_written_text(folder_, written), message_title());
            // The PDF, else the page, else the table: one is enough to find the others.
            if (written.ok() && choice->open_when_done && !written.written.isEmpty())
                ui_.open_document(
                    written.written.contains(QDir(folder_).filePath(QLatin1String(kDiaryPdfName)))
                        ? QDir(folder_).filePath(QLatin1String(kDiaryPdfName))
                        : written.written.first());
        }
    }
    ui_.focus_comment();
}

// The person's cancel is asked for once before the work starts, then while it
// runs; the writer sees it at its next step and writes nothing.
// The entries are made on the worker too: at 50,000 pictures that takes a while.
DiaryWrite Commands::write_diary(const DiaryRequest& asked) {
    std::atomic<bool> cancel{false};
    std::atomic<int> per_mille{0};
    std::promise<void> started;
    const std::shared_future<void> go = started.get_future().share();
    const ImageTable table = document_.table();
    const bool all = diary_choice_.include_uncommented;
    const int count = diary_count(table, all);
    std::future<DiaryWrite> written =
        run_on<DiaryWrite>(tasks_, [&asked, &table, all, &cancel, &per_mille, go] {
            DiaryRequest request = asked;
            request.entries = diary_entries(request.folder, table, all);
            go.wait();
            return write_photo_diary(request, [&](int done, int total) {
                per_mille = int(qint64(done) * 1000 / std::max(1, total));
                return !cancel;
            });
        });
    return wait_for(std::move(written), writing_diary_label(count), &per_mille, 1000, &cancel,
                    &started);
}

}  // namespace fotavi
