#include "platform/power_off.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/win32/windows_error.h"

namespace wexal {

namespace {

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

Status AskTheSystemToStop(SystemStop how) {
    EnableShutdownPrivilege();
    const UINT flags = (how == SystemStop::Halt ? EWX_SHUTDOWN : EWX_POWEROFF) | EWX_FORCE;
    if (!ExitWindowsEx(flags, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED)) {
        return Status::Error("ExitWindowsEx\n" + SystemErrorText(LastErrorAsErrno()));
    }
    return Status::Ok();
}

}  // namespace wexal
