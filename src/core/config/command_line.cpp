#include "config/command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "config/receive_argument.h"
#include "platform/atomic_file.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

bool ContainsNoCase(const std::string& text, std::string_view what) {
    return Contains(Upper(text), what);
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Deletes the first "/" of a text, as the port, pattern and line forms do
// (they may arrive as parts of a "/"-separated list).
std::string RemoveSlash(std::string text) {
    if (const std::size_t at = text.find('/'); at != std::string::npos) text.erase(at, 1);
    return text;
}

// The keyword forms of the argument table, tested on the first part of a
// "/"-separated list.
bool IsKeywordForm(const std::string& part) {
    if (ContainsNoCase(part, "S=") || ContainsNoCase(part, "R=")) return true;
    if (ContainsNoCase(part, "COM") && part.size() <= 5) return true;
    if (ContainsNoCase(part, "END") && part.size() <= 4) return true;
    // A pattern or line parameters hold no "/"; a part that does is a path.
    if (Contains(part, "/")) return false;
    if (Contains(part, ".") && Contains(part, "*") && !Contains(part, ":")) return true;
    return Contains(part, ",");
}

// "/S=...", "/R=...", "/COM2", "/END", "/*.NC", "/9600,7,E,2" begin a
// "/"-separated list. An absolute path begins with "/" as well, and may begin
// like a keyword ("/common/nc", "/end_mills"): only a first part that is
// itself a keyword form makes the list.
bool IsSlashKeyword(const std::string& arg) {
    if (arg.size() < 2 || arg.front() != '/') return false;
    return IsKeywordForm(SplitSlashList({arg}).front());
}

// "~" and "~/..." name the home folder, as a shell would have made them.
std::string ExpandHome(const std::string& path) {
    if (path != "~" && !path.starts_with("~/")) return path;
    return PathRules::DefaultFolder() + path.substr(1);
}

// The file of an "S=" or "R=" argument, and the folder and pattern of this
// run taken from it.
std::string TakeTransferFile(const std::string& arg, std::string_view key, Settings& settings) {
    const std::size_t at = Upper(arg).find(key);
    const std::string rest = ExpandHome(arg.substr(0, at) + arg.substr(at + key.size()));
    // An absolute path (or one written for Windows) is taken as it stands; a
    // bare name or a relative path is looked for in the folder.
    const bool asGiven = PathRules::IsAbsolute(rest) || Contains(rest, "\\");
    const std::string file = asGiven ? rest : PathRules::Join(settings.DirPath, rest);
    if (const std::string folder = PathRules::Parent(file); !folder.empty()) {
        settings.DirPath = PathRules::StripTrailingSeparator(folder);
    }
    settings.Mask = "*" + PathRules::Extension(PathRules::FileName(file));
    return file;
}

void HandleSend(const std::string& arg, Settings& settings, AppState& state,
                MessageService& messages) {
    state.SendOnStartFile = TakeTransferFile(arg, "S=", settings);
    if (KindOfPath(state.SendOnStartFile) == PathKind::File) {
        state.SendOnStart = "Y";
        return;
    }
    messages.TellWithYes("送信データ\n" + state.SendOnStartFile + "が見つかりません。",
                         kInputErrorCaption, MessageIcon::Error);
    state.SendOnStart = "N";
}

void HandleFolder(const std::string& arg, Settings& settings, AppState& state) {
    std::string folder = arg;
    std::replace(folder.begin(), folder.end(), '|', ' ');
    folder = ExpandHome(folder);
    if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    state.CurrentFolder = folder;
    settings.DirPath = folder;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(bytes).str();
}

// Copies the file into the folder of this run, replacing one of its name,
// which is kept as a revision first. Only a failure is told.
void HandleImport(const std::string& arg, Settings& settings, MessageService& messages) {
    const std::string name = PathRules::FileName(arg);
    const std::string target = PathRules::Join(settings.DirPath, name);
    settings.Mask = "*" + PathRules::Extension(name);
    std::error_code ec;
    if (std::filesystem::equivalent(arg, target, ec)) return;
    if (const std::optional<std::string> bytes = ReadWholeFile(arg)) {
        const Status written = WriteFileAtomically(target, *bytes, LinkMode::Follow,
                                                   RevisionPolicyOf(settings.KeepRevisions));
        if (!written) {
            messages.Tell(written.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
        }
    }
}

}  // namespace

PathKind KindOfPath(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return PathKind::Missing;
    if (S_ISREG(info.st_mode)) return PathKind::File;
    if (S_ISDIR(info.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

ArgumentForm ClassifyArgument(const std::string& arg,
                              const std::function<PathKind(const std::string&)>& kindOf) {
    const bool send = ContainsNoCase(arg, "S=");
    const bool receive = ContainsNoCase(arg, "R=");
    const bool pathShaped = (Contains(arg, "/") || Contains(arg, ":") || arg.starts_with('~')) &&
                            !IsSlashKeyword(arg);
    if (pathShaped && !send && !receive) {
        const PathKind kind = kindOf(arg);
        if (kind == PathKind::Missing || kind == PathKind::Folder) return ArgumentForm::Folder;
    }
    if (send) return ArgumentForm::Send;
    if (receive) return ArgumentForm::Receive;
    if (ContainsNoCase(arg, "COM") && arg.size() <= 5) return ArgumentForm::Port;
    if (Contains(arg, ".") && Contains(arg, "*") && !Contains(arg, ":")) {
        return ArgumentForm::Pattern;
    }
    if (Contains(arg, ",")) return ArgumentForm::LineParameters;
    if (pathShaped && kindOf(arg) == PathKind::File) return ArgumentForm::Import;
    if (ContainsNoCase(arg, "END") && arg.size() <= 4) return ArgumentForm::End;
    return ArgumentForm::None;
}

bool AsksForTransfer(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return ContainsNoCase(arg, "S=") || ContainsNoCase(arg, "R=");
    });
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
    const std::vector<std::string> parts =
        IsSlashKeyword(args.front()) ? SplitSlashList(args) : args;
    for (const std::string& arg : parts) HandleArgument(arg, settings, state, messages);
}

void HandleArgument(const std::string& arg, Settings& settings, AppState& state,
                    MessageService& messages) {
    switch (ClassifyArgument(arg, KindOfPath)) {
        case ArgumentForm::Folder:
            HandleFolder(arg, settings, state);
            break;
        case ArgumentForm::Send:
            state.Outcome.Request();
            HandleSend(arg, settings, state, messages);
            break;
        case ArgumentForm::Receive:
            state.Outcome.Request();
            ApplyReceiveArgument(arg, settings, state, messages);
            break;
        case ArgumentForm::Port:
            settings.Port = Upper(RemoveSlash(arg));
            break;
        case ArgumentForm::Pattern:
            settings.Mask = Upper(RemoveSlash(arg));
            break;
        case ArgumentForm::LineParameters:
            settings.Speed = Upper(RemoveSlash(arg));
            break;
        case ArgumentForm::Import:
            HandleImport(arg, settings, messages);
            break;
        case ArgumentForm::End:
            state.ExitAfterTransfer = true;
            break;
        case ArgumentForm::None:
            break;
    }
}

}  // namespace wexal
