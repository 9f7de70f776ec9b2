#pragma once

#include <string>
#include <string_view>

namespace wexal::PathRules {

// All path logic of the program goes through here; no other code hard-codes a
// separator or what a "bare drive" looks like.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// folder + separator + name; a folder that already ends in the separator
// (the root) gets none added.
std::string Join(std::string_view folder, std::string_view name);
// Folder part of a path without a closing separator ("/a/b" -> "/a", "/a" -> "/",
// "/" -> "/", "name" -> "").
std::string Parent(std::string_view path);
// Last component ("/a/b.NC" -> "b.NC").
std::string FileName(std::string_view path);
// Extension with its dot ("O1000.NC" -> ".NC", "README" -> "").
std::string Extension(std::string_view name);
// Removes one closing separator unless the path is the root itself.
std::string StripTrailingSeparator(std::string_view path);
// The root (on Windows a bare drive, "C:" or "C:\\"). It stands where a
// drive's top folder stood: it is never checked for existence and has no
// parent row.
bool IsDriveRoot(std::string_view path);
// The default folder of a fresh installation (the user's home folder).
std::string DefaultFolder();
// A folder value written for Windows that names only a drive ("C:", "c:",
// "c:\", "D:"): it stands for the home folder here.
bool IsWindowsDrive(std::string_view path);
// A path that starts at the root (on Windows at a drive, "D:\NCDATA", or at
// a network share, "\\server\share"). Anything else (a relative path, or on
// POSIX a Windows one) names no folder on this machine.
bool IsAbsolute(std::string_view path);

// What a stored folder value (DirPath) means on this machine.
enum class FolderValue {
    Home,     // empty or a bare Windows drive: the home folder, quietly
    Foreign,  // not an absolute path: no folder here; the home folder instead
    Root,     // the root: taken as it is, never checked
    Folder,   // an absolute folder, to be checked for existence
};
FolderValue ClassifyFolderValue(std::string_view value);

// Whether a folder may be created at path: an absolute path below the root.
// A relative path would be created in whatever the working folder happens to
// be; a drive or the root has nothing to create.
bool IsCreatableFolder(std::string_view path);
// Where the program falls back when the configured folder is refused
// (the home folder as well).
std::string FallbackFolder();

}  // namespace wexal::PathRules
