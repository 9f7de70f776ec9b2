#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/send_engine.h"

namespace wexal {

class TForm1;
class TransferPanel;
class UnattendedMessages;

// The send as the window starts it: F1 and Shift+F1 in the list, and the
// send named on the command line at the first idle moment. It prepares the
// panel and the state, runs SendFiles and closes the window afterwards when
// the transfer or a close during it asked for that.
class SendCommand {
public:
    SendCommand(TForm1& form, TransferPanel& panel, SerialLink& link, UnattendedMessages& messages);

    // The cursor file, or the marked files one after another.
    void StartFromList(bool exitAfterTransfer, bool onMarkedFiles);
    // SendOnStartFile, whose folder is already DirPath.
    void StartFromCommandLine();
    // Timer2: the remaining-time estimate of the send in progress.
    void EstimateTick();

private:
    void Run(const std::string& first, std::vector<std::string> queue, bool exitAfterTransfer,
             bool fromCommandLine);

    TForm1& form_;
    TransferPanel& panel_;
    SerialLink& link_;
    UnattendedMessages& messages_;
    std::optional<SendState> state_;
};

}  // namespace wexal
