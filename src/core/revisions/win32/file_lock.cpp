#include "revisions/file_lock.h"

#include <windows.h>

#include <cerrno>

#include "platform/win32/windows_error.h"

namespace wexal::revision_parts {

int FileLock::TryTake(const std::filesystem::path& path) {
    Release();
    // Opened by one handle at a time, on this PC and over a share, and gone
    // when that handle closes, also when its process is killed.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A lock file being deleted refuses access until its last handle goes.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
            error == ERROR_LOCK_VIOLATION) {
            return EBUSY;
        }
        return ErrnoFromWindowsError(error);
    }
    handle_ = handle;
    path_ = path;
    return 0;
}

void FileLock::Release() {
    if (handle_ == nullptr) return;
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

int MakeHardLink(const std::filesystem::path& existing, const std::filesystem::path& link) {
    return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) ? 0 : LastErrorAsErrno();
}

}  // namespace wexal::revision_parts
