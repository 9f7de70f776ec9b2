#include "platform/message_service.h"

#include <cstdio>

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

void UnattendedMessages::Tell(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
    if (!unattended_) {
        inner_.Tell(text, caption, icon);
        return;
    }
    const std::string title = caption.empty() ? DefaultCaption(icon) : caption;
    std::fprintf(stderr, "Wexal: %s: %s\n", title.c_str(), text.c_str());
}

}  // namespace wexal
