// A store file that is anything at all (opened, checked and read as the
// program does at a folder's opening): it is refused with a reason, or read
// into rows that a second reading gives again.
#include <QFile>
#include <QTemporaryDir>

#include "fuzz.h"
#include "comments/store_file.h"

using namespace fotavi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fotavi_comments.sqlite"));
    QFile::remove(path);
    for (const char* companion : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(companion));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    StoreFile store;
    DbError error = store.open(path, false, false);
    if (!error) error = store.check();
    if (error) return 0;
    const std::vector<StoredComment> rows = store.rows(0, &error);
    if (error) return 0;
    DbError again_error;
    FUZZ_CHECK(store.rows(0, &again_error) == rows && !again_error);
    for (const StoredComment& row : rows) {
        DbError one_error;
        const std::optional<StoredComment> one = store.row(row.name, &one_error);
        FUZZ_CHECK(one.has_value() || one_error);
    }
    return 0;
}
