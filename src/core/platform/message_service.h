#pragma once

#include <string>

#include "platform/program_name.h"

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
    // A message whose only button is はい (the input errors the operator
    // confirms). A service without such a box tells it as any message.
    virtual void TellWithYes(const std::string& text, const std::string& caption,
                             MessageIcon icon) {
        Tell(text, caption, icon);
    }
    // はい, いいえ, すべて, キャンセル. A service without the four buttons
    // asks Yes or No.
    virtual ReplaceChoice AskReplace(const std::string& text, const std::string& caption) {
        return AskYesNo(text, caption, MessageIcon::Warning) ? ReplaceChoice::Yes
                                                             : ReplaceChoice::No;
    }
    // A question whose Yes loses nothing (what it replaces is kept): asked as
    // AskYesNo, except that a service that asks nobody takes Yes.
    virtual bool AskYesNoYesIsSafe(const std::string& text, const std::string& caption,
                                   MessageIcon icon) {
        return AskYesNo(text, caption, icon);
    }
    // True once the program is ending on a signal: questions are then answered
    // without the operator, and a caller must not take such an answer as a choice.
    virtual bool Interrupted() const { return false; }
    // True when nobody can answer: no window can be shown. Questions then get
    // their safe answer, and a caller whose question is only a go-ahead that
    // the command line already gave may go on without asking.
    virtual bool Unattended() const { return false; }
};

// Writes a message to standard error once, as "Wexal: <caption>: <text>"
// (the caption left out when it is the program's own name); an empty text
// (a message line being cleared) writes nothing.
void PrintMessage(const std::string& text, const std::string& caption, MessageIcon icon);

// The service of a run that can show no window: every message goes to
// standard error, every question takes its safe answer (No, Cancel) and says
// so there, and the run goes on to its end.
class ConsoleMessages : public MessageService {
public:
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool AskYesNoYesIsSafe(const std::string& text, const std::string& caption,
                           MessageIcon icon) override;
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override;
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override;
    bool Interrupted() const override { return interrupted_; }
    bool Unattended() const override { return true; }
    // The program is ending on a signal.
    void Interrupt() { interrupted_ = true; }

private:
    bool interrupted_ = false;
};

// Passes every question and box on to another service; the services below
// change what happens to messages only.
class ForwardedMessages : public MessageService {
public:
    explicit ForwardedMessages(MessageService& inner) : inner_(inner) {}
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override {
        return inner_.AskYesNo(text, caption, icon);
    }
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        return inner_.AskOkCancel(text, caption, icon);
    }
    bool AskYesNoYesIsSafe(const std::string& text, const std::string& caption,
                           MessageIcon icon) override {
        return inner_.AskYesNoYesIsSafe(text, caption, icon);
    }
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override {
        inner_.Tell(text, caption, icon);
    }
    void TellWithYes(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        inner_.TellWithYes(text, caption, icon);
    }
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override {
        return inner_.AskReplace(text, caption);
    }
    bool Interrupted() const override { return inner_.Interrupted(); }
    bool Unattended() const override { return inner_.Unattended(); }

protected:
    MessageService& inner_;
};

// While the run is unattended (a command-line run that ends the program by
// itself) messages go to standard error instead of a box nobody would close.
// Questions are still asked: their answer decides what happens.
class UnattendedMessages : public ForwardedMessages {
public:
    using ForwardedMessages::ForwardedMessages;
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void TellWithYes(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        if (!unattended_) inner_.TellWithYes(text, caption, icon);
        else Tell(text, caption, icon);
    }

private:
    bool unattended_ = false;
};

// Shows every box as the inner service does and writes each message to
// standard error as well: a command-line run with a window that ends by
// itself after its transfer, whose caller reads there why it did not run.
class EchoedMessages : public ForwardedMessages {
public:
    using ForwardedMessages::ForwardedMessages;
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override {
        PrintMessage(text, caption, icon);
        inner_.Tell(text, caption, icon);
    }
    void TellWithYes(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        PrintMessage(text, caption, icon);
        inner_.TellWithYes(text, caption, icon);
    }
};

// The caption of the boxes that point out a wrong input.
inline constexpr const char* kInputErrorCaption = "確認";

// Captions the platform's message dialogs give when a box names none.
const char* DefaultCaption(MessageIcon icon);

// One message box: text, caption and icon exactly as shown.
struct BoxMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;

    void Show(MessageService& messages) const { messages.Tell(text, caption, icon); }
    friend bool operator==(const BoxMessage&, const BoxMessage&) = default;
};

}  // namespace wexal
