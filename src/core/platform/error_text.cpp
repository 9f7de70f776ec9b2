#include "platform/error_text.h"

#include <cerrno>
#include <system_error>

namespace wexal {

std::string SystemErrorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "アクセス権がありません。";
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return "ディスクの空き容量が不足しています。";
        case EROFS:
            return "読み取り専用のファイルシステムです。";
        case ENOENT:
            return "ファイルまたはフォルダーが見つかりません。";
        case EISDIR:
            return "フォルダーです。";
        case ENOTDIR:
            return "フォルダーではありません。";
        case EIO:
            return "入出力エラーが発生しました。";
        case EFBIG:
            return "ファイルが大きすぎます。";
        case ENAMETOOLONG:
            return "名前が長すぎます。";
        case ELOOP:
            return "シンボリックリンクが多すぎます。";
#ifdef _WIN32
        // The C runtime of Windows has no words for the network errors; these
        // are the ones Linux gives, so a message reads the same on both.
        case ECONNREFUSED:
            return "Connection refused";
        case ECONNRESET:
            return "Connection reset by peer";
        case ECONNABORTED:
            return "Software caused connection abort";
        case ETIMEDOUT:
            return "Connection timed out";
        case EHOSTUNREACH:
            return "No route to host";
        case ENETUNREACH:
            return "Network is unreachable";
        case ENETDOWN:
            return "Network is down";
        case EADDRNOTAVAIL:
            return "Cannot assign requested address";
#endif
        default:
            return std::error_code(error, std::generic_category()).message();
    }
}

}  // namespace wexal
