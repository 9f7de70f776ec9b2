#include "platform/instance_lock.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/win32/windows_error.h"

// Windows frees a LockFileEx lock when its process ends in any way, as POSIX
// frees an flock: a crashed instance never blocks the next start.
namespace wexal {

LockPlaces LockPlaces::FromEnvironment(const std::filesystem::path& programFolder) {
    LockPlaces places;
    places.programFolder = programFolder;
    if (const char* temp = std::getenv("TEMP"); temp != nullptr && *temp != '\0') {
        places.sharedTemp = Utf8Path(temp);
    }
    return places;
}

// In the program folder beside the executable, else in the user's TEMP.
std::unique_ptr<InstanceLock> InstanceLock::TryAcquireIn(std::string_view executableName,
                                                         const LockPlaces& places) {
    const std::string fileName = std::string(executableName) + ".lock";
    std::string tried;
    for (const std::filesystem::path& folder : {places.programFolder, places.sharedTemp}) {
        if (folder.empty()) continue;
        const std::filesystem::path path = folder / Utf8Path(fileName);
        const int fd = OpenFile(path, O_RDWR | O_CREAT);
        if (fd < 0) {
            tried += "  " + PathText(folder) + ": " + SystemErrorText(errno) + "\n";
            continue;
        }
        OVERLAPPED whole{};
        if (LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)),
                       LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
            return std::unique_ptr<InstanceLock>(new InstanceLock(fd, path, {}));
        }
        const DWORD error = GetLastError();
        ::close(fd);
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return nullptr;
        tried +=
            "  " + PathText(folder) + ": " + SystemErrorText(ErrnoFromWindowsError(error)) + "\n";
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(
        -1, {},
        "多重起動を防ぐロックを置ける安全なフォルダーがないため、ロックなしで起動します。\n" +
            tried));
}

}  // namespace wexal
