#include "photo_diary/diary.h"

#include <QDir>

#include "photo_diary/diary_csv.h"
#include "photo_diary/diary_html.h"
#include "photo_diary/diary_pdf.h"
#include "photo_diary/diary_pictures.h"
#include "platform/text_file.h"
#include "time_log/time_log.h"

namespace fotavi {

namespace {

struct NamedLayout {
    DiaryLayout layout;
    const char* name;
};
constexpr NamedLayout kLayouts[] = {{DiaryLayout::Standard, "standard"},
                                    {DiaryLayout::TwoColumns, "two-columns"},
                                    {DiaryLayout::ContactSheet, "contact-sheet"}};

}  // namespace

QString diary_layout_name(DiaryLayout layout) {
    for (const NamedLayout& named : kLayouts)
        if (named.layout == layout) return QLatin1String(named.name);
    return {};
}

std::optional<DiaryLayout> diary_layout_named(const QString& name) {
    for (const NamedLayout& named : kLayouts)
        if (name == QLatin1String(named.name)) return named.layout;
    return std::nullopt;
}

QStringList diary_layout_names() {
    QStringList names;
    for (const NamedLayout& named : kLayouts) names << QLatin1String(named.name);
    return names;
}

QString default_diary_title(const QString& folder) {
    const QString name = QDir(folder).dirName();
    return name.isEmpty() ? QDir::toNativeSeparators(folder) : name;
}

std::vector<DiaryDay> group_by_day(const std::vector<DiaryEntry>& entries) {
    std::vector<DiaryDay> days;
    for (const DiaryEntry& entry : entries) {
        if (days.empty() || days.back().day != entry.day) days.push_back({entry.day, {}});
        days.back().entries.push_back(&entry);
    }
    return days;
}

std::vector<DiaryEntry> diary_entries(const QString& folder, const ImageTable& table,
                                      bool include_uncommented) {
    std::vector<DiaryEntry> entries;
    const QDir dir(folder);
    for (int i = 0; i < table.count(); ++i) {
        if (table.comments[i].isEmpty() && !include_uncommented) continue;
        entries.push_back({dir.filePath(table.names[i]), log_day(table.dates[i]),
                           log_time(table.dates[i]), table.comments[i]});
    }
    return entries;
}

DiaryWrite write_photo_diary(const DiaryRequest& request, const DiaryProgress& progress) {
    DiaryWrite result;
    const QDir folder(request.folder);
    const QString html_path = folder.filePath(QLatin1String(kDiaryHtmlName));
    const QString pdf_path = folder.filePath(QLatin1String(kDiaryPdfName));
    const QString csv_path = folder.filePath(QLatin1String(kDiaryCsvName));
    // A link or a folder in a diary's place is said before any work is done.
    for (const auto& [wanted, path] :
         {std::pair{request.html, html_path}, {request.pdf, pdf_path}, {request.csv, csv_path}}) {
        if (!wanted) continue;
        if (const WriteProblem refused = refuse_to_write(path); !refused.ok()) {
            result.problem = refused;
            return result;
        }
    }
    // Steps: each picture, then each entry drawn into the PDF, then the writing.
    // The table alone needs no picture.
    const int count = int(request.entries.size());
    const bool with_pictures = request.html || request.pdf;
    const int total = (with_pictures ? count : 0) + (request.pdf ? count : 0) + 1;
    QStringList paths;
    if (with_pictures)
        for (const DiaryEntry& entry : request.entries) paths << entry.picture_path;
    const std::vector<DiaryPicture> pictures = diary_pictures(
        paths, {request.thumbnail_root, request.decoders, load_picture, request.reason},
        [&](int done) { return !progress || progress(done, total); });
    if (qsizetype(pictures.size()) != paths.size()) {
        result.cancelled = true;
        return result;
    }
    for (const DiaryPicture& picture : pictures) result.unreadable += picture.jpeg.isEmpty();

    QByteArray html, pdf, csv;
    if (request.html) html = diary_html(request.title, request.entries, pictures, request.layout);
    if (request.csv) csv = diary_csv(request.entries);
    if (request.pdf) {
        const DiaryPdf made = diary_pdf(
            request.title, request.entries, pictures, request.layout, [&](int done, int blocks) {
                return !progress || progress(count + done * count / std::max(1, blocks), total);
            });
        if (made.cancelled || !made.problem.ok()) {
            result.cancelled = made.cancelled;
            result.problem = made.problem;
            if (!made.problem.ok()) result.problem.path = pdf_path;
            return result;
        }
        pdf = made.bytes;
    }
    for (const auto& [wanted, path, bytes] : {std::tuple{request.html, html_path, html},
                                              {request.pdf, pdf_path, pdf},
                                              {request.csv, csv_path, csv}}) {
        if (!wanted) continue;
        result.problem = write_file_atomically(path, bytes);
        if (!result.problem.ok()) return result;
        result.written << path;
    }
    if (progress) progress(total, total);
    return result;
}

}  // namespace fotavi
