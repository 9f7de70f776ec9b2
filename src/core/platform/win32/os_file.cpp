#include "platform/os_file.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/win32/windows_error.h"

namespace wexal {

const int kOpenNoFollow = 0;
const int kOpenNonBlock = 0;

std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

namespace {

constexpr std::int64_t kEpochOffset100ns = 116444736000000000LL;  // 1601 to 1970

HANDLE OsHandle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

std::optional<FileStatus> FromHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        LastErrorAsErrno();
        return std::nullopt;
    }
    FileStatus status;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        status.type = FileStatus::Type::Link;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        status.type = FileStatus::Type::Directory;
    } else if (GetFileType(handle) == FILE_TYPE_DISK) {
        status.type = FileStatus::Type::Regular;
    }
    status.ownerWritable = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    status.size = static_cast<std::int64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    const std::int64_t written = static_cast<std::int64_t>(info.ftLastWriteTime.dwHighDateTime)
                                     << 32 |
                                 info.ftLastWriteTime.dwLowDateTime;
    status.modifiedNs = (written - kEpochOffset100ns) * 100;
    status.links = info.nNumberOfLinks;
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending) {
        status.links = 0;
    }
    status.id = {info.dwVolumeSerialNumber,
                 static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return status;
}

}  // namespace

// CreateFileW rather than _wopen: every sharing mode, so a file being read
// can still be renamed over or deleted, as on POSIX.
int OpenFile(const std::filesystem::path& path, int flags, int /*mode*/) {
    const int access = flags & (O_RDONLY | O_WRONLY | O_RDWR);
    DWORD desired = access == O_RDONLY   ? GENERIC_READ
                    : access == O_WRONLY ? GENERIC_WRITE
                                         : GENERIC_READ | GENERIC_WRITE;
    if ((flags & O_APPEND) != 0)
        desired = (desired & ~GENERIC_WRITE) | FILE_APPEND_DATA | SYNCHRONIZE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) != 0) {
        disposition = (flags & O_EXCL) != 0    ? CREATE_NEW
                      : (flags & O_TRUNC) != 0 ? CREATE_ALWAYS
                                               : OPEN_ALWAYS;
    } else if ((flags & O_TRUNC) != 0) {
        disposition = TRUNCATE_EXISTING;
    }
    HANDLE handle =
        CreateFileW(path.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        errno = error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                    ? EISDIR
                    : ErrnoFromWindowsError(error);
        return -1;
    }
    const int fd = _open_osfhandle(
        reinterpret_cast<intptr_t>(handle),
        (flags & (O_RDONLY | O_WRONLY | O_RDWR | O_APPEND)) | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

std::optional<FileStatus> StatFile(int fd) {
    const HANDLE handle = OsHandle(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return std::nullopt;
    }
    return FromHandle(handle);
}

std::optional<FileStatus> StatPath(const std::filesystem::path& path, bool followLinks) {
    HANDLE handle = CreateFileW(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        LastErrorAsErrno();
        return std::nullopt;
    }
    std::optional<FileStatus> status = FromHandle(handle);
    CloseHandle(handle);
    return status;
}

int WriteAccess(const std::filesystem::path& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : 0;
    CloseHandle(handle);
    return 0;
}

long long ReadFileAt(int fd, char* into, std::size_t n, std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    if (!ReadFile(OsHandle(fd), into, want, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return 0;
        LastErrorAsErrno();
        return -1;
    }
    return got;
}

int SyncFileData(int fd) {
    if (FlushFileBuffers(OsHandle(fd))) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION
               ? 0
               : ErrnoFromWindowsError(error);
}

int OpenAnonymousFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"wxl", 0, name) == 0) {
        return LastErrorAsErrno(), -1;
    }
    HANDLE handle = CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        LastErrorAsErrno();
        DeleteFileW(name);
        return -1;
    }
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

int MakeFolder(const std::filesystem::path& path) {
    return CreateDirectoryW(path.c_str(), nullptr) ? 0 : LastErrorAsErrno();
}

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

bool ProcessHasEnded(int pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace wexal
