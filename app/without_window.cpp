#include "app/without_window.h"

#include <QDir>
#include <QThread>

#include <algorithm>

#include "app/commands.h"
#include "app/messages.h"
#include "app/reasons.h"
#include "comments/store_reading.h"
#include "document/clock_order.h"
#include "document/folder_document.h"
#include "exchange/export_pictures.h"
#include "pictures/capture_cache.h"
#include "settings/settings.h"
#include "time_log/log_readback.h"

namespace fotavi {

namespace {

QString one_line(QString text) { return text.replace(u'\n', u' '); }

int refuse(QTextStream& err, const QString& reason, int status) {
    err << "fotavi: " << one_line(reason) << Qt::endl;
    return status;
}

int write_diary(const CommandLine& line, const QString& start_dir, bool capture_time,
                const UserFolders& folders, QTextStream& out, QTextStream& err) {
    const DiaryChoice& choice = line.diary;
    const FolderRead read = read_folder(line.path, start_dir, folders, capture_time);
    if (!read.problem.isEmpty()) return refuse(err, read.problem, kExitFailed);
    DiaryRequest request;
    request.folder = read.folder;
    request.title = !choice.title.isEmpty()       ? choice.title
                    : !read.diary_title.isEmpty() ? read.diary_title
                                                  : default_diary_title(read.folder);
    request.entries = diary_entries(read.folder, read.table, choice.include_uncommented);
    request.html = choice.html;
    request.pdf = choice.pdf;
    request.csv = choice.csv;
    request.layout = choice.layout;
    request.decoders = std::clamp(QThread::idealThreadCount(), 1, 8);
    request.reason = diary_picture_reason;
    if (request.entries.empty())
        return refuse(err, diary_without_entries_text().section(u'\n', 0, 0), kExitFailed);
    const DiaryWrite written = write_photo_diary(request);
    if (!written.written.isEmpty()) out << diary_written_lines(written) << Qt::endl;
    if (!written.ok()) return refuse(err, diary_written_text(read.folder, written), kExitFailed);
    return kExitDone;
}

// Copies the folder's commented pictures (or all) into the destination with
// their comments embedded, never replacing a file there.
int export_pictures(const CommandLine& line, const QString& start_dir, bool capture_time,
                    const UserFolders& folders, QTextStream& out, QTextStream& err) {
    const FolderRead read = read_folder(line.path, start_dir, folders, capture_time);
    if (!read.problem.isEmpty()) return refuse(err, read.problem, kExitFailed);
    ExportRequest request;
    request.folder = read.folder;
    request.destination = QDir::cleanPath(QDir(start_dir).absoluteFilePath(line.destination));
    for (int i = 0; i < read.table.count(); ++i) {
        const QString& comment = read.table.comments[size_t(i)];
        if (line.diary.include_uncommented || !comment.isEmpty())
            request.pictures.push_back({read.table.names[size_t(i)], comment});
    }
    if (request.pictures.empty()) return refuse(err, export_nothing_text(), kExitFailed);
    const ExportReport report = export_pictures(request, {});
    const QString text = export_report_text(request.destination, report);
    (report.ok() ? out : err) << text << Qt::endl;
    return report.ok() ? kExitDone : kExitFailed;
}

}  // namespace

FolderRead read_folder(const QString& named, const QString& start_dir, const UserFolders& folders,
                       bool capture_time) {
    FolderRead read;
    read.folder =
        QDir::cleanPath(folder_to_open(QFileInfo(QDir(start_dir).absoluteFilePath(named))));
    if (named.isEmpty() || read.folder.isEmpty()) {
        read.problem = not_a_folder_text(named);
        return read;
    }
    FolderListing listing = list_pictures(read.folder);
    if (listing.error != 0) {
        read.problem = folder_unreadable_text(read.folder, listing.error);
        return read;
    }
    if (listing.files.empty()) {
        read.problem = no_pictures_text();
        return read;
    }
    if (capture_time) {
        CaptureTimeCache cache(folders.cache_dir);
        use_capture_times(listing.files, read.folder, cache, [](int) { return false; });
    }
    ReadOnlyCommentStore store(folders.state_dir, capture_seconds);
    FolderDocument document(store);
    StoreLoad load = store.load(read.folder, listing.files).get();
    // The cameras' clocks corrected in the window are corrected here too.
    order_by_corrected_clocks(
        listing.files, load,
        cameras_to_correct(read.folder, listing.files, load.clock_corrections, capture_time),
        capture_time);
    document.open(read.folder, listing.files, load);
    if (!load.has_text) {
        const ReadBack back = read_back_log(read.folder, document.table());
        if (back.found) document.take_read_back(back);
    }
    read.table = document.table();
    read.diary_title = store.diary_title(read.folder).get();
    return read;
}

int run_without_window(const CommandLine& line, const QString& start_dir, const QString& config_dir,
                       const UserFolders& folders, QTextStream& out, QTextStream& err) {
    if (!line.problem.isEmpty()) return refuse(err, line.problem, kExitMisused);
    switch (line.action) {
        case CommandLine::Action::Help:
            out << help_text() << Qt::flush;
            return kExitDone;
        case CommandLine::Action::Version:
            out << version_line() << Qt::endl;
            return kExitDone;
        case CommandLine::Action::WriteDiary:
            return write_diary(line, start_dir,
                               read_settings_file(config_dir).settings.capture_time, folders, out,
                               err);
        case CommandLine::Action::ExportPictures:
            return export_pictures(line, start_dir,
                                   read_settings_file(config_dir).settings.capture_time, folders,
                                   out, err);
        case CommandLine::Action::Open:
            break;
    }
    return kExitDone;
}

}  // namespace fotavi
