#include "files/input_line.h"

#include <filesystem>
#include <system_error>

#include "platform/error_text.h"
#include "platform/path_rules.h"
#include "programs/file_loader.h"

namespace wexal {

namespace {

namespace fs = std::filesystem;

constexpr const char* kAborted = "操作中止!!";

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// A typed folder as it is listed: "." and ".." resolved and no closing
// separator, so that the parent row always leads one level up.
std::string NormalFolder(const std::string& typed) {
    std::string folder = fs::path(typed).lexically_normal().string();
    while (folder.size() > 1 && folder.back() == PathRules::kSeparator) folder.pop_back();
    return folder;
}

InputLineOutcome StayOpen() {
    InputLineOutcome outcome;
    outcome.clearText = true;
    return outcome;
}

InputLineOutcome CloseAfterChange() {
    InputLineOutcome outcome;
    outcome.clearText = true;
    outcome.refreshList = true;
    outcome.message = InputLineOutcome::Message{};
    outcome.closeLine = true;
    return outcome;
}

void TakeFolder(const std::string& folder, Settings& settings, AppState& state) {
    settings.DirPath = folder;
    state.CurrentFolder = folder;
}

InputLineOutcome EnterFolder(const std::string& text, Settings& settings, AppState& state,
                             MessageService& messages) {
    // Typed folders follow the rules of stored ones. A bare drive of a
    // Windows setting means the home folder; when that is missing nothing
    // changes, as for a drive that is not there. A Windows path ("D:\NCDATA")
    // or a relative name would otherwise be created below the working folder.
    switch (PathRules::ClassifyFolderValue(text)) {
        case PathRules::FolderValue::Home: {
            const std::string home = PathRules::DefaultFolder();
            if (IsFolder(home)) TakeFolder(home, settings, state);
            return CloseAfterChange();
        }
        case PathRules::FolderValue::Root:
        case PathRules::FolderValue::Folder:
            break;
        case PathRules::FolderValue::Foreign:
            messages.Tell(text +
                              "\nはこのシステムのディレクトリとして使えません。\n"
                              "/ で始まるディレクトリを入力して下さい。",
                          kInputErrorCaption, MessageIcon::Error);
            return StayOpen();
    }
    const std::string folder = NormalFolder(text);
    if (IsFolder(folder)) {
        TakeFolder(folder, settings, state);
        return CloseAfterChange();
    }
    if (messages.AskYesNo("ディレクトリが有りません。\n" + folder + "を作成しますか？",
                          DefaultCaption(MessageIcon::Warning), MessageIcon::Warning)) {
        CreateFolderPath(folder);
        if (IsFolder(folder)) {
            TakeFolder(folder, settings, state);
        } else {
            // Listing a folder that is not there would look like an empty one.
            std::error_code ec;
            fs::create_directories(folder, ec);
            std::string reason = ec ? "\n" + SystemErrorText(ec.value()) : std::string();
            messages.Tell("ディレクトリを作成できませんでした。\n" + folder + reason,
                          DefaultCaption(MessageIcon::Error), MessageIcon::Error);
        }
    }
    return CloseAfterChange();
}

InputLineOutcome EnterExtension(const std::string& text, Settings& settings,
                                MessageService& messages) {
    if (text == "*.*" || text == ".*" || text == "*." || text == "*") {
        messages.Tell(text + "の拡張子設定は出来ません!!", DefaultCaption(MessageIcon::None),
                      MessageIcon::None);
        return StayOpen();
    }
    if (text.find("*.") != std::string::npos) {
        settings.Mask = text;
    } else if (text.find('.') != std::string::npos) {
        settings.Mask = "*" + text;
    } else {
        settings.Mask = "*." + text;
    }
    return CloseAfterChange();
}

}  // namespace

std::optional<CharRule> InputLineCharRule(InputMode mode, const Settings& settings) {
    switch (mode) {
        case InputMode::ReceiveName:
        case InputMode::CopyName:
            return settings.AllFiles == "Y" ? kFileNameRule : kFileNameNoDotRule;
        case InputMode::Folder:
            return kFolderRule;
        case InputMode::Extension:
            return kExtensionRule;
        case InputMode::None:
            break;
    }
    return std::nullopt;
}

std::optional<BoxMessage> RefusedInputLineChar(InputMode mode, const Settings& settings,
                                               char32_t c) {
    const std::optional<CharRule> rule = InputLineCharRule(mode, settings);
    if (!rule) return std::nullopt;
    return RefusedChar(*rule, c);
}

InputLineOpening OpenFolderEntry(const Settings& settings) {
    return {InputMode::Folder, "現ﾃﾞｨﾚｸﾄﾘ " + settings.DirPath + " -->>>変更後 ", settings.DirPath};
}

std::string FolderBrowserCaption(const Settings& settings) {
    return "現ﾃﾞｨﾚｸﾄﾘ " + settings.DirPath;
}

InputLineOpening OpenFolderEntryFromBrowser(const Settings& settings,
                                            const std::optional<std::string>& chosen) {
    InputLineOpening opening = OpenFolderEntry(settings);
    if (chosen && !chosen->empty()) opening.text = *chosen;
    return opening;
}

InputLineOpening OpenExtensionEntry(const Settings& settings) {
    return {InputMode::Extension, "拡張子変更 " + settings.Mask + " -->>>", std::nullopt};
}

InputLineOutcome InputLineEnter(InputMode mode, const std::string& text, Settings& settings,
                                AppState& state, MessageService& messages) {
    if (text.empty()) return {};
    switch (mode) {
        case InputMode::Folder:
            return EnterFolder(text, settings, state, messages);
        case InputMode::Extension:
            return EnterExtension(text, settings, messages);
        case InputMode::ReceiveName:
        case InputMode::CopyName: {
            // The receive name and the copy name belong to their own commands,
            // which take the text from here.
            InputLineOutcome outcome;
            outcome.handOn = mode;
            return outcome;
        }
        case InputMode::None:
            break;
    }
    return {};
}

InputLineOutcome InputLineKeyDown(ListKey key) {
    InputLineOutcome outcome;
    if (key == ListKey::Escape) {
        outcome = AbortInput();
        outcome.clearText = true;
    } else if (key == ListKey::F10) {
        outcome.closeWindow = true;
    }
    return outcome;
}

InputLineOutcome AbortInput() {
    InputLineOutcome outcome;
    outcome.message = InputLineOutcome::Message{kAborted, true};
    outcome.timer1Ms = 1000;
    outcome.closeLine = true;
    return outcome;
}

}  // namespace wexal
