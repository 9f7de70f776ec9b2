#include "config/command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "config/receive_argument.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

bool ContainsNoCase(const std::string& text, const char* what) {
    return Upper(text).find(what) != std::string::npos;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void HandleSend(const std::string& arg, Settings& settings, AppState& state,
                MessageService& messages) {
    const std::size_t at = Upper(arg).find("S=");
    const std::string rest = arg.substr(0, at) + arg.substr(at + 2);
    // An absolute path (or one written for Windows) is taken as it stands; a
    // bare name or a relative path is looked for in the folder.
    const bool asGiven = PathRules::IsAbsolute(rest) || Contains(rest, "\\");
    state.SendOnStartFile = asGiven ? rest : PathRules::Join(settings.DirPath, rest);
    if (const std::string folder = PathRules::Parent(state.SendOnStartFile); !folder.empty()) {
        settings.DirPath = PathRules::StripTrailingSeparator(folder);
    }
    settings.Mask = "*" + PathRules::Extension(PathRules::FileName(state.SendOnStartFile));
    if (IsRegularFile(state.SendOnStartFile)) {
        state.SendOnStart = "Y";
        return;
    }
    messages.Tell("送信データ\n" + state.SendOnStartFile + "が見つかりません。",
                  DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    state.SendOnStart = "N";
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

}  // namespace

ArgumentForm ClassifyArgument(const std::string& arg,
                              const std::function<bool(const std::string&)>& fileExists) {
    const bool send = ContainsNoCase(arg, "S=");
    const bool receive = ContainsNoCase(arg, "R=");
    if (Contains(arg, ":") && !send && !receive && !fileExists(arg)) return ArgumentForm::Folder;
    if (send) return ArgumentForm::Send;
    if (receive) return ArgumentForm::Receive;
    if (ContainsNoCase(arg, "COM") && arg.size() <= 5) return ArgumentForm::Port;
    if (Contains(arg, ".") && Contains(arg, "*") && !Contains(arg, ":")) {
        return ArgumentForm::Pattern;
    }
    if (Contains(arg, ",")) return ArgumentForm::LineParameters;
    if (Contains(arg, "\\") && Contains(arg, ":") && fileExists(arg)) return ArgumentForm::Import;
    if (ContainsNoCase(arg, "END") && arg.size() <= 4) return ArgumentForm::End;
    return ArgumentForm::None;
}

std::vector<std::string> SplitSlashList(const std::vector<std::string>& args) {
    std::string joined;
    for (const std::string& arg : args) joined += arg + " ";
    joined.erase(0, 1);  // the leading "/"
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = 0; at < joined.size(); ++at) {
        if (joined[at] != '/' || at == 0 || joined[at - 1] != ' ') continue;
        parts.push_back(Trim(joined.substr(start, at - start)));
        start = at + 1;
    }
    parts.push_back(Trim(joined.substr(start)));
    return parts;
}

void CollectArguments(const std::vector<std::string>& args, Settings& settings, AppState& state,
                      MessageService& messages) {
    if (args.empty()) {
        state.CommandLineMode = "N";
        state.SendOnStart = "N";
        state.ReceiveOnStart = "N";
        return;
    }
    state.CommandLineMode = "Y";
    // An absolute path that exists is a path here, not the start of a list.
    const bool slashList =
        args.front().starts_with('/') && !PathExists(args.front());
    const std::vector<std::string> parts = slashList ? SplitSlashList(args) : args;
    for (const std::string& arg : parts) HandleArgument(arg, settings, state, messages);
}

void HandleArgument(const std::string& arg, Settings& settings, AppState& state,
                    MessageService& messages) {
    switch (ClassifyArgument(arg, IsRegularFile)) {
        case ArgumentForm::Send:
            HandleSend(arg, settings, state, messages);
            break;
        case ArgumentForm::Receive:
            if (IsReceiveArgument(arg)) ApplyReceiveArgument(arg, settings, state, messages);
            break;
        case ArgumentForm::End:
            state.ExitAfterTransfer = true;
            break;
        default:
            // The folder, port, pattern, line and import forms come later.
            break;
    }
}

}  // namespace wexal
