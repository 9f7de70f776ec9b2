#pragma once

#include <string>

namespace wexal {

enum class MessageIcon { None, Information, Warning, Error, Question };

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
    bool Interrupted() const override { return inner_.Interrupted(); }

private:
    MessageService& inner_;
    bool unattended_ = false;
};

// Captions the platform's message dialogs give when a box names none.
const char* DefaultCaption(MessageIcon icon);

}  // namespace wexal
