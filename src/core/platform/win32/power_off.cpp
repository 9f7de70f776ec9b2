#include "platform/power_off.h"

#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/win32/windows_error.h"

namespace wexal {

namespace {

const char* VerbOf(SystemStop how) { return how == SystemStop::Halt ? "halt" : "poweroff"; }

Status RecordInstead(const char* logPath, SystemStop how) {
    const int fd = OpenFile(Utf8Path(logPath), O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0) return Status::Error(std::string(logPath) + "\n" + SystemErrorText(errno));
    const std::string line = std::string(VerbOf(how)) + "\n";
    const int written = ::write(fd, line.data(), static_cast<unsigned>(line.size()));
    const int failure = errno;
    ::close(fd);
    if (written != static_cast<int>(line.size())) {
        return Status::Error(std::string(logPath) + "\n" + SystemErrorText(failure));
    }
    return Status::Ok();
}

// A process may stop Windows only with the shutdown privilege enabled.
bool EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool ok =
        LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
        GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

}  // namespace

bool ShutDownPC(bool winVer) {
    if (winVer) {
        (void)RequestSystemStop(SystemStop::Halt);
        return false;
    }
    return true;
}

Status RequestSystemStop(SystemStop how) {
    if (const char* logPath = std::getenv("WEXAL_POWEROFF_LOG"); logPath && *logPath) {
        return RecordInstead(logPath, how);
    }
    EnableShutdownPrivilege();
    const UINT flags = (how == SystemStop::Halt ? EWX_SHUTDOWN : EWX_POWEROFF) | EWX_FORCE;
    if (!ExitWindowsEx(flags, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED)) {
        return Status::Error("ExitWindowsEx\n" + SystemErrorText(LastErrorAsErrno()));
    }
    return Status::Ok();
}

}  // namespace wexal
