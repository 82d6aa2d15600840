#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <deque>
#include <functional>
#include <vector>

#include "app/ui.h"

namespace fotavi::bench {

// What every part of the benchmark shares: where figures go, how many runs
// a median takes, and the pictures and folders it makes.

extern QTextStream out;
extern int runs;

double median(std::vector<double> values);
double maximum(const std::vector<double>& values);
// Median wall time of f in milliseconds, after one warm-up run.
double time_ms(const std::function<void()>& f, int count = runs);
QString ms(double value);
// A line "  label ....... value".
void line(const QString& label, const QString& value);

// A picture with what makes camera JPEGs slow to decode: smooth areas, edges
// and fine grain everywhere (flat colours would decode far faster).
QImage photo(QSize size, unsigned seed);
void save_jpeg(const QImage& image, const QString& path);
// Sets a file's modification time.
void touch(const QString& path, const QDateTime& when);
// Fills folder with count copies of picture named <prefix>00000.JPG on,
// the first dated first and each next one step_seconds later.
void copy_pictures(const QString& folder, const QString& picture, int count, const QString& prefix,
                   const QDateTime& first, int step_seconds);
// Wall time of one run of a program, its output thrown away.
// Runs args with standard output to /dev/null, in environment ("NAME=value"
// pairs; empty: this process's), and waits: its wall time and peak memory.
struct Spawned {
    double ms = 0;
    qint64 peak_kib = 0;
};
Spawned spawn_quietly(const QStringList& args, const QStringList& environment = {});
double spawn_ms(const QStringList& args);
// Peak resident memory (VmHWM, KiB) of program after it has run a few seconds.
qint64 peak_kib(const QString& program, const QStringList& args,
                const QStringList& environment = {});
// CPU seconds this process has used, all threads.
double cpu_seconds();
// CPU seconds the calling thread has used.
double thread_cpu_seconds();
// Bytes this process has handed to write() so far.
qint64 bytes_written();
// Bytes this process has sent to the disk so far (whole pages, as the kernel writes them).
qint64 disk_bytes_written();

// A screen that answers every question the way the benchmark wants and
// shows nothing: the commands' logic without a display.
class QuietUi : public Ui {
public:
    QString comment_text;
    std::deque<QString> chosen;
    QImage picture;
    int messages = 0;

    void message(const QString&, const QString&) override { ++messages; }
    void information(const QString&, const QString&) override {}
    void set_file_name(const QString&) override {}
    void set_file_date(const QString&) override {}
    void set_picture(const QImage& image) override { picture = image; }
    void set_picture_placeholder(const QString&, const QString&) override { picture = QImage(); }
    QString comment() const override { return comment_text; }
    void set_comment(const QString& text) override { comment_text = text; }
    void replace_comment_selection(const QString& text) override { comment_text += text; }
    void focus_comment() override {}
    void enable(PictureCommand) override {}
    void set_preset(int, const QString&, const QString&) override {}
    void set_layout_value(const LayoutValue&) override {}
    QString choose_picture(const QString&) override;
    std::optional<Settings> edit_settings(const Settings&) override { return std::nullopt; }
    UnwrittenAnswer ask_unwritten(bool) override { return UnwrittenAnswer::Discard; }
    UnsavedAnswer ask_unsaved(const QString&) override { return UnsavedAnswer::Leave; }
    bool ask_leave_without_saving(const QString&) override { return true; }
    void open_document(const QString&) override {}
    bool ask_yes_no(const QString&, const QString&) override { return false; }
    std::optional<ClockAnswer> ask_clock_correction(const ClockQuestion&) override {
        return std::nullopt;
    }
    void set_capture_time_checked(bool) override {}
    void show_overview() override {}
    std::optional<DiaryChoice> ask_photo_diary(const QString&, const DiaryChoice& c) override {
        return c;
    }
    void begin_progress(const QString&, int, bool) override {}
    bool step_progress(int) override { return false; }
    void end_progress() override {}
};

// The parts of the benchmark.
void measure_pictures(const QString& program, const QString& work);
// The saves of a sync count (FOTAVI_BENCH_SAVES: their number, a line break, the folder).
void save_for_sync_count(const QString& order);
// Types into the first picture of folder, a key every 100 ms, each said on
// standard output, until killed (FOTAVI_BENCH_TYPE: the folder).
void type_until_killed(const QString& folder);
void measure_store(const QString& program, const QString& work);
void measure_heif(const QString& work);

}  // namespace fotavi::bench
