#pragma once

#include <QString>
#include <QStringList>

#include "photo_diary/diary.h"

namespace fotavi {

// What the program's exit status says of a command run without a window.
enum ExitStatus : int {
    kExitDone = 0,
    kExitFailed = 1,   // the work could not be done; the reason is on standard error
    kExitMisused = 2,  // an unknown option or a wrong value
};

// The program's arguments, read before any window or display is needed.
struct CommandLine {
    enum class Action { Open, Help, Version, WriteDiary, ExportPictures };
    Action action = Action::Open;
    // Open: the picture or folder to open (empty: none); WriteDiary and
    // ExportPictures: the picture or folder whose diary or pictures are written.
    QString path;
    // ExportPictures: the folder the copies go into.
    QString destination;
    // One line for standard error. Open still starts the window (without a
    // folder); a command run without a window ends with kExitMisused.
    QString problem;
    // WriteDiary: the forms, the title (empty: the kept one or the folder's
    // name), the layout, whether pictures without a comment go in (that also
    // for ExportPictures).
    DiaryChoice diary;
};

// Reads the arguments after the program name. The toolkit's own options
// (-platform NAME, -style NAME, -reverse ...) are passed over with their
// values: the toolkit takes them when it starts.
CommandLine read_command_line(const QStringList& arguments);

// What --version prints (--help prints help_text(), app/messages.h).
QString version_line();

}  // namespace fotavi
