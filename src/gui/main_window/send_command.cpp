#include "main_window/send_command.h"


#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"
#include "programs/file_loader.h"
#include "platform/path_rules.h"
#include "serial/transfer_end.h"

namespace wexal {

namespace {

constexpr const char* kSendCaption = "送信データ";
const QColor kNavy(0x00, 0x00, 0x80);
constexpr TransferPanel::Place kOneFile{328, 184, 350};
constexpr TransferPanel::Place kQueue{50, 184, 650};

}  // namespace

SendCommand::SendCommand(TForm1& form, TransferPanel& panel, SerialLink& link,
                         UnattendedMessages& messages)
    : form_(form), panel_(panel), link_(link), messages_(messages) {}

void SendCommand::StartFromList(bool exitAfterTransfer, bool onMarkedFiles) {
    if (messages_.Interrupted()) return;
    FileListModel& list = form_.fileList_;
    std::vector<std::string> queue;
    std::string first;
    if (onMarkedFiles) {
        list.CompactMarks();
        queue = list.CollectMarkedFiles();
        if (queue.empty()) return;
        first = queue.front();
    } else {
        first = list.FileNameOfRow(list.Cursor());
    }
    // The rows are unmarked already; the count follows them.
    list.ClearMarks();
    form_.ShowListCursor();
    panel_.OpenForTransfer(kSendCaption, onMarkedFiles ? kQueue : kOneFile, kNavy, queue);
    Run(first, std::move(queue), exitAfterTransfer, false);
}

void SendCommand::StartFromCommandLine() {
    // A program already ending on a signal starts nothing.
    if (messages_.Interrupted()) return;
    const std::string name = PathRules::FileName(form_.state_.SendOnStartFile);
    panel_.OpenForTransfer(kSendCaption, kOneFile, kNavy, {});
    form_.SetStatusPanel(0, QString::fromStdString(kSendNamePrefix + name));
    Run(name, {}, form_.state_.ExitAfterTransfer, true);
}

void SendCommand::Run(const std::string& first, std::vector<std::string> queue,
                      bool exitAfterTransfer, bool fromCommandLine) {
    const std::string folder = form_.settings_.DirPath;
    ProgramLoad load = LoadProgram(folder, first, messages_);
    const std::int64_t size = load.size;
    state_ = PrepareSend(folder, first, std::move(load), std::move(queue), exitAfterTransfer,
                         fromCommandLine);
    panel_.ShowView(state_->sendView);
    panel_.SetRemainingLine(RemainingBytesText(size));
    form_.SetStatusPanel(3, QString::fromUtf8(kWaitingBeforeSend));
    panel_.ProgramView1->setFocus();

    // Nobody is there to close a box in a run that ends by itself.
    messages_.SetUnattended(fromCommandLine && exitAfterTransfer);
    link_.opened = false;
    panel_.BeginTransfer();
    SendEnvironment env{&link_, &panel_, form_.screenSaver_, TransferLog(form_.files_.log)};
    const SendOutcome outcome = SendFiles(*state_, env);
    messages_.SetUnattended(false);
    const TransferEnd end = EndOfSend(outcome, *state_);
    state_.reset();
    form_.TransferEnded(end, fromCommandLine, exitAfterTransfer, panel_.EndTransfer());
}

void SendCommand::EstimateTick() {
    if (state_) TSendTime(state_->counters).Execute();
}

}  // namespace wexal
