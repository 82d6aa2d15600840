#include "platform/files.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

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

#include "platform/errors.h"
#include "platform/io.h"

namespace fotavi {

namespace {

bool is_jpg_name(const QString& name) {
    return name.size() > 4 && name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive);
}

}  // namespace

FolderListing list_pictures(const QString& folder) {
    FolderListing listing;
    // The folder is read directly rather than through QDir: Qt leaves out names
    // that are not valid UTF-8 without a word, and the user must be told.
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) {
        listing.error = system_reason(errno);
        return listing;
    }
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw.size() <= 4 || !raw.right(4).toLower().endsWith(".jpg")) continue;
        struct stat st {};
        // Follows symbolic links, so a link to a picture counts as the picture.
        if (::fstatat(dir_fd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString name = utf8(raw);
        if (utf8.hasError()) {
            ++listing.undecodable;
            continue;
        }
        if (!is_jpg_name(name)) continue;
        // Whole seconds: pictures taken within one second compare equal and keep listing order.
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        listing.files.push_back({name, to_date_time(modified), qint64(st.st_size),
                                 qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    }
    ::closedir(dir);
    return listing;
}

QString z_change_dir(const QString& path) {
    if (::chdir(QFile::encodeName(path).constData()) != 0) return system_reason(errno);
    return {};
}

UserFolders user_folders() {
    UserFolders folders;
    folders.cache_dir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                        QStringLiteral("/fotavi");
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    folders.state_dir = state + QStringLiteral("/fotavi");
    return folders;
}

QString program_folder() { return QCoreApplication::applicationDirPath(); }

namespace {

constexpr char kNotePrefix[] = ".fotavi-";
constexpr char kNoteSuffix[] = ".rename";
constexpr char kTemporarySuffix[] = ".tmp";

QByteArray folder_of(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : path.left(std::max<qsizetype>(slash, 1));
}

QByteArray name_of(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }

}  // namespace

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
    const QByteArray names = name_of(from_) + '\0' + name_of(to_) + '\0';
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
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) return problems;  // the scan names the reason
    std::vector<QByteArray> notes;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith(kNotePrefix) && name.endsWith(kNoteSuffix)) notes.push_back(name);
    }
    ::closedir(dir);
    for (const QByteArray& note : notes) {
        // A note of a program still running is its rename under way.
        const QByteArray stem = note.chopped(qsizetype(std::strlen(kNoteSuffix)));
        const pid_t pid =
            pid_t(stem.mid(qsizetype(std::strlen(kNotePrefix))).split('-').value(0).toInt());
        if (pid > 0 && pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM)) continue;
        const QByteArray note_path = encoded + '/' + note;
        const QByteArray temporary = encoded + '/' + stem + kTemporarySuffix;
        QFile file(QFile::decodeName(note_path));
        const QList<QByteArray> names =
            file.open(QIODevice::ReadOnly) ? file.read(4096).split('\0') : QList<QByteArray>();
        struct stat st {};
        if (::lstat(temporary.constData(), &st) != 0) {
            ::unlink(note_path.constData());  // cut off before or after the renames
            continue;
        }
        const QString shown = QFile::decodeName(stem + kTemporarySuffix);
        if (names.size() < 3 || names[0].isEmpty() || names[1].isEmpty()) {
            problems << QStringLiteral(
                            "%1: 中断した名前の変更の記録 %2 を読めないため、元の名前に戻せません")
                            .arg(shown, QFile::decodeName(note));
            continue;
        }
        const QByteArray old_path = encoded + '/' + names[0];
        const QByteArray new_path = encoded + '/' + names[1];
        const int error = rename_no_replace(temporary, new_path);
        if (error == 0) {
            ::unlink(note_path.constData());
            continue;
        }
        if (rename_no_replace(temporary, old_path) == 0) {
            ::unlink(note_path.constData());
            continue;
        }
        problems << QStringLiteral("%1: %2 に名前を戻せません（%3）")
                        .arg(shown, QFile::decodeName(names[1]), system_reason(error));
    }
    return problems;
}

QString unused_path(const QString& folder, const QString& base, const QString& suffix) {
    for (int n = 1;; ++n) {
        const QString name =
            n == 1 ? base + suffix : QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        const QString path = QDir(folder).filePath(name);
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return path;
    }
}

int rename_no_replace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // A second name fails atomically when the name is taken; the first name
    // then goes. File systems without second names (FAT) refuse the link.
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0) return 0;
        const int error = errno;
        ::unlink(to.constData());
        return error;
    }
    if (errno == EEXIST) return EEXIST;
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0) return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

namespace {

// Copies source to a new file target, which must not exist, keeping the
// modification time. 0, or the errno of the step that failed.
int copy_to_new_file(const QByteArray& source, const QByteArray& target) {
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return errno;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno != 0 && !S_ISREG(st.st_mode) ? EINVAL : errno;
        ::close(in);
        return error;
    }
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    std::vector<char> buffer(65536);
    for (;;) {
        const qint64 got = read_all(in, buffer.data(), qint64(buffer.size()));
        if (got < 0) error = errno;
        if (got <= 0 || error != 0) break;
        error = write_all(out, buffer.data(), got);
        if (error != 0 || got < qint64(buffer.size())) break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (error == 0 && ::futimens(out, times) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    ::close(in);
    if (error != 0) ::unlink(target.constData());
    return error;
}

// File systems without second names (FAT, exFAT on a camera card) refuse with one of these.
bool links_unsupported(int error) {
    return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP ||
           error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

Aside keep_aside(const QString& path, const QString& stem, const QString& suffix, AsideHow how) {
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray source = QFile::encodeName(path);
    bool linkable = true;
    Aside aside;
    for (int attempt = 0; attempt < 100; ++attempt) {  // a name taken meanwhile: the next one
        const QString target_path = unused_path(folder, stem, suffix);
        const QByteArray target = QFile::encodeName(target_path);
        aside.name = QFileInfo(target_path).fileName();
        if (how == AsideHow::Move) {
            aside.error = rename_no_replace(source, target);
        } else {
            aside.error = 0;
            if (linkable && ::link(source.constData(), target.constData()) != 0) {
                aside.error = errno;
                linkable = !links_unsupported(aside.error);
            }
            if (!linkable) aside.error = copy_to_new_file(source, target);
        }
        if (aside.error != EEXIST) return aside;
    }
    return aside;
}

QString dated_stem(const QString& prefix, const QDateTime& when) {
    return prefix + when.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

}  // namespace fotavi
