#include "photo_diary/diary.h"

#include <QDir>

#include "photo_diary/diary_csv.h"
#include "photo_diary/diary_html.h"
#include "photo_diary/diary_pdf.h"
#include "photo_diary/diary_pictures.h"
#include "platform/atomic_file.h"
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

namespace {

// The diary's files, each made beside its place and put there at the end.
struct DiaryFile {
    bool wanted;
    QString path;
    AtomicFile file;
    DiarySink put() {
        return [this](QByteArrayView piece) {
            file.write(piece);
            return file.error() == 0;
        };
    }
};

// Writes each file asked for as it is made, then puts them all in place.
// False when that could not be done, with why in result.
bool write_files(const DiaryRequest& request, const DiaryPictures& pictures,
                 DiaryFile* const (&files)[3], DiaryWrite& result,
                 const std::function<bool(int, int)>& pdf_step) {
    DiaryFile& html = *files[0];
    DiaryFile& pdf = *files[1];
    DiaryFile& csv = *files[2];
    for (DiaryFile* made : files) {
        if (!made->wanted) continue;
        if (const int error = made->file.open(made->path, Durability::Durable); error != 0) {
            result.problem = system_write_problem(made->path, error);
            return false;
        }
    }
    if (request.html)
        write_diary_html(html.put(), request.title, request.entries, pictures, request.layout);
    if (request.csv) csv.file.write(diary_csv(request.entries));
    if (request.pdf) {
        const DiaryPdf made = write_diary_pdf(pdf.put(), request.title, request.entries, pictures,
                                              request.layout, pdf_step);
        if (made.cancelled || (!made.problem.ok() && pdf.file.error() == 0)) {
            result.cancelled = made.cancelled;
            result.problem = made.problem;
            if (!made.problem.ok()) result.problem.path = pdf.path;
            return false;
        }
    }
    for (DiaryFile* made : files) {
        if (made->wanted && made->file.flush() != 0) {
            result.problem = system_write_problem(made->path, made->file.error());
            return false;
        }
    }
    for (DiaryFile* made : files) {
        if (!made->wanted) continue;
        if (const int error = made->file.commit(); error != 0) {
            result.problem = system_write_problem(made->path, error);
            return false;
        }
        result.written << made->path;
    }
    return true;
}

}  // namespace

DiaryWrite write_photo_diary(const DiaryRequest& request, const DiaryProgress& progress) {
    DiaryWrite result;
    const QDir folder(request.folder);
    DiaryFile html{request.html, folder.filePath(QLatin1String(kDiaryHtmlName)), {}};
    DiaryFile pdf{request.pdf, folder.filePath(QLatin1String(kDiaryPdfName)), {}};
    DiaryFile csv{request.csv, folder.filePath(QLatin1String(kDiaryCsvName)), {}};
    DiaryFile* const files[] = {&html, &pdf, &csv};
    // A link or a folder in a diary's place is said before any work is done.
    for (DiaryFile* made : files) {
        if (!made->wanted) continue;
        if (const WriteProblem refused = refuse_to_write(made->path); !refused.ok()) {
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
    DiaryPictures pictures = diary_pictures(
        paths, {request.thumbnail_root, request.decoders, load_picture, request.folder},
        [&](int done) { return !progress || progress(done, total); });
    if (pictures.error() != 0) {
        result.problem = system_write_problem(request.html ? html.path : pdf.path,
                                              pictures.error());
        return result;
    }
    if (pictures.count() != paths.size()) {
        result.cancelled = true;
        return result;
    }
    if (request.reason) pictures.explain(request.reason);
    result.unreadable = pictures.missing();

    const bool written =
        write_files(request, pictures, files, result, [&](int done, int blocks) {
            return !progress || progress(count + done * count / std::max(1, blocks), total);
        });
    if (!written) return result;
    if (progress) progress(total, total);
    return result;
}

}  // namespace fotavi
