#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace wexal::test {

// Answers questions from a script and records every box shown. A question
// with no scripted answer left fails the test instead of blocking.
class ScriptedMessages : public MessageService {
public:
    struct Shown {
        std::string kind;  // "yesno", "okcancel" or "tell"
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void Answer(bool yes) { answers_.push_back(yes); }
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override;

    const std::vector<Shown>& shown() const { return shown_; }
    bool unanswered() const { return unanswered_; }

private:
    bool Next();
    std::deque<bool> answers_;
    std::vector<Shown> shown_;
    bool unanswered_ = false;
};

}  // namespace wexal::test
