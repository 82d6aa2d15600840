#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "photo_diary/diary_pictures.h"
#include "pictures/image_table.h"
#include "platform/failure.h"
#include "platform/text_file.h"
#include "platform/thumbnail_cache.h"

namespace fotavi {

inline constexpr char kDiaryHtmlName[] = "photo_diary.html";
inline constexpr char kDiaryPdfName[] = "photo_diary.pdf";
inline constexpr char kDiaryCsvName[] = "photo_diary.csv";

// How the diary's pages are laid out: one picture a row with its text beside
// it (about 4 a page), two columns (about 8 a page), or a contact sheet of
// small pictures with their comments cut short (12 or more a page).
enum class DiaryLayout { Standard, TwoColumns, ContactSheet };

// The layout's name on the command line ("standard", "two-columns",
// "contact-sheet"), and back; nothing for an unknown name.
QString diary_layout_name(DiaryLayout layout);
std::optional<DiaryLayout> diary_layout_named(const QString& name);
// Every layout's name, in the order above.
QStringList diary_layout_names();

// One picture of the photo diary, as plain values.
struct DiaryEntry {
    QString picture_path;
    QString day;      // "2001年9月2日(日)", as time_log.txt writes it
    QString time;     // "05:10"
    QString comment;  // as typed; may be empty when uncommented pictures are asked for
};

// The entries of one day, in the order given.
struct DiaryDay {
    QString day;
    std::vector<const DiaryEntry*> entries;
};

// Consecutive entries of the same day text form one day.
std::vector<DiaryDay> group_by_day(const std::vector<DiaryEntry>& entries);

// The diary's entries from a picture table: its commented pictures in table
// order, or every picture with include_uncommented.
std::vector<DiaryEntry> diary_entries(const QString& folder, const ImageTable& table,
                                      bool include_uncommented);

// What the person chose to write: the forms, whether pictures without a
// comment go in too, the title (empty: the folder's name), the layout, and
// whether what was written is opened when it is done.
struct DiaryChoice {
    bool html = true;
    bool pdf = true;
    bool include_uncommented = false;
    bool csv = false;
    QString title = QString();
    DiaryLayout layout = DiaryLayout::Standard;
    bool open_when_done = false;
};

struct DiaryRequest {
    QString folder;                   // where photo_diary.html, .pdf and .csv are written
    QString title;                    // the folder's name unless one was given
    std::vector<DiaryEntry> entries;  // in date order
    bool html = true;
    bool pdf = true;
    bool csv = false;
    DiaryLayout layout = DiaryLayout::Standard;
    QString thumbnail_root = default_thumbnail_root();  // large thumbnails to reuse
    int decoders = 2;                                   // pictures decoded at once
    // The reason shown for a picture without JPEG data; unset: the decoder's own.
    DiaryReason reason = DiaryReason();
};

// Called as the work goes on, on the thread that writes: steps done of
// total. Returning false cancels; nothing is written then.
using DiaryProgress = std::function<bool(int done, int total)>;

struct DiaryWrite {
    WriteProblem problem;  // the file that could not be written, and why
    bool cancelled = false;
    QStringList written;  // the paths written
    int unreadable = 0;   // pictures shown as a placeholder with their reason
    bool ok() const { return problem.ok() && !cancelled; }
};

// Writes photo_diary.html, .pdf and .csv (as asked) into the folder, each
// atomically and never through a link. All or none: a failure or a cancel
// before any is written leaves no file changed.
// The title a diary of folder gets when none was given: the folder's name.
QString default_diary_title(const QString& folder);

DiaryWrite write_photo_diary(const DiaryRequest& request, const DiaryProgress& progress = {});

}  // namespace fotavi
