#include "app/startup.h"

#include <system_error>

#include "files/file_loader.h"
#include "platform/path_rules.h"
#include "platform/program_folder.h"
#include "serial/port_names.h"
#include "serial/port_probe.h"

namespace wexal {

ProgramFiles ProgramFiles::Locate() {
    ProgramFiles files = In(ProgramFolder());
    files.settings.mainIni = MainSettingsPath();
    return files;
}

ProgramFiles ProgramFiles::In(const std::filesystem::path& folder) {
    return {folder, {folder / "Wexal.INI", folder / "OutApp_Sub.ini"}};
}

void RunFolderCheck(Settings& settings, AppState& state, MessageService& messages) {
    state.CurrentFolder = settings.DirPath;
    // An empty folder value cannot be created or listed, and a bare Windows
    // drive has no meaning here: both take the default folder without a
    // question whose Yes could not succeed.
    if (settings.DirPath.empty() || PathRules::IsWindowsDrive(settings.DirPath)) {
        settings.DirPath = PathRules::DefaultFolder();
        state.CurrentFolder = settings.DirPath;
        return;
    }
    if (PathRules::IsDriveRoot(settings.DirPath)) return;
    std::error_code ec;
    if (std::filesystem::is_directory(settings.DirPath, ec)) return;
    if (messages.AskYesNo("ディレクトリが見つかりません。ディレクトリを作成しますか？",
                          DefaultCaption(MessageIcon::Warning), MessageIcon::Warning)) {
        CreateFolderPath(settings.DirPath);
    } else if (!messages.Interrupted()) {
        // Nobody answered when the program ends on a signal: keep the value.
        settings.DirPath = PathRules::FallbackFolder();
    }
}

std::optional<std::string> PortCheckMessage(const Settings& settings,
                                            const std::filesystem::path& programFolder) {
    std::optional<int> number = PortNumber(settings.Port);
    if (number && IsPortUsable(*number, settings, programFolder)) return std::nullopt;
    return settings.Port + "のポートが使用不可です。\n通信設定をおこなってください。";
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
