#include "support/scripted_messages.h"

namespace wexal::test {

bool ScriptedMessages::Next() {
    if (answers_.empty()) {
        unanswered_ = true;
        return false;
    }
    bool answer = answers_.front();
    answers_.pop_front();
    return answer;
}

bool ScriptedMessages::AskYesNo(const std::string& text, const std::string& caption,
                                MessageIcon icon) {
    shown_.push_back({"yesno", text, caption, icon});
    return Next();
}

bool ScriptedMessages::AskOkCancel(const std::string& text, const std::string& caption,
                                   MessageIcon icon) {
    shown_.push_back({"okcancel", text, caption, icon});
    return Next();
}

void ScriptedMessages::Tell(const std::string& text, const std::string& caption, MessageIcon icon) {
    shown_.push_back({"tell", text, caption, icon});
}

void ScriptedMessages::TellWithYes(const std::string& text, const std::string& caption,
                                   MessageIcon icon) {
    shown_.push_back({"yes", text, caption, icon});
}

ReplaceChoice ScriptedMessages::AskReplace(const std::string& text, const std::string& caption) {
    shown_.push_back({"replace", text, caption, MessageIcon::Warning});
    if (meanwhile_) meanwhile_();
    if (replaceAnswers_.empty()) {
        unanswered_ = true;
        return ReplaceChoice::Cancel;
    }
    const ReplaceChoice answer = replaceAnswers_.front();
    replaceAnswers_.pop_front();
    return answer;
}

}  // namespace wexal::test
