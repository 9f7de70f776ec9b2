#include "config/receive_argument.h"

#include <sys/stat.h>

#include <cctype>

#include "platform/path_rules.h"
#include "serial/receive_choice.h"

namespace wexal {

namespace {

std::size_t FindReceiveMark(const std::string& arg) {
    for (std::size_t i = 0; i + 1 < arg.size(); ++i) {
        if ((arg[i] == 'R' || arg[i] == 'r') && arg[i + 1] == '=') return i;
    }
    return std::string::npos;
}

bool IsWindowsPath(const std::string& path) {
    return path.find('\\') != std::string::npos ||
           (path.size() >= 2 && path[1] == ':' &&
            std::isalpha(static_cast<unsigned char>(path[0])));
}

}  // namespace

bool IsReceiveArgument(const std::string& arg) { return FindReceiveMark(arg) != std::string::npos; }

void ApplyReceiveArgument(const std::string& arg, Settings& settings, AppState& state,
                          MessageService& messages) {
    state.ReceiveOnStart = "N";
    const std::size_t mark = FindReceiveMark(arg);
    if (mark == std::string::npos) return;
    const std::string rest = arg.substr(0, mark) + arg.substr(mark + 2);
    if (rest.empty() || IsWindowsPath(rest) || PathRules::FileName(rest).empty()) {
        messages.Tell("受信データ\n" + rest + "は受信ファイル名に使えません。",
                      DefaultCaption(MessageIcon::Error), MessageIcon::Error);
        return;
    }
    const std::string file = PathRules::IsAbsolute(rest) ? rest : PathRules::Join(settings.DirPath, rest);
    state.ReceiveOnStartFile = file;
    settings.DirPath = PathRules::Parent(file);
    settings.Mask = "*" + PathRules::Extension(PathRules::FileName(file));

    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        // A folder, a device or a FIFO can not take a program; replacing it
        // is never what the operator meant.
        messages.Tell("受信データ\n" + file + "には保存できません。",
                      DefaultCaption(MessageIcon::Error), MessageIcon::Error);
        return;
    }
    if (::stat(file.c_str(), &info) == 0) {
        // While the replaced program is kept as a revision, Yes loses nothing:
        // a nightly receive to one name that nobody answers still goes ahead.
        const bool kept = settings.KeepRevisions != 0;
        const std::string question = OverwriteQuestion(file);
        const std::string caption = DefaultCaption(MessageIcon::Warning);
        const bool replace =
            kept ? messages.AskYesNoYesIsSafe(question, caption, MessageIcon::Warning)
                 : messages.AskYesNo(question, caption, MessageIcon::Warning);
        state.ReceiveOnStart = replace && !messages.Interrupted() ? "Y" : "N";
        return;
    }
    state.ReceiveOnStart = "Y";
}

std::optional<ReceiveRequest> TakeReceiveOnStart(AppState& state) {
    if (state.ReceiveOnStart != "Y") return std::nullopt;
    state.ReceiveOnStart = "N";
    ReceiveRequest request;
    request.named = true;
    request.target = state.ReceiveOnStartFile;
    request.displayName = PathRules::FileName(state.ReceiveOnStartFile);
    request.exitAfterTransfer = state.ExitAfterTransfer;
    return request;
}

}  // namespace wexal
