#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace wexal::test {

// Answers questions from a script and records every box shown. A question
// with no scripted answer left fails the test instead of blocking.
class ScriptedMessages : public MessageService {
public:
    struct Shown {
        std::string kind;  // "yesno", "okcancel", "replace", "tell" or "yes"
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void Answer(bool yes) { answers_.push_back(yes); }
    // The answers to the replace questions, in their own queue.
    void AnswerReplace(ReplaceChoice choice) { replaceAnswers_.push_back(choice); }
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void TellWithYes(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    // Cancel, and unanswered() set, when no answer is left.
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override;

    // Runs while each replace question is open, as the time an operator
    // takes to answer.
    void WhileAskingReplace(std::function<void()> meanwhile) { meanwhile_ = std::move(meanwhile); }
    // The program is being ended by a signal from now on.
    void Interrupt() { interrupted_ = true; }
    bool Interrupted() const override { return interrupted_; }

    const std::vector<Shown>& shown() const { return shown_; }
    bool unanswered() const { return unanswered_; }

private:
    bool Next();
    std::deque<bool> answers_;
    std::deque<ReplaceChoice> replaceAnswers_;
    std::vector<Shown> shown_;
    bool unanswered_ = false;
    bool interrupted_ = false;
    std::function<void()> meanwhile_;
};

}  // namespace wexal::test
