#pragma once

#include <QRegularExpression>
#include <QStringList>

#include <deque>
#include <vector>

#include "app/ui.h"

namespace fotavi {

// A screen that records what the commands do to it, one line an event, and
// answers the dialogs from scripted queues.
class FakeUi : public Ui {
public:
    QStringList events;  // "message|title|prompt", "focus", "enable|next", ...
    QString file_name, file_date, comment_text, placeholder;
    QImage picture;
    std::deque<QString> chosen_pictures;
    std::deque<UnwrittenAnswer> unwritten_answers;
    std::deque<UnsavedAnswer> unsaved_answers;  // empty: stay
    std::deque<bool> leave_answers;             // empty: leave
    std::deque<std::optional<Settings>> settings_answers;
    QStringList opened_documents;
    QStringList captions{4}, tool_tips{4};
    std::vector<LayoutValue> layout_values;
    std::deque<bool> yes_no_answers;  // No when empty
    bool capture_time_checked = false;
    int cancel_at_step = -1;  // the progress step that answers "cancelled"; -1: never
    int progress_steps = 0;
    bool waiting = false;
    QStringList waits;  // labels of work on a worker that took long enough to show
    // The photo diary dialog's answers; empty: Return, what it shows.
    std::deque<std::optional<DiaryChoice>> diary_answers;
    DiaryChoice diary_offered;  // what the photo diary's dialog was last opened with
    // The export's folder answers; empty: cancelled.
    std::deque<QString> export_folders;
    std::deque<std::optional<ClockAnswer>> clock_answers;  // none left: cancelled
    std::vector<ClockQuestion> clock_questions;

    QStringList messages() const {
        return events.filter(QRegularExpression(QStringLiteral("^(message|information)\\|")));
    }
    void clear() { events.clear(); }

    void message(const QString& prompt, const QString& title) override {
        events << QStringLiteral("message|%1|%2").arg(title, prompt);
    }
    void information(const QString& prompt, const QString& title) override {
        events << QStringLiteral("information|%1|%2").arg(title, prompt);
    }
    void set_file_name(const QString& caption) override {
        file_name = caption;
        events << QStringLiteral("file_name|") + caption;
    }
    void set_file_date(const QString& caption) override {
        file_date = caption;
        events << QStringLiteral("file_date|") + caption;
    }
    void set_picture(const QImage& image) override {
        picture = image;
        placeholder.clear();
        events << QStringLiteral("picture|%1x%2").arg(image.width()).arg(image.height());
    }
    void set_picture_placeholder(const QString& name, const QString& reason) override {
        picture = QImage();
        placeholder = name + QLatin1Char('|') + reason;
        events << QStringLiteral("placeholder|") + name;
    }
    QString comment() const override { return comment_text; }
    void set_comment(const QString& text) override {
        comment_text = text;
        events << QStringLiteral("comment|") + text;
    }
    void replace_comment_selection(const QString& text) override {
        comment_text += text;
        events << QStringLiteral("insert|") + text;
    }
    void focus_comment() override { events << QStringLiteral("focus"); }
    void enable(PictureCommand command) override {
        static const char* names[] = {"next", "previous", "lower_case", "list"};
        events << QStringLiteral("enable|") + QLatin1String(names[int(command)]);
    }
    void set_preset(int n, const QString& caption, const QString& tool_tip) override {
        captions[n] = caption;
        tool_tips[n] = tool_tip;
        events << QStringLiteral("preset|%1|%2").arg(n).arg(caption);
    }
    void set_layout_value(const LayoutValue& value) override {
        layout_values.push_back(value);
        events << QStringLiteral("layout");
    }
    QString choose_picture(const QString&) override {
        events << QStringLiteral("open dialog");
        if (chosen_pictures.empty()) return {};
        QString path = chosen_pictures.front();
        chosen_pictures.pop_front();
        return path;
    }
    std::optional<Settings> edit_settings(const Settings&) override {
        events << QStringLiteral("settings dialog");
        if (settings_answers.empty()) return std::nullopt;
        auto answer = settings_answers.front();
        settings_answers.pop_front();
        return answer;
    }
    UnwrittenAnswer ask_unwritten(bool saved) override {
        events << (saved ? QStringLiteral("ask unwritten")
                         : QStringLiteral("ask unwritten|unsaved"));
        if (unwritten_answers.empty()) return UnwrittenAnswer::Stay;
        UnwrittenAnswer answer = unwritten_answers.front();
        unwritten_answers.pop_front();
        return answer;
    }
    UnsavedAnswer ask_unsaved(const QString& prompt) override {
        events << QStringLiteral("ask unsaved|") + prompt;
        if (unsaved_answers.empty()) return UnsavedAnswer::Stay;
        const UnsavedAnswer answer = unsaved_answers.front();
        unsaved_answers.pop_front();
        return answer;
    }
    bool ask_leave_without_saving(const QString& problem) override {
        events << QStringLiteral("ask leave|") + problem;
        if (leave_answers.empty()) return true;
        const bool leave = leave_answers.front();
        leave_answers.pop_front();
        return leave;
    }
    void open_document(const QString& path) override {
        opened_documents << path;
        events << QStringLiteral("open document|") + path;
    }
    bool ask_yes_no(const QString& prompt, const QString& title) override {
        events << QStringLiteral("ask yes no|%1|%2").arg(title, prompt);
        const bool yes = !yes_no_answers.empty() && yes_no_answers.front();
        if (!yes_no_answers.empty()) yes_no_answers.pop_front();
        return yes;
    }
    std::optional<ClockAnswer> ask_clock_correction(const ClockQuestion& question) override {
        clock_questions.push_back(question);
        events << QStringLiteral("clock dialog|") + question.camera;
        if (clock_answers.empty()) return std::nullopt;
        const std::optional<ClockAnswer> answer = clock_answers.front();
        clock_answers.pop_front();
        return answer;
    }
    void set_capture_time_checked(bool on) override { capture_time_checked = on; }
    std::optional<QString> choose_export_folder(const QString&) override {
        events << QStringLiteral("choose export folder");
        if (export_folders.empty()) return std::nullopt;
        const QString folder = export_folders.front();
        export_folders.pop_front();
        return folder;
    }
    void show_overview() override { events << QStringLiteral("overview"); }
    std::optional<DiaryChoice> ask_photo_diary(const QString& folder,
                                               const DiaryChoice& choice) override {
        events << QStringLiteral("photo diary dialog|") + folder;
        diary_offered = choice;
        if (diary_answers.empty()) return choice;
        const std::optional<DiaryChoice> answer = diary_answers.front();
        diary_answers.pop_front();
        return answer;
    }
    void begin_progress(const QString& label, int maximum, bool cancellable = true) override {
        waiting = !cancellable;
        // How long work on a worker takes is no event of the screen.
        if (waiting) {
            waits << label;
            return;
        }
        progress_steps = 0;
        events << QStringLiteral("progress|%1|%2").arg(label).arg(maximum);
    }
    bool step_progress(int done) override {
        if (waiting) return false;
        ++progress_steps;
        return cancel_at_step >= 0 && done >= cancel_at_step;
    }
    void end_progress() override {
        if (!waiting) events << QStringLiteral("progress end");
    }
};

}  // namespace fotavi
