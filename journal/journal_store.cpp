#include "journal/journal_store.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <exception>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace fotavi {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// Holds an exclusive lock on a folder while a journal in it is read, merged
// and replaced, so two instances never interleave those steps. Where the
// file system has no such locks, it goes on without one.
class FolderLock {
public:
    explicit FolderLock(const QString& folder)
        : fd_(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// What one journal file at path held.
struct Candidate {
    std::optional<JournalRead> read;  // nothing when there was no usable file
    QString note;                     // for the person, when something was kept aside
    bool stuck = false;               // a file that is not ours could not be moved away
};

Candidate read_candidate(const QString& path) {
    Candidate result;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0) return result;  // no journal yet

    QString why;
    QString tag = QStringLiteral("damaged");
    QByteArray bytes;
    if (S_ISLNK(st.st_mode)) {
        why = QStringLiteral("シンボリックリンクなので使いません");
    } else if (S_ISDIR(st.st_mode)) {
        why = QStringLiteral("フォルダなので使いません");
    } else if (!S_ISREG(st.st_mode)) {
        why = QStringLiteral("普通のファイルではないので使いません");
    } else if (st.st_size > kJournalMaxBytes) {
        why = QStringLiteral("大きすぎる（%1 バイト）ので読みません").arg(st.st_size);
    } else {
        QFile file(path);
        errno = 0;
        if (!file.open(QIODevice::ReadOnly)) {
            why = QStringLiteral("読めません（理由: %1）").arg(system_reason(errno));
        } else {
            bytes = file.read(kJournalMaxBytes + 1);
            JournalRead read = parse_journal(bytes);
            if (read.newer) {
                tag = QStringLiteral("newer");
                why = QStringLiteral(
                    "新しい版のフォタビで書かれています。分かる部分だけを読みました");
            } else if (read.damaged) {
                why = read.entries.empty()
                          ? QStringLiteral("壊れていて、コメントを読めませんでした")
                          : QStringLiteral("一部が壊れていました。読めた %1 個のコメントを使います")
                                .arg(read.entries.size());
            }
            result.read = std::move(read);
            if (why.isEmpty()) return result;
        }
    }
    const QFileInfo info(path);
    const Aside aside = keep_aside(
        path, dated_stem(info.completeBaseName() + u'-' + tag + u'-', QDateTime::currentDateTime()),
        QStringLiteral(".json"), AsideHow::Move);
    if (aside.ok()) {
        result.note = QStringLiteral("%1 は%2。元のファイルは %3 として残しました。")
                          .arg(native(path), why, aside.name);
    } else {
        result.stuck = true;
        result.note = QStringLiteral("%1 は%2。別の名前で残すこともできませんでした（理由: %3）。")
                          .arg(native(path), why, system_reason(aside.error));
    }
    return result;
}

bool is_permission_error(int error) { return error == EACCES || error == EPERM || error == EROFS; }

QString write_atomically(const QString& path, const QByteArray& bytes, int* error) {
    return write_file_atomically(path, bytes, error);
}

}  // namespace

QString fallback_journal_path(const QString& state_dir, const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(clean), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    QString name = QFileInfo(clean).fileName().left(64);
    if (name.isEmpty()) name = QStringLiteral("root");
    return QStringLiteral("%1/%2-%3.json").arg(state_dir, name, QString::fromLatin1(hash));
}

JournalStore::JournalStore(QString state_dir, Writer writer)
    : state_dir_(std::move(state_dir)),
      writer_(writer ? std::move(writer) : Writer(write_atomically)),
      worker_([this] { work(); }) {}

JournalStore::~JournalStore() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;  // a save still waiting is written first
    }
    changed_.notify_all();
    worker_.join();
}

void JournalStore::set_on_report(std::function<void(const Report&)> on_report) {
    on_report_ = std::move(on_report);
}

QString JournalStore::path_for(const QString& folder) const {
    return QDir(folder).filePath(QString::fromLatin1(kJournalName));
}

