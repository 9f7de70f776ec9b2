#pragma once

#include <string>

namespace wexal {

enum class MessageIcon { None, Information, Warning, Error, Question };

// The answers to the question before an entry is replaced: this one, not this
// one, this and every later one, or stop the whole operation.
enum class ReplaceChoice { Yes, No, All, Cancel };

// The one service through which every question and message box of the program
// is shown. The window places its boxes 50 pixels right of and below the main
// window; tests answer from a script so no test sits in a modal loop.
class MessageService {
public:
    virtual ~MessageService() = default;
    // Yes -> true, No -> false.
    virtual bool AskYesNo(const std::string& text, const std::string& caption,
                          MessageIcon icon) = 0;
    // OK -> true, Cancel -> false.
    virtual bool AskOkCancel(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    virtual void Tell(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
    // はい, いいえ, すべて, キャンセル. A service without the four buttons
    // asks Yes or No.
    virtual ReplaceChoice AskReplace(const std::string& text, const std::string& caption) {
        return AskYesNo(text, caption, MessageIcon::Warning) ? ReplaceChoice::Yes
                                                             : ReplaceChoice::No;
    }
    // True once the program is ending on a signal: questions are then answered
    // without the operator, and a caller must not take such an answer as a choice.
    virtual bool Interrupted() const { return false; }
};

// Passes every box on, except that while the run is unattended (a command-line
// run that ends the program by itself) messages go to standard error instead
// of a box nobody would close. Questions are still asked: their answer
// decides what happens.
class UnattendedMessages : public MessageService {
public:
    explicit UnattendedMessages(MessageService& inner) : inner_(inner) {}
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override {
        return inner_.AskYesNo(text, caption, icon);
    }
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        return inner_.AskOkCancel(text, caption, icon);
    }
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override;
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override {
        return inner_.AskReplace(text, caption);
    }
    bool Interrupted() const override { return inner_.Interrupted(); }

private:
    MessageService& inner_;
    bool unattended_ = false;
};

// Captions the platform's message dialogs give when a box names none.
const char* DefaultCaption(MessageIcon icon);

}  // namespace wexal
