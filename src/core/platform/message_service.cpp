#include "platform/message_service.h"

#include <cstdio>
#include <string>

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
    return kProgramName;
}

void PrintMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    if (text.empty()) return;
    const std::string title = caption.empty() ? DefaultCaption(icon) : caption;
    if (title == kProgramName) {
        std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
    } else {
        std::fprintf(stderr, "%s: %s: %s\n", kProgramName, title.c_str(), text.c_str());
    }
    std::fflush(stderr);
}

void UnattendedMessages::Tell(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
    // A service that cannot show boxes prints the message itself.
    if (!unattended_ || inner_.Unattended()) {
        inner_.Tell(text, caption, icon);
        return;
    }
    PrintMessage(text, caption, icon);
}

namespace {

bool Answered(const std::string& text, const std::string& caption, MessageIcon icon,
              const char* answer, bool taken) {
    PrintMessage(text + " → " + answer, caption, icon);
    return taken;
}

}  // namespace

bool ConsoleMessages::AskYesNo(const std::string& text, const std::string& caption,
                               MessageIcon icon) {
    return Answered(text, caption, icon, "いいえ", false);
}

bool ConsoleMessages::AskOkCancel(const std::string& text, const std::string& caption,
                                  MessageIcon icon) {
    return Answered(text, caption, icon, "キャンセル", false);
}

bool ConsoleMessages::AskYesNoYesIsSafe(const std::string& text, const std::string& caption,
                                        MessageIcon icon) {
    return Answered(text, caption, icon, "はい", true);
}

void ConsoleMessages::Tell(const std::string& text, const std::string& caption, MessageIcon icon) {
    PrintMessage(text, caption, icon);
}

ReplaceChoice ConsoleMessages::AskReplace(const std::string& text, const std::string& caption) {
    Answered(text, caption, MessageIcon::Warning, "キャンセル", false);
    return ReplaceChoice::Cancel;
}

}  // namespace wexal
