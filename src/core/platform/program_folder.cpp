#include "platform/program_folder.h"

#include <system_error>

#include "platform/os_file.h"

// Where the program folder is looked for is the OS's own (posix/, win32/).
namespace wexal {

std::filesystem::path EnsureProgramFolder(std::filesystem::path folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::filesystem::path ProgramFolder() { return ProgramFolderFor(ExecutablePath().parent_path()); }

std::filesystem::path ProgramFile(std::string_view name) {
    return ProgramFolder() / Utf8Path(name);
}

}  // namespace wexal
