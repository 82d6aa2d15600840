#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

#include "album.h"
#include "app/commands.h"
#include "fake_ui.h"

namespace fotavi {

// The picture the commands asked for, shown once its decode is done: the
// decodes finish and what they hand to this thread arrives, as the window's
// loop takes it.
inline void show_decoded(Commands& commands) {
    commands.picture_cache().wait_idle();
    QCoreApplication::sendPostedEvents();
}

// One run of the program on the recording screen, with a program folder of
// its own. Its cache and state folders are its own too, unless a folder is
// given to share (a program started again after a kill).
struct Run {
    FakeUi ui;
    QTemporaryDir program;
    QTemporaryDir own;
    UserFolders folders;
    Commands commands;

    explicit Run(const QString& shared = {}, std::unique_ptr<CommentStore> store = {})
        : folders{(shared.isEmpty() ? own.path() : shared) + "/cache",
                  (shared.isEmpty() ? own.path() : shared) + "/state"},
          commands(ui, program.path(), program.path(), folders, std::move(store)) {}

    // The picture or folder given on the command line.
    void start(const QString& arg) { start(QStringList{arg}); }
    void start(const QStringList& args, const QString& start_dir = QDir::rootPath()) {
        commands.start_up(args, start_dir);
    }
    // Types text into the comment box, as a person does: the box's text is all of it.
    void type(const QString& text) {
        ui.comment_text = text;
        commands.comment_edited();
    }
    QStringList names() const {
        const ImageTable& t = commands.table();
        return QStringList(t.names.begin(), t.names.end());
    }
    QString comment_of(const QString& name) const {
        const int i = const_cast<Commands&>(commands).document().index_of(name);
        return i < 0 ? QStringLiteral("<not listed>") : commands.table().comments[size_t(i)];
    }
    // Waits until every comment asked to be stored is stored (or failed).
    void flush() { commands.document().flush(); }
};

}  // namespace fotavi
