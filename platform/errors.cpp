#include "platform/errors.h"

#include <cerrno>

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

}  // namespace fotavi
