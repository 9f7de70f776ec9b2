#include "platform/message_service.h"

namespace wexal {

const char* DefaultCaption(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return "情報";
        case MessageIcon::Warning:
            return "警告";
        case MessageIcon::Error:
            return "エラー";
        case MessageIcon::Question:
            return "確認";
        case MessageIcon::None:
            break;
    }
    return "Wexal";
}

}  // namespace wexal
