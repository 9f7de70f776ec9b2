#include "main_window/receive_command.h"

#include <QLineEdit>

#include "main_window/mainunit1.h"
#include "main_window/transfer_panel.h"
#include "config/receive_argument.h"
#include "main_window/file_list_box.h"
#include "platform/power_off.h"
#include "serial/receive_choice.h"
#include "serial/transfer_end.h"
#include "serial/transfer_log.h"

namespace wexal {

ReceiveCommand::ReceiveCommand(TForm1& form, TransferPanel& panel, SerialLink& link,
                               UnattendedMessages& messages)
    : form_(form), panel_(panel), link_(link), messages_(messages) {}

void ReceiveCommand::StartAutomatic(bool exitAfterTransfer) {
    ReceiveRequest request;
    request.named = false;
    request.exitAfterTransfer = exitAfterTransfer;
    Run(request, false);
}

void ReceiveCommand::NameEntered(const std::string& name) {
    NameEntryOutcome outcome = ConfirmReceiveName(name, form_.settings_, *form_.messages_);
    switch (outcome.kind) {
        case NameEntryOutcome::Kind::Nothing:
            break;
        case NameEntryOutcome::Kind::KeepOpen:
            // Another name, then Enter again; the typed one stays to be edited.
            form_.Edit1->setFocus();
            break;
        case NameEntryOutcome::Kind::Start:
            outcome.request.exitAfterTransfer = form_.state_.ExitAfterTransfer;
            Run(outcome.request, false);
            break;
    }
}

void ReceiveCommand::StartFromCommandLine() {
    if (const std::optional<ReceiveRequest> request = TakeReceiveOnStart(form_.state_)) {
        Run(*request, true);
    }
}

void ReceiveCommand::Run(const ReceiveRequest& request, bool fromCommandLine) {
    // A program already ending on a signal starts nothing.
    if (messages_.Interrupted()) return;
    // No second command may start while the engine lets events through.
    form_.ListBox1->setEnabled(false);

    const Settings& settings = form_.settings_;
    const TransferLog log(form_.files_.log);
    ReceiveEnvironment env;
    env.link = &link_;
    env.panel = &panel_;
    env.log = &log;
    env.screenSaver = form_.screenSaver_;
    env.shutDownPC = [&settings] {
        if (ShutDownPC(settings.WinVer)) (void)RequestSystemStop(SystemStop::PowerOff);
    };

    // Nobody is there to close a box in a run that ends by itself.
    messages_.SetUnattended(fromCommandLine && request.exitAfterTransfer);
    link_.opened = false;
    panel_.BeginTransfer();
    const ReceiveResult result = ReceiveFile(request, env);
    messages_.SetUnattended(false);
    const bool closeHeldBack = panel_.EndTransfer();
    form_.TransferEnded(EndOfReceive(result, link_.opened), fromCommandLine,
                        request.exitAfterTransfer, closeHeldBack || result.windowCloses);
}

}  // namespace wexal
