#pragma once

#include <string>

#include "serial/receive_engine.h"

namespace wexal {

class TForm1;
class TransferPanel;
class UnattendedMessages;

// The receive as the window starts it: N in the save choice, Enter in the
// name entry, and the receive named on the command line at the first idle
// moment. It runs ReceiveFile in the transfer panel and closes the window
// afterwards when the receive or a close during it asked for that.
class ReceiveCommand {
public:
    ReceiveCommand(TForm1& form, TransferPanel& panel, SerialLink& link, UnattendedMessages& messages);

    // One file per program number.
    void StartAutomatic(bool exitAfterTransfer);
    // Enter in the name entry with the typed name: the target is formed and,
    // when it exists, replaced only after Yes; No leaves the entry open.
    void NameEntered(const std::string& name);
    // ReceiveOnStart, once.
    void StartFromCommandLine();

private:
    void Run(const ReceiveRequest& request, bool fromCommandLine);

    TForm1& form_;
    TransferPanel& panel_;
    SerialLink& link_;
    UnattendedMessages& messages_;
};

}  // namespace wexal
