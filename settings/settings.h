#pragma once

#include <QByteArray>
#include <QString>

#include <array>

#include "platform/files.h"
#include "platform/text_file.h"

namespace fotavi {

// The settings kept between runs in def_list.txt.
struct Settings {
    bool size_large = false;
    std::array<QString, 4> phrases{QStringLiteral("米"), QStringLiteral("麦"), QStringLiteral("豆"),
                                   QStringLiteral("実")};
    // Pictures are dated by the time their camera recorded, not their file time.
    bool capture_time = false;
    bool operator==(const Settings&) const = default;
};

inline constexpr char kConfigName[] = "def_list.txt";
// The file the install step puts into the program folder: it tells an
// installed program from one in its build folder or a portable copy.
inline constexpr char kInstalledMarker[] = "installed";

// A settings file is five short lines; anything far larger is no settings file.
inline constexpr qint64 kConfigLimit = 64 * 1024;

// What reading def_list.txt gave: the settings (defaults where the file had
// nothing usable) and, when the file was present but not as the program writes
// it, what was wrong (the person is told in app/reasons.h).
struct ConfigRead {
    Settings settings;
    bool malformed = false;  // read, but not as the program writes it: the rest is default
    SmallFile unread;        // present but not read (its errno, the kind of file): all default
    bool ok() const { return !malformed && unread.ok(); }
};

// Parses the bytes of def_list.txt (code page 932; lines end in CR LF or LF).
ConfigRead parse_config(const QByteArray& bytes);
// The five lines, code page 932, each ended by CR LF; a sixth, "CaptureTime",
// only while the capture-time mode is on.
QByteArray serialize_config(const Settings& settings);

// Reads def_list.txt from folder; a missing file gives the defaults silently.
ConfigRead read_settings_file(const QString& folder);
// Writes def_list.txt into folder atomically, making the folder if need be.
WriteProblem write_settings_file(const QString& folder, const Settings& settings);

// Keeps a def_list.txt that could not be read as written as
// "def_list_damaged-<yyyyMMdd-hhmmss>.txt" beside it, so writing the settings
// at exit loses nothing: a copy, or the file itself moved when it is no
// settings file at all (a FIFO, a device, a huge file). A folder stays where
// it is (error EISDIR).
Aside keep_damaged_config(const QString& folder);
// How many characters of the phrases code page 932 cannot hold.
int unwritable_phrase_characters(const Settings& settings);

// The folder that holds def_list.txt. A program run from its build folder or
// a portable copy keeps it in the program folder while that is writable. An
// installed program never writes into its folder, whoever runs it: it uses the
// per-user configuration folder (made when missing), and when the user has no
// def_list.txt there yet, a copy of one left beside the program becomes it.
QString config_folder(const QString& program_folder);

// The caption of preset button n (0..3) for its phrase: "米(&Z)", "お.(&Z)".
QString preset_caption(int n, const QString& phrase);

}  // namespace fotavi
