#include "main_window/nctool_commands.h"

#include <QTimer>

#include "main_window/mainunit1.h"
#include "dialogs/bai2.h"
#include "dialogs/divides.h"
#include "dialogs/plus.h"

namespace wexal {

NcToolContext NcToolCommands::ToolContext(TForm1& form) {
    NcToolContext context;
    context.mainWindow = &form;
    context.settings = &form.settings_;
    context.state = &form.state_;
    context.messages = form.messages_;
    context.screenSaver = form.screenSaver_;
    context.programFolder = form.files_.folder;
    context.browseFolder = form.folderBrowser_;
    context.refreshList = [&form](unsigned flags) { form.RefreshFileList(flags); };
    context.restoreHelpLine = [&form] { form.ShowHelpLine(false); };
    context.showAborted = [&form] {
        form.SetMessage(QStringLiteral("操作中止!!"), true);
        form.Timer1->start(1000);
    };
    return context;
}

NcToolCommands::NcToolCommands(TForm1& form) : form_(form) {
    const NcToolContext context = ToolContext(form);
    divides_ = new TDividesForm(context, &form);
    bai2_ = new TBai2Form(context, &form);
    plus_ = new TPlusForm(context, &form);
}

NcToolCommands::~NcToolCommands() = default;

// The tools read the file themselves, as they go, when the operator starts them.
std::string NcToolCommands::CursorFileName() const {
    const FileListModel& list = form_.fileList_;
    return list.FileNameOfRow(list.Cursor());
}

void NcToolCommands::Split() { divides_->Open(CursorFileName()); }

void NcToolCommands::AxisDouble() {
    const std::string name = CursorFileName();
    bai2_->Open(name, ProposeDoubledName(name, form_.settings_.Mask));
}

void NcToolCommands::Join() {
    FileListModel& list = form_.fileList_;
    list.CompactMarks();
    std::vector<std::string> names = list.CollectMarkedFiles();
    if (const auto refusal = JoinRefusal(static_cast<int>(names.size()))) {
        refusal->Show(*form_.messages_);
    } else {
        plus_->Open(std::move(names));
    }
    list.ClearMarks();
    form_.ShowListCursor();
}

}  // namespace wexal