JournalLoad JournalStore::load(const QString& folder) {
    wait_idle();  // the latest save of this folder must be on disk first
    JournalLoad load;
    const bool writable = ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
    bool stuck = false;
    for (const QString& path : {path_for(folder), fallback_journal_path(state_dir_, folder)}) {
        Candidate candidate = read_candidate(path);
        if (!candidate.note.isEmpty()) load.notes << candidate.note;
        stuck = stuck || (candidate.stuck && path == path_for(folder));
        if (candidate.read) {
            load.found = true;
            load.entries = merge_journals(load.entries, candidate.read->entries);
        }
    }
    std::lock_guard lock(mutex_);
    // A folder that cannot be written, or whose journal name is taken by
    // something that could not be moved away, keeps its journal in the state folder.
    if (!writable || stuck)
        unwritable_.insert(folder);
    else
        unwritable_.remove(folder);
    return load;
}

void JournalStore::save(const QString& folder, JournalEntries entries) {
    {
        std::lock_guard lock(mutex_);
        pending_.emplace(folder, std::move(entries));
    }
    changed_.notify_all();
}

void JournalStore::wait_idle() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !pending_ && !busy_; });
    }
    deliver();
}

// The background thread: writes the latest save waiting, until the store goes.
void JournalStore::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ || stopping_; });
        if (!pending_) return;
        const auto [folder, entries] = std::move(*pending_);
        pending_.reset();
        busy_ = true;
        lock.unlock();
        Report report;
        // Nothing may escape a background task: a failure is reported like any other.
        try {
            report = write(folder, entries);
        } catch (const std::exception& e) {
            report = {folder, entries,
                      QStringLiteral("コメントを保存できませんでした（%1）。")
                          .arg(QString::fromLocal8Bit(e.what()))};
        } catch (...) {
            report = {folder, entries,
                      QStringLiteral("コメントを保存できませんでした（原因不明のエラー）。")};
        }
        lock.lock();
        reports_.push_back(std::move(report));
        busy_ = false;
        QMetaObject::invokeMethod(
            &receiver_, [this] { deliver(); }, Qt::QueuedConnection);
        changed_.notify_all();
    }
}

JournalStore::Report JournalStore::write(const QString& folder, const JournalEntries& entries) {
    bool to_state;
    {
        std::lock_guard lock(mutex_);
        to_state = unwritable_.contains(folder);
    }
    QStringList failures;
    for (;;) {
        const QString path =
            to_state ? fallback_journal_path(state_dir_, folder) : path_for(folder);
        const QString dir = QFileInfo(path).absolutePath();
        if (to_state) QDir().mkpath(dir);
        FolderLock lock(dir);
        // Merge with what is there now: another instance may have saved
        // comments since this one read the journal.
        JournalEntries merged = entries;
        const Candidate there = read_candidate(path);
        if (there.read && !there.read->newer && !there.read->damaged)
            merged = merge_journals(entries, there.read->entries);
        int error = 0;
        const QString problem =
            there.stuck ? there.note : writer_(path, serialize_journal(folder, merged), &error);
        if (problem.isEmpty()) return {folder, merged, {}};
        failures << problem;
        if (to_state || !(is_permission_error(error) || there.stuck)) break;
        std::lock_guard guard(mutex_);
        unwritable_.insert(folder);
        to_state = true;
    }
    return {
        folder, entries,
        QStringLiteral("入力したコメントを保存できませんでした。\n%1\n"
                       "コメントはプログラムの中に残っていて、次に保存するときにもう一度試します。")
            .arg(failures.join(QLatin1Char('\n')))};
}

void JournalStore::deliver() {
    std::deque<Report> reports;
    {
        std::lock_guard lock(mutex_);
        reports.swap(reports_);
    }
    for (const Report& report : reports)
        if (on_report_) on_report_(report);
}

}  // namespace fotavi
