#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The few file calls the portable code makes, on whichever OS it is built
// for. Descriptors are POSIX ones, or the C runtime's on Windows.
namespace wexal {

// A path from UTF-8 text. A narrow string would be taken in the ANSI code
// page on Windows; here it is UTF-8 everywhere (and bytes as they are on
// POSIX, where a name need not be UTF-8 at all).
std::filesystem::path Utf8Path(std::string_view utf8);
// The path as UTF-8 text (its bytes on POSIX).
std::string PathText(const std::filesystem::path& path);

// Flags for OpenFile beyond O_RDONLY, O_WRONLY, O_APPEND, O_CREAT and O_EXCL.
// A link in the last place is not followed / opening never waits (a FIFO).
// Windows has neither links nor FIFOs where a program file stands: 0 there.
extern const int kOpenNoFollow;
extern const int kOpenNonBlock;

// Opens the file, never inherited by a child and never as a controlling
// terminal, in binary mode on Windows. A descriptor, or -1 with errno set.
int OpenFile(const std::filesystem::path& path, int flags, int mode = 0666);

// What a file is, for the decisions the portable code makes.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};
struct FileStatus {
    enum class Type { Regular, Directory, Link, Other };
    Type type = Type::Other;
    bool ownerWritable = false;  // false: the read-only attribute
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // since the epoch
    std::uint64_t links = 1;      // names it has; 0 once deleted while open
    FileId id;
};
// nullopt with errno set (ENOENT when nothing is there).
std::optional<FileStatus> StatFile(int fd);
std::optional<FileStatus> StatPath(const std::filesystem::path& path, bool followLinks);
// Whether this user may write the file (access rights beyond the read-only
// attribute): 0, or EACCES/EPERM.
int WriteAccess(const std::filesystem::path& path);

// Reads up to n bytes at offset without moving the file position, again
// after a signal; the count, or -1 with errno set.
long long ReadFileAt(int fd, char* into, std::size_t n, std::int64_t offset);
// Puts written content on the disk: 0 or the errno. A file system that cannot
// is no error.
int SyncFileData(int fd);
// A file without a name that is gone when closed, open for reading and
// writing; -1 with errno set.
int OpenAnonymousFile();
// Makes one folder: 0 or the errno (EEXIST when something is there).
int MakeFolder(const std::filesystem::path& path);

std::tm LocalTime(std::time_t when);
int CurrentProcessId();
// Whether the process of that id has ended (false when that cannot be told).
bool ProcessHasEnded(int pid);

}  // namespace wexal
