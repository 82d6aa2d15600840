#include "exchange/export_pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "exchange/captions.h"
#include "platform/files.h"
#include "platform/io.h"

namespace fotavi {

namespace {

// No picture a camera makes comes near this; the limit keeps a huge file
// from being read into memory whole.
constexpr qint64 kPictureLimit = qint64(1) << 30;

struct SourcePicture {
    QByteArray bytes;
    struct timespec mtime {};
    int error = 0;
    bool link = false;
};

SourcePicture read_source(int dir_fd, const QByteArray& name) {
    SourcePicture source;
    const int fd = ::openat(dir_fd, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (fd < 0) {
        source.error = errno;
        source.link = errno == ELOOP;
        return source;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        source.error = errno;
    else if (!S_ISREG(st.st_mode))
        source.error = EINVAL;
    else if (st.st_size > kPictureLimit)
        source.error = EFBIG;
    if (source.error != 0) {
        ::close(fd);
        return source;
    }
    source.mtime = st.st_mtim;
    source.bytes.resize(qsizetype(st.st_size));
    const qint64 got = read_all(fd, source.bytes.data(), st.st_size);
    if (got != st.st_size) source.error = got < 0 ? errno : EIO;
    ::close(fd);
    return source;
}

// Whether name in dir_fd is a symbolic link or a folder: never written over.
bool refused_name(int dir_fd, const QByteArray& name) {
    struct stat st {};
    if (::fstatat(dir_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode);
}

bool same_folder(const QString& a, const QString& b) {
    struct stat first {
    }, second{};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

ExportFailure failure(const QString& name, ExportFailure::Step step, int error,
                      const QString& detail = {}) {
    return {name, step, error, detail};
}

// Copies one picture; the failure, or nothing (existing names go to report).
std::optional<ExportFailure> export_one(int from_dir, int to_dir, const PictureToExport& picture,
                                        bool replace, ExportReport& report) {
    using Step = ExportFailure::Step;
    const QByteArray name = QFile::encodeName(picture.name);
    const QByteArray sidecar = name + ".xmp";
    if (refused_name(to_dir, name)) return failure(picture.name, Step::Link, 0);
    const SourcePicture source = read_source(from_dir, name);
    if (source.link) return failure(picture.name, Step::Link, 0);
    if (source.error != 0) return failure(picture.name, Step::Read, source.error);

    QByteArray bytes = source.bytes;
    bool needs_sidecar = false;
    if (!picture.comment.isEmpty()) {
        const Embedded embedded = embed_caption(source.bytes, picture.comment);
        if (embedded.unsupported)
            needs_sidecar = true;
        else if (!embedded.ok())
            return failure(picture.name, Step::Caption, 0, embedded.problem);
        else
            bytes = embedded.bytes;
    }
    if (needs_sidecar && refused_name(to_dir, sidecar))
        return failure(picture.name + QStringLiteral(".xmp"), Step::Link, 0);
    const int error = write_new_file(to_dir, name, bytes, &source.mtime, replace);
    if (error == EEXIST) {
        report.existing.append(picture.name);
        return std::nullopt;
    }
    if (error != 0) return failure(picture.name, Step::Write, error);
    ++report.written;
    if (!needs_sidecar) return std::nullopt;
    QString problem;
    const std::optional<QByteArray> packet =
        sidecar_with_description({}, picture.comment, &problem);
    if (!packet) return failure(picture.name, Step::Caption, 0, problem);
    const int sidecar_error = write_new_file(to_dir, sidecar, *packet, nullptr, true);
    if (sidecar_error != 0)
        return failure(picture.name + QStringLiteral(".xmp"), Step::Write, sidecar_error);
    ++report.with_sidecar;
    return std::nullopt;
}

}  // namespace

int write_new_file(int dir_fd, const QByteArray& name, const QByteArray& bytes,
                   const struct timespec* mtime, bool replace) {
    if (!replace) {
        struct stat st {};
        if (::fstatat(dir_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    } else if (refused_name(dir_fd, name)) {
        return EEXIST;
    }
    // A hidden name of our own beside the final one, made only if free.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = "." + name.left(200) + ".fotavi-" +
                    QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(dir_fd, temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;
    int error = write_all(fd, bytes.constData(), bytes.size());
    if (error == 0 && mtime) {
        const struct timespec times[2] = {*mtime, *mtime};
        if (::futimens(fd, times) != 0) error = errno;
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0) {
        if (replace)
            error = ::renameat(dir_fd, temporary.constData(), dir_fd, name.constData()) == 0
                        ? 0
                        : errno;
        else
            error = rename_no_replace_at(dir_fd, temporary, dir_fd, name);
    }
    if (error != 0) ::unlinkat(dir_fd, temporary.constData(), 0);
    return error;
}

QStringList existing_names(const QString& destination,
                           const std::vector<PictureToExport>& pictures) {
    QStringList names;
    for (const PictureToExport& picture : pictures) {
        struct stat st {};
        const QByteArray path = QFile::encodeName(QDir(destination).filePath(picture.name));
        if (::lstat(path.constData(), &st) == 0) names.append(picture.name);
    }
    return names;
}

ExportReport export_pictures(const ExportRequest& request,
                             const std::function<bool(int done, int total)>& go_on) {
    ExportReport report;
    const int total = int(request.pictures.size());
    if (const int error = make_folders(request.destination); error != 0) {
        report.destination_error = error;
        return report;
    }
    if (same_folder(request.folder, request.destination)) {
        report.same_folder = true;
        return report;
    }
    const int from_dir =
        ::open(QFile::encodeName(request.folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (from_dir < 0) {
        report.failures.push_back(failure(request.folder, ExportFailure::Step::Read, errno));
        return report;
    }
    const int to_dir = ::open(QFile::encodeName(request.destination).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (to_dir < 0) {
        report.destination_error = errno;
        ::close(from_dir);
        return report;
    }
    for (int done = 0; done <= total; ++done) {
        if (go_on && !go_on(done, total)) {
            report.cancelled = done < total;
            break;
        }
        if (done == total) break;
        const PictureToExport& picture = request.pictures[size_t(done)];
        if (auto failed = export_one(from_dir, to_dir, picture, request.replace_existing, report))
            report.failures.push_back(*failed);
    }
    ::close(from_dir);
    ::close(to_dir);
    return report;
}

}  // namespace fotavi
