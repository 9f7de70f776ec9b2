#include "config/startup.h"

#include <string_view>
#include <system_error>

#include "config/entry_field.h"
#include "programs/file_loader.h"
#include "platform/error_text.h"
#include "platform/path_rules.h"
#include "platform/program_folder.h"
#include "platform/program_name.h"
#include "serial/port_names.h"
#include "serial/port_probe.h"

namespace wexal {

ProgramFiles ProgramFiles::Locate() {
    return In(ProgramFolder());
}

ProgramFiles ProgramFiles::In(const std::filesystem::path& folder) {
    // The names stay the design's whatever the command is called.
    const std::string stem = kProgramName;
    return {folder, {folder / (stem + ".INI"), folder / "OutApp_Sub.ini"}, folder / (stem + ".log")};
}

namespace {

void UseHomeFolder(Settings& settings, AppState& state, const std::string& home) {
    settings.DirPath = home;
    state.CurrentFolder = home;
}

// "アクセス権がありません。" reads better inside brackets without its full stop.
std::string Bracketed(std::string reason) {
    constexpr std::string_view kFullStop = "。";
    if (reason.ends_with(kFullStop)) reason.resize(reason.size() - kFullStop.size());
    return "（" + reason + "）";
}

}  // namespace

FolderCheckResult RunFolderCheck(Settings& settings, AppState& state, MessageService& messages) {
    state.CurrentFolder = settings.DirPath;
    switch (PathRules::ClassifyFolderValue(settings.DirPath)) {
        case PathRules::FolderValue::Home:
            // The default of a fresh installation: no question, nothing to say.
            UseHomeFolder(settings, state, PathRules::DefaultFolder());
            return {};
        case PathRules::FolderValue::Foreign: {
            // Asking to create it would make a folder named "D:\NCDATA" in the
            // working folder.
            const std::string stored = settings.DirPath;
            UseHomeFolder(settings, state, PathRules::FallbackFolder());
            return {"ディレクトリ「" + stored +
                    "」はこのＰＣでは使えません。ホームフォルダーを使います。"};
        }
        case PathRules::FolderValue::Root:
            return {};
        case PathRules::FolderValue::Folder:
            break;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(settings.DirPath, ec)) return {};
    if (!messages.AskYesNo("ディレクトリが見つかりません。ディレクトリを作成しますか？",
                           DefaultCaption(MessageIcon::Warning), MessageIcon::Warning)) {
        // Nobody answered when the program ends on a signal: keep the value.
        if (!messages.Interrupted()) UseHomeFolder(settings, state, PathRules::FallbackFolder());
        return {};
    }
    int failure = 0;
    CreateFolderPath(settings.DirPath, &failure);
    if (std::filesystem::is_directory(settings.DirPath, ec)) return {};
    // Kept, the folder would be saved and the question would come back at
    // every start.
    const std::string wanted = settings.DirPath;
    UseHomeFolder(settings, state, PathRules::FallbackFolder());
    return {"ディレクトリ「" + wanted + "」を作成できません" +
            (failure != 0 ? Bracketed(SystemErrorText(failure)) : std::string()) +
            "。ホームフォルダーを使います。"};
}

std::optional<std::string> PortCheckMessage(const Settings& settings,
                                            const std::filesystem::path& programFolder) {
    std::optional<int> number = PortNumber(settings.Port);
    if (number && IsPortUsable(*number, settings, programFolder)) return std::nullopt;
    return settings.Port + "のポートが使用不可です。\n通信設定をおこなってください。";
}

bool PortCheckedByTransfer(const AppState& state, const Settings& settings) {
    // A port kept for a modem opens: only the check at the start says so.
    const std::string port = UpperAscii(settings.Port);
    if (port == UpperAscii(settings.ModemePort1) || port == UpperAscii(settings.ModemePort2)) {
        return false;
    }
    return state.ExitAfterTransfer && (state.SendOnStart == "Y" || state.ReceiveOnStart == "Y");
}

ListLayout ApplyListColumnRule(Settings& settings) {
    if (settings.ListColumn >= 1 && settings.ListColumn <= 4) {
        return {settings.ListColumn, 616, true};
    }
    settings.ListColumn = 5;
    return {5, 728, false};
}

void ChooseDrive(Settings& settings, AppState& state, const std::string& mountPoint) {
    state.CurrentFolder = mountPoint;
    settings.DirPath = mountPoint;
}

Status SaveOnClose(const Settings& settings, const AppState& state, const ProgramFiles& files) {
    if (state.CommandLineMode != "N") return Status::Ok();
    return SettingsStore::Save(settings, files.settings);
}

}  // namespace wexal
