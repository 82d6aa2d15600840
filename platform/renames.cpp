#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/reasons.h"
#include "platform/files.h"
#include "platform/io.h"

namespace fotavi {

namespace {

constexpr char kNotePrefix[] = ".fotavi-";
constexpr char kNoteSuffix[] = ".rename";
constexpr char kTemporarySuffix[] = ".tmp";
// Two names of at most 255 bytes and their ends; anything longer is no note of ours.
constexpr qint64 kMaxNote = 2 * 256;
constexpr qsizetype kMaxName = 255;

QByteArray folder_of(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : path.left(std::max<qsizetype>(slash, 1));
}

QByteArray name_of(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }

bool all_digits(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The process id in a note's name ".fotavi-<pid>-<n>.rename", or nothing
// when the name is not of that form.
std::optional<pid_t> note_pid(QByteArrayView name) {
    const qsizetype prefix = qsizetype(std::strlen(kNotePrefix));
    const qsizetype suffix = qsizetype(std::strlen(kNoteSuffix));
    if (!name.startsWith(kNotePrefix) || !name.endsWith(kNoteSuffix) ||
        name.size() <= prefix + suffix)
        return std::nullopt;
    const QByteArrayView middle = name.sliced(prefix, name.size() - prefix - suffix);
    const qsizetype dash = middle.indexOf('-');
    if (dash < 0 || !all_digits(middle.first(dash)) || !all_digits(middle.sliced(dash + 1)))
        return std::nullopt;
    bool ok = false;
    const int pid = middle.first(dash).toInt(&ok);
    return ok ? std::optional<pid_t>(pid_t(pid)) : std::nullopt;
}

// The rename notes of the folder open as dir_fd whose program has ended (a
// note of a program still running is its rename under way).
std::vector<QByteArray> finished_notes(int dir_fd) {
    std::vector<QByteArray> notes;
    const int listing_fd = ::dup(dir_fd);
    DIR* dir = listing_fd < 0 ? nullptr : ::fdopendir(listing_fd);
    if (!dir) {
        if (listing_fd >= 0) ::close(listing_fd);
        return notes;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const std::optional<pid_t> pid = note_pid(name);
        if (!pid) continue;
        if (*pid > 0 && *pid != ::getpid() && (::kill(*pid, 0) == 0 || errno == EPERM)) continue;
        notes.push_back(name);
    }
    ::closedir(dir);
    return notes;
}

// Why a file of a note, of kind and owner (kind 0: not there), is not one
// this program could have left; what names it (the note, the temporary file).
QString not_ours(unsigned kind, unsigned owner, const QString& what) {
    if (kind == 0) return QStringLiteral("%1がありません").arg(what);
    if (S_ISLNK(kind)) return QStringLiteral("%1がシンボリックリンクです").arg(what);
    if (!S_ISREG(kind)) return QStringLiteral("%1が普通のファイルではありません").arg(what);
    if (owner != ::geteuid())
        return QStringLiteral("%1がほかのユーザー (uid %2) のものです").arg(what).arg(owner);
    return {};
}

// Finishes the rename of one note in the folder open as dir_fd; a line for
// the person when something is left undone, else empty.
QString finish_one(int dir_fd, const QByteArray& note_name) {
    const QByteArray stem = note_name.chopped(qsizetype(std::strlen(kNoteSuffix)));
    const QByteArray temporary = stem + kTemporarySuffix;
    const QString shown = QFile::decodeName(temporary);
    const SmallFile note = read_small_file_at(dir_fd, note_name, kMaxNote, false);
    if (note.error == ENOENT) return {};  // gone meanwhile
    struct stat temp {};
    const bool has_temporary =
        ::fstatat(dir_fd, temporary.constData(), &temp, AT_SYMLINK_NOFOLLOW) == 0;
    QString why = not_ours(note.kind, note.owner, QStringLiteral("記録"));
    if (why.isEmpty() && !note.ok())
        why = QStringLiteral("記録を読めません: %1").arg(small_file_reason(note, kMaxNote));
    const std::optional<RenameNote> names = parse_rename_note(note.bytes);
    // A run cut off before or after its renames, or while writing the note,
    // leaves a note of its own without the temporary file: nothing to rename.
    if (why.isEmpty() && !has_temporary && (names || note.bytes.isEmpty())) {
        ::unlinkat(dir_fd, note_name.constData(), 0);
        return {};
    }
    if (why.isEmpty() && !names)
        why = QStringLiteral("記録の名前がこのフォルダの中のファイル名ではありません");
    if (why.isEmpty())
        why =
            not_ours(has_temporary ? temp.st_mode : 0, temp.st_uid, QStringLiteral("一時ファイル"));
    if (!why.isEmpty()) {
        return QStringLiteral("%1 と %2 をそのままにしました（%3）")
            .arg(QFile::decodeName(note_name), shown, why);
    }
    const int error = rename_no_replace_at(dir_fd, temporary, dir_fd, names->to);
    if (error != 0 && rename_no_replace_at(dir_fd, temporary, dir_fd, names->from) != 0)
        return QStringLiteral("%1: %2 に名前を戻せません（%3）")
            .arg(shown, QFile::decodeName(names->to), system_reason(error));
    ::unlinkat(dir_fd, note_name.constData(), 0);
    return {};
}

}  // namespace

bool is_single_name(QByteArrayView name) {
    return !name.isEmpty() && name.size() <= kMaxName && name != "." && name != ".." &&
           !name.contains('/') && !name.contains('\0');
}

std::optional<RenameNote> parse_rename_note(QByteArrayView bytes) {
    const qsizetype first_end = bytes.indexOf('\0');
    // Two ends, the second the last byte: one name alone is no note.
    if (first_end < 0 || first_end == bytes.size() - 1 || !bytes.endsWith('\0'))
        return std::nullopt;
    const QByteArrayView from = bytes.first(first_end);
    const QByteArrayView to = bytes.sliced(first_end + 1, bytes.size() - first_end - 2);
    if (!is_single_name(from) || !is_single_name(to)) return std::nullopt;
    return RenameNote{from.toByteArray(), to.toByteArray()};
}

QByteArray rename_note_bytes(const RenameNote& note) { return note.from + '\0' + note.to + '\0'; }

TwoStepRename::TwoStepRename(const QString& old_name, const QString& new_name)
    : from_(QFile::encodeName(old_name)), to_(QFile::encodeName(new_name)) {
    // Short whatever the length of the name, so that a name near the limit
    // of 255 bytes still goes through; unique within this run of the program.
    static std::atomic<int> count{0};
    const QByteArray stem = folder_of(from_) + '/' + kNotePrefix + QByteArray::number(::getpid()) +
                            '-' + QByteArray::number(++count);
    temporary_ = stem + kTemporarySuffix;
    note_ = stem + kNoteSuffix;
}

QString TwoStepRename::first_step() {
    // The note holds both names, each ended by a zero byte (a name may hold
    // any other byte, line breaks included).
    const int fd =
        ::open(note_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return system_reason(errno);
    const QByteArray names = rename_note_bytes({name_of(from_), name_of(to_)});
    int error = write_all(fd, names.constData(), names.size());
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0) error = rename_no_replace(from_, temporary_);
    if (error != 0) {
        ::unlink(note_.constData());
        return system_reason(error);
    }
    return {};
}

QString TwoStepRename::second_step() {
    QString reason;
    if (const int error = rename_no_replace(temporary_, to_); error != 0) {
        reason = system_reason(error);
        if (rename_no_replace(temporary_, from_) != 0)
            return reason;  // the note stays, so the next scan tries again
    }
    ::unlink(note_.constData());
    return reason;
}

QString rename_file(const QString& old_name, const QString& new_name) {
    const QByteArray from = QFile::encodeName(old_name);
    const QByteArray to = QFile::encodeName(new_name);
    if (from == to) {
        struct stat st {};
        return ::stat(from.constData(), &st) == 0 ? QString() : system_reason(errno);
    }
    const int error = rename_no_replace(from, to);
    if (error == 0) return {};
    // The new name is taken. Where only the letter case changes, it may be
    // this very file, on a camera's FAT card that does not tell the names
    // apart (inode numbers do not tell either, in user-space FAT): that goes
    // through a temporary name, whose second step finds a real twin.
    const bool case_only = error == EEXIST && old_name.compare(new_name, Qt::CaseInsensitive) == 0;
    if (!case_only) return system_reason(error);
    TwoStepRename rename(old_name, new_name);
    const QString first = rename.first_step();
    return first.isEmpty() ? rename.second_step() : first;
}

QStringList finish_interrupted_renames(const QString& folder) {
    QStringList problems;
    // Every name is taken relative to the folder itself, so no name of a
    // note can reach outside it, even should the folder be moved meanwhile.
    const int dir_fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) return problems;  // the scan names the reason
    const auto close_dir = qScopeGuard([dir_fd] { ::close(dir_fd); });
    for (const QByteArray& note : finished_notes(dir_fd)) {
        if (const QString line = finish_one(dir_fd, note); !line.isEmpty()) problems << line;
    }
    return problems;
}

int rename_no_replace(const QByteArray& from, const QByteArray& to) {
    return rename_no_replace_at(AT_FDCWD, from, AT_FDCWD, to);
}

int rename_no_replace_at(int from_dir, const QByteArray& from, int to_dir, const QByteArray& to) {
    if (::renameat2(from_dir, from.constData(), to_dir, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // A second name fails atomically when the name is taken; the first name
    // then goes. File systems without second names (FAT) refuse the link.
    if (::linkat(from_dir, from.constData(), to_dir, to.constData(), 0) == 0) {
        if (::unlinkat(from_dir, from.constData(), 0) == 0) return 0;
        const int error = errno;
        ::unlinkat(to_dir, to.constData(), 0);
        return error;
    }
    if (errno == EEXIST) return EEXIST;
    struct stat st {};
    if (::fstatat(to_dir, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return ::renameat(from_dir, from.constData(), to_dir, to.constData()) == 0 ? 0 : errno;
}

}  // namespace fotavi
