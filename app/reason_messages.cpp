// The reasons in the person's sentences: the system's error numbers, files
// that were not read, pictures that cannot be shown, the settings file.

#include <QDir>

#include <cerrno>

#include <sys/stat.h>

#include "app/reasons.h"

namespace fotavi {

QString system_reason(int error) {
    switch (error) {
        case 0:
            return QStringLiteral("原因不明のエラー");
        case ENOENT:
            return QStringLiteral("ファイルまたはフォルダが見つかりません");
        case EACCES:
        case EPERM:
            return QStringLiteral("アクセスが許可されていません");
        case EROFS:
            return QStringLiteral("読み取り専用のファイルシステムです");
        case ENOSPC:
            return QStringLiteral("ディスクに空きがありません");
        case EDQUOT:
            return QStringLiteral("ディスクの割り当て量を超えました");
        case EEXIST:
            return QStringLiteral("同じ名前のファイルがすでにあります");
        case EISDIR:
            return QStringLiteral("同じ名前のフォルダがあります");
        case ENOTDIR:
            return QStringLiteral("フォルダではありません");
        case ENOTEMPTY:
            return QStringLiteral("フォルダが空ではありません");
        case ENAMETOOLONG:
            return QStringLiteral("名前が長すぎます");
        case ELOOP:
            return QStringLiteral("シンボリックリンクが多すぎるか、循環しています");
        case EIO:
            return QStringLiteral("入出力エラーが起きました");
        case EBUSY:
            return QStringLiteral("ほかのプログラムが使用中です");
        case ETXTBSY:
            return QStringLiteral("ファイルが使用中です");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("開いているファイルが多すぎます");
        case ENOMEM:
            return QStringLiteral("メモリが足りません");
        case EFBIG:
            return QStringLiteral("ファイルが大きすぎます");
        case EXDEV:
            return QStringLiteral("別のファイルシステムへは移動できません");
        case EINVAL:
            return QStringLiteral("この名前または操作は使えません");
        case ENODEV:
        case ENXIO:
            return QStringLiteral("装置がありません");
        case ESTALE:
            return QStringLiteral("ネットワーク上のファイルが無効になりました");
        case ETIMEDOUT:
            return QStringLiteral("時間切れになりました");
        case EAGAIN:
            return QStringLiteral("一時的に使えません。もう一度試して下さい");
        case EINTR:
            return QStringLiteral("処理が中断されました");
        case ENOTSUP:
            return QStringLiteral("このファイルシステムではできない操作です");
        default:
            return QStringLiteral("システムエラー (errno %1)").arg(error);
    }
}

QString small_file_reason(const SmallFile& file, qint64 limit) {
    const QString link = file.through_link ? QStringLiteral("シンボリックリンクの先が") : QString();
    if (file.error == EFBIG) {
        return QStringLiteral("%1ファイルが大きすぎます（%2 バイト。%3 バイトまでしか読みません）")
            .arg(link)
            .arg(file.size)
            .arg(limit);
    }
    if (file.error != EINVAL || file.kind == 0 || S_ISREG(file.kind))
        return system_reason(file.error);
    if (S_ISDIR(file.kind)) return link + QStringLiteral("ファイルではなくフォルダです");
    if (S_ISLNK(file.kind)) return QStringLiteral("シンボリックリンクです");
    const QString kind = S_ISFIFO(file.kind)   ? QStringLiteral("名前付きパイプ (FIFO) ")
                         : S_ISSOCK(file.kind) ? QStringLiteral("ソケット")
                                               : QStringLiteral("装置ファイル");
    return QStringLiteral("%1%2で、普通のファイルではありません").arg(link, kind);
}

namespace {

// A file that is not of the kind its name promises: "JPEG 画像ではありません",
// or with the format it is, "PNG 画像で、JPEG 画像ではありません".
QString not_of_kind(const QString& promised, const QString& found) {
    if (found.isEmpty()) return QStringLiteral("%1 画像ではありません").arg(promised);
    return QStringLiteral("%1 画像で、%2 画像ではありません").arg(found, promised);
}

}  // namespace

QString failure_text(const Failure& failure) {
    using Kind = Failure::Kind;
    switch (failure.kind) {
        case Kind::None:
            return {};
        case Kind::System:
            return system_reason(failure.error);
        case Kind::Unreadable:
            if (failure.error == 0) return QStringLiteral("ファイルを読めません");
            return QStringLiteral("ファイルを読めません（%1）").arg(system_reason(failure.error));
        case Kind::Folder:
            return QStringLiteral("画像ファイルではなくフォルダです");
        case Kind::SpecialFile:
            return QStringLiteral("画像ファイルではありません（特殊なファイルです）");
        case Kind::EmptyFile:
            return QStringLiteral("ファイルが空です（0 バイト）");
        case Kind::NotJpeg:
            return not_of_kind(QStringLiteral("JPEG"), failure.format);
        case Kind::NotHeif:
            return not_of_kind(QStringLiteral("HEIF"), failure.format);
        case Kind::Damaged:
            return QStringLiteral("画像のデータが壊れています");
        case Kind::NoImageData:
            return QStringLiteral(
                "画像のデータがありません（JPEG の見出しだけで、画像の本体がありません）");
        case Kind::LosslessJpeg:
            return QStringLiteral("可逆圧縮の JPEG には対応していません");
        case Kind::HierarchicalJpeg:
            return QStringLiteral("階層符号化の JPEG には対応していません");
        case Kind::JpegPrecision:
            return QStringLiteral("%1 ビットの JPEG には対応していません").arg(failure.bits);
        case Kind::HeifUnsupported:
            return QStringLiteral("この HEIF 画像の形式には対応していません");
        case Kind::TooLarge:
            return QStringLiteral("大きすぎて表示できません (%1 × %2)")
                .arg(failure.size.width())
                .arg(failure.size.height());
        case Kind::OutOfMemory:
            return QStringLiteral("メモリが足りません");
        case Kind::Unexpected:
            return QStringLiteral("画像を読み込めません（予期しないエラー）");
    }
    return {};
}

QString config_problem_text(const QString& folder, const ConfigRead& read) {
    if (!read.unread.ok())
        return QStringLiteral("%1 を読み込めなかったため、既定の設定を使います。（%2）")
            .arg(QDir::toNativeSeparators(QDir(folder).filePath(QString::fromLatin1(kConfigName))),
                 small_file_reason(read.unread, kConfigLimit));
    if (read.malformed)
        return QStringLiteral(
            "def_list.txt の内容が想定と異なっていたため、読み取れなかった設定には既定の値を"
            "使います。");
    return {};
}

QString config_kept_text(const Aside& kept) {
    if (kept.ok())
        return QStringLiteral("元の def_list.txt は %1 として残しました。").arg(kept.name);
    if (kept.error == EISDIR)
        return QStringLiteral(
            "def_list.txt という名前のフォルダがあるため、終了するときにも"
            "設定は保存しません。");
    return QStringLiteral(
               "元の def_list.txt を残せないため（%1）、終了するときにも "
               "def_list.txt は書き換えません。")
        .arg(system_reason(kept.error));
}

}  // namespace fotavi
