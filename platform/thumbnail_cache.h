#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <atomic>
#include <utility>

namespace fotavi {

// The sizes of the desktop's shared thumbnail cache: the folder under
// thumbnails/ and the longest side of its pictures.
enum class ThumbnailSize { Normal = 128, Large = 256, XLarge = 512, XXLarge = 1024 };

inline int pixels_of(ThumbnailSize size) { return int(size); }
QString folder_of(ThumbnailSize size);

// What the cache knows of a picture file: its URI and modification time, the
// key of an entry and what tells it stale.
struct ThumbnailKey {
    QByteArray uri;    // "file:///..." percent-encoded
    qint64 mtime = 0;  // whole seconds since 1970
    qint64 size = -1;  // bytes
    bool ok() const { return !uri.isEmpty(); }
};

// The URI of an absolute path as file managers spell it: the path's bytes,
// every byte outside letters, digits and "-_.!~*'()/:@&=+$," written as %XX
// with upper-case hex digits.
QByteArray file_uri(const QString& absolute_path);
// The entry's file name: the lower-case hex MD5 of the URI, then ".png".
QString thumbnail_name(const QByteArray& uri);
// The key of the file at path (made absolute), read from the file system;
// empty (not ok) when the file cannot be looked at.
ThumbnailKey thumbnail_key(const QString& path);
// $XDG_CACHE_HOME/thumbnails, else ~/.cache/thumbnails.
QString default_thumbnail_root();

// png with text chunks (tEXt) of key and value put right after its header,
// where readers look for them. Qt's own writer cannot write these keys: it
// takes a key's first ":" as the end of the key.
QByteArray png_with_text(const QByteArray& png,
                         const QList<std::pair<QByteArray, QByteArray>>& text);
// png without its text chunks whose key is key; empty when png is no whole
// chunk sequence.
QByteArray png_without_text(const QByteArray& png, QByteArrayView key);

// The per-user thumbnail cache of the desktop (the freedesktop Thumbnail
// Managing Standard): entries that file managers wrote are used here, and
// those written here are used there. An entry is used only when it is a
// regular PNG of the folder's size whose Thumb::URI and Thumb::MTime (and
// Thumb::Size, where it has one) name the file as it is now; anything else
// is no entry. A cache folder that cannot be written is not used for
// writing again, and that is said nowhere: the cache is an aid, never a
// need. Thread-safe.
class ThumbnailCache {
public:
    explicit ThumbnailCache(QString root = default_thumbnail_root());

    // The entry for key in the folder of size, or a null image.
    QImage read(const ThumbnailKey& key, ThumbnailSize size) const;
    // Writes image (fitted to the size here, if larger) as the entry for key:
    // a PNG of mode 0600 in a folder of mode 0700, replaced in one rename so a
    // reader never sees half of it. False when it could not be written.
    bool write(const ThumbnailKey& key, ThumbnailSize size, const QImage& image);

    // The picture of from was renamed to to (same contents and time): its
    // entries of every size follow it, with Thumb::URI rewritten, so that
    // the renamed picture is not decoded again and no entry is left behind
    // for a name that is gone. Returns how many entries moved.
    int move(const ThumbnailKey& from, const ThumbnailKey& to);

    QString path_of(const ThumbnailKey& key, ThumbnailSize size) const;
    const QString& root() const { return root_; }

private:
    const QString root_;
    std::atomic<bool> writable_{true};
};

}  // namespace fotavi
