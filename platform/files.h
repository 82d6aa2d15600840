#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#include "platform/date_time.h"

namespace fotavi {

// One picture file as the folder listing reports it.
struct ListedFile {
    QString name;
    DateTime date;
    qint64 size = -1;  // bytes
    qint64 mtime_ns =
        0;  // modification time, nanoseconds since 1970: with the size, tells a changed file
};

struct FolderListing {
    std::vector<ListedFile> files;  // in the order the file system lists them
    int undecodable = 0;            // names that are not valid UTF-8, left out
    int error = 0;                  // the folder could not be listed: the errno
};

// Where the program keeps what is not a setting, never in a picture folder:
// the capture-time cache ($XDG_CACHE_HOME/fotavi) and records of its own, such
// as the journals of picture folders that cannot be written ($XDG_STATE_HOME/fotavi).
struct UserFolders {
    QString cache_dir;
    QString state_dir;
};
UserFolders user_folders();

// Whether name is a picture's: it ends in ".jpg", ".heic" or ".heif", in any
// letter case, after at least one other character.
bool is_picture_name(const QString& name);

// Lists the regular files of folder whose names are pictures' (see
// is_picture_name), with their modification times (date: whole seconds,
// local time), in file-name order (see comes_before_by_name).
FolderListing list_pictures(const QString& folder);

// File-name order: letter case aside, then by case for names that differ
// only in it. Pictures of the same second are sorted by time from this
// order, so they follow the camera's counter and lower-casing the names
// never reorders them.
bool comes_before_by_name(const QString& a, const QString& b);

// Makes path the current folder; 0, or the errno.
int change_current_folder(const QString& path);

// The folder of the program's executable.
QString program_folder();

// Renames old_name to new_name without ever replacing another file, also
// where only the letter case changes on a case-insensitive file system. A
// name that stays the same is checked: a file gone since the scan is an
// error too. Returns 0, or the errno of the step that failed.
int rename_file(const QString& old_name, const QString& new_name);

// Renames each pair (old name, new name) of the files of folder, in order,
// with rename_file; done (when given) counts the pairs handled. For each
// pair: 0, or the errno of why it keeps its old name.
std::vector<int> rename_files(const QString& folder,
                              const std::vector<std::pair<QString, QString>>& pairs,
                              std::atomic<int>* done = nullptr);

// A rename in two steps through a short temporary name, for a file system
// where the new name, differing only in letter case, already names the file
// (a camera's FAT card). A note written beside the file first holds both
// names, so a rename cut off between the steps (the program ended) is
// finished by finish_interrupted_renames at the next scan.
class TwoStepRename {
public:
    TwoStepRename(const QString& old_name, const QString& new_name);
    // Writes the note and moves the file to the temporary name; 0 or the errno.
    int first_step();
    // Gives the file the new name, or back its old one when the new name is
    // taken; removes the note. 0, or the errno of why the new name was not given.
    int second_step();

private:
    QByteArray from_, to_, temporary_, note_;
};

// A rename note that finish_interrupted_renames left as it found it, or a
// picture it could not give a name: what is wrong, as plain values.
struct UnfinishedRename {
    enum class Problem {
        Missing,      // part is not there
        Link,         // part is a symbolic link
        NotRegular,   // part is a folder, a FIFO, a device or a socket
        OtherUser,    // part belongs to another user (owner)
        Unreadable,   // the note could not be read (read says why)
        NotOurNames,  // the names in the note are no file names of the folder
        NotNamed,     // the picture got neither name back (error)
    };
    enum class Part { Note, Temporary };
    Problem problem = Problem::Missing;
    Part part = Part::Note;
    QByteArray note;       // the note's file name
    QByteArray temporary;  // the temporary file's name
    QByteArray to;         // NotNamed: the name it was to get
    unsigned owner = 0;    // OtherUser: the user id of the part
    int error = 0;         // NotNamed: the errno
    // Unreadable: how reading the note failed, as read_small_file says it
    // (its error, kind, whether through a link, size), and the largest note read.
    int read_error = 0;
    unsigned read_kind = 0;
    bool read_through_link = false;
    qint64 read_size = 0, limit = 0;
};

// Finishes the renames of folder that were cut off between their two steps:
// each picture gets the name it was being given, or its old name back when
// another file holds that. A note is followed only when it and its temporary
// file are regular files of this user and both names in it are single file
// names; anything else is left as it is, since anyone who can put files into
// the folder can write a note. Returns each note not followed and each
// picture left under its temporary name, with the reason.
std::vector<UnfinishedRename> finish_interrupted_renames(const QString& folder);

// The two names a rename note holds, each ended by a zero byte.
struct RenameNote {
    QByteArray from;
    QByteArray to;
};
// The names of a note: only when the bytes are exactly two single file
// names, each ended by a zero byte, and nothing after.
std::optional<RenameNote> parse_rename_note(QByteArrayView bytes);
QByteArray rename_note_bytes(const RenameNote& note);
// Whether name, read from a file, names an entry of the folder it is used
// in and nothing else: not empty, not "." or "..", no "/" and no zero byte,
// at most 255 bytes.
bool is_single_name(QByteArrayView name);

// A path in folder for "<base><suffix>" that names nothing yet: base itself,
// else "<base>-2<suffix>", "<base>-3<suffix>", ...; for keeping a file aside.
QString unused_path(const QString& folder, const QString& base, const QString& suffix);

// Renames from to to without ever replacing a file named to: atomically where
// the file system can (RENAME_NOREPLACE, else a second name then the first
// removed), else checked just before (a user-space FAT has neither). 0, or
// the errno.
int rename_no_replace(const QByteArray& from, const QByteArray& to);
// The same for names relative to the folders open as from_dir and to_dir
// (AT_FDCWD: the current folder).
int rename_no_replace_at(int from_dir, const QByteArray& from, int to_dir, const QByteArray& to);

// A file read whole, or why it was not.

struct SmallFile {
    QByteArray bytes;
    int error = 0;              // 0 when read; ENOENT: nothing by that name; EFBIG: over the
                                // limit; EINVAL: no regular file (kind says what); else the errno
    unsigned kind = 0;          // the kind of file found (the S_IFMT bits), 0 when none
    bool through_link = false;  // the name is a symbolic link, followed
    qint64 size = 0;
    unsigned owner = 0;  // the user id of the file
    bool ok() const { return error == 0; }
};

// Reads the file at path when it is a regular file of at most limit bytes; a
// symbolic link is followed only to one. A FIFO, a device, a socket or a
// folder is never read, so nothing waits for a writer or reads forever; a
// file that grows past the limit while read is refused too.
SmallFile read_small_file(const QString& path, qint64 limit);
// The same for name in the folder open as dir_fd; without follow_links a
// symbolic link is refused as such (kind S_IFLNK).
SmallFile read_small_file_at(int dir_fd, const QByteArray& name, qint64 limit, bool follow_links);

// Makes folder and the folders above it that are missing, each with mode
// (less the umask): 0700 for a cache of the user's own. 0, or the errno of the
// step that failed (the true reason: EACCES where a folder may not be made).
int make_folders(const QString& folder, unsigned mode = 0777);

// Whether a file written atomically must survive a crash right after: a
// diary, the settings (Durable: synced to the disk, then renamed, and the
// rename synced), or is only made again when lost (Disposable: a cache entry,
// never synced).
enum class Durability { Durable, Disposable };

// Writes bytes as the file at path through a new file beside it and one
// rename, so that a reader sees the old file or the new one, never a part.
// Never writes through a symbolic link (the rename replaces the link itself;
// refuse_to_write tells a person's file apart first) nor over a folder (EISDIR).
// A durable file keeps the mode of the one it replaces; any other gets mode
// (less the umask). 0, or the errno of the step that failed; the old file is then as
// it was.
int write_atomically(const QString& path, const QByteArray& bytes, Durability durability,
                     unsigned mode = 0666);

// How a file is kept aside: moved to the new name, or copied there (a second
// name for the same file where the file system has them, else a copy with
// the same modification time), the file itself staying as it is.
enum class AsideHow { Move, Copy };

struct Aside {
    QString name;   // the file name it is kept under (the one tried, on failure)
    int error = 0;  // the errno of the step that failed
    bool ok() const { return error == 0; }
};

// Keeps the file at path beside it as "<stem><suffix>", "<stem>-2<suffix>",
// ...: the first name that is free, never replacing a file.
Aside keep_aside(const QString& path, const QString& stem, const QString& suffix, AsideHow how);

// "<prefix>yyyyMMdd-HHmmss" of when in local time: the stem of a kept file.
QString dated_stem(const QString& prefix, const QDateTime& when);

}  // namespace fotavi
