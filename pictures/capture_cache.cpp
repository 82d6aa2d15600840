#include "pictures/capture_cache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFileInfo>
#include <QUrl>

#include "platform/files.h"
#include "platform/text_file.h"

namespace fotavi {

namespace {

constexpr quint32 kMagic = 0x46544354;  // "FTCT"
constexpr quint16 kVersion = 2;         // 2: dates in whole seconds
// A cache file is a few dozen bytes a picture; anything far larger is not ours.
constexpr qint64 kMaxCacheFile = 64 * 1024 * 1024;
// A line a folder the hint was shown for: a lifetime of folders is far less.
constexpr qint64 kMaxHintFile = 4 * 1024 * 1024;
const QString kHintFile = QStringLiteral("capture-time-hints.txt");

}  // namespace

CaptureTimeCache::CaptureTimeCache(QString cache_dir) : cache_dir_(std::move(cache_dir)) {}

QString CaptureTimeCache::file_for(const QString& folder) const {
    const QByteArray key =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex();
    return cache_dir_ + QStringLiteral("/capture-times/") + QString::fromLatin1(key);
}

QByteArray capture_cache_bytes(const QString& folder, const CachedTimes& times) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << kVersion << folder << quint32(times.size());
    for (auto it = times.cbegin(); it != times.cend(); ++it) {
        const CachedTime& e = it.value();
        out << it.key() << e.size << e.mtime_ns << e.time.date.seconds
            << qint32(e.time.microseconds) << quint8(e.time.tag);
    }
    return bytes;
}

std::optional<CachedTimes> parse_capture_cache(QByteArrayView bytes, const QString& folder) {
    QDataStream in(bytes.toByteArray());
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint16 version = 0;
    QString stored_folder;
    quint32 count = 0;
    in >> magic >> version >> stored_folder >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion ||
        stored_folder != folder)
        return std::nullopt;
    CachedTimes times;
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        CachedTime entry;
        qint32 micro = 0;
        quint8 tag = 0;
        in >> name >> entry.size >> entry.mtime_ns >> entry.time.date.seconds >> micro >> tag;
        if (in.status() != QDataStream::Ok) return std::nullopt;
        entry.time.microseconds = micro;
        entry.time.tag = TimeTag(tag);
        if (entry.size >= 0 && could_be_read(entry.time)) times.insert(name, entry);
    }
    return times;
}

void CaptureTimeCache::use_folder(const QString& folder) {
    if (loaded_ && folder == folder_) return;
    folder_ = folder;
    loaded_ = true;
    changed_ = false;
    entries_.clear();
    if (cache_dir_.isEmpty()) return;
    const SmallFile file = read_small_file(file_for(folder), kMaxCacheFile);
    if (!file.ok()) return;
    if (std::optional<CachedTimes> times = parse_capture_cache(file.bytes, folder))
        entries_ = std::move(*times);
}

CaptureTime CaptureTimeCache::get(const QString& folder, const ListedFile& file) {
    use_folder(folder);
    const auto known = entries_.constFind(file.name);
    if (known != entries_.constEnd() && known->size == file.size &&
        known->mtime_ns == file.mtime_ns)
        return known->time;
    const CaptureTime time = read_capture_time(folder + QLatin1Char('/') + file.name);
    ++files_read_;
    entries_.insert(file.name, {file.size, file.mtime_ns, time});
    changed_ = true;
    return time;
}

void CaptureTimeCache::save(const QString& folder, const std::vector<ListedFile>& files) {
    use_folder(folder);
    if (size_t(entries_.size()) > files.size()) {
        QSet<QString> listed;
        listed.reserve(qsizetype(files.size()));
        for (const ListedFile& file : files) listed.insert(file.name);
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (listed.contains(it.key())) {
                ++it;
            } else {
                it = entries_.erase(it);
                changed_ = true;
            }
        }
    }
    if (!changed_ || cache_dir_.isEmpty()) return;
    // A cache that cannot be written is read again next time; no one is told.
    if (make_folders(cache_dir_ + QStringLiteral("/capture-times")) != 0) return;
    if (write_atomically(file_for(folder), capture_cache_bytes(folder, entries_),
                         Durability::Disposable) == 0)
        changed_ = false;
}

bool use_capture_times(std::vector<ListedFile>& files, const QString& folder,
                       CaptureTimeCache& cache, const std::function<bool(int done)>& cancelled) {
    std::vector<CaptureTime> times;
    times.reserve(files.size());
    for (const ListedFile& file : files) {
        times.push_back(cache.get(folder, file));
        if (cancelled(int(times.size()))) return false;
    }
    cache.save(folder, files);
    files = order_by_capture_time(std::move(files), times);
    return true;
}

HintRecord::HintRecord(QString state_dir)
    : path_(state_dir.isEmpty() ? QString() : state_dir + QLatin1Char('/') + kHintFile) {}

// One folder a line, percent-encoded, so no folder name can break a line.
QSet<QString> HintRecord::read() const {
    QSet<QString> folders;
    if (path_.isEmpty()) return folders;
    const SmallFile file = read_small_file(path_, kMaxHintFile);
    for (const QByteArray& line : file.bytes.split('\n')) {
        if (!line.isEmpty()) folders.insert(QUrl::fromPercentEncoding(line));
    }
    return folders;
}

bool HintRecord::contains(const QString& folder) const {
    return this_run_.contains(folder) || read().contains(folder);
}

void HintRecord::add(const QString& folder) {
    this_run_.insert(folder);
    if (path_.isEmpty()) return;
    QByteArray bytes = read_small_file(path_, kMaxHintFile).bytes;
    if (!bytes.isEmpty() && !bytes.endsWith('\n')) bytes += '\n';
    bytes += QUrl::toPercentEncoding(folder) + '\n';
    // Not kept on disk, the hint is still not shown again in this run.
    if (make_folders(QFileInfo(path_).path()) == 0)
        write_atomically(path_, bytes, Durability::Disposable);
}

}  // namespace fotavi
