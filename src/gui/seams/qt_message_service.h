#pragma once

#include "platform/message_service.h"

class QWidget;

namespace wexal {

// Message boxes placed 50 pixels right of and below the main window's
// top-left corner, with the Japanese button texts of the platform.
class QtMessageService : public MessageService {
public:
    explicit QtMessageService(QWidget* anchor) : anchor_(anchor) {}
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void Tell(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void TellWithYes(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override;
    bool Interrupted() const override { return silenced_; }

    // From now on no box is shown by any service: boxes that are open close,
    // messages go to standard error and questions get the negative answer.
    // For the end of the program on a signal.
    static void SilenceAll();

private:
    enum class Buttons { YesNo, OkCancel, Ok, Yes };
    bool Show(const std::string& text, const std::string& caption, MessageIcon icon,
              Buttons buttons);
    QWidget* anchor_;
    static inline bool silenced_ = false;
};

}  // namespace wexal
