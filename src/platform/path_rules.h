#pragma once

#include <string>
#include <string_view>

namespace wexal::PathRules {

// All path logic of the program goes through here; no other code hard-codes a
// separator or what a "bare drive" looks like.
inline constexpr char kSeparator = '/';

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
// The POSIX counterpart of a bare drive such as "C:": the root. It is never
// checked for existence and has no parent row.
bool IsDriveRoot(std::string_view path);
// The default folder of a fresh installation (the user's home folder).
std::string DefaultFolder();
// A folder value written for Windows names only a drive ("C:", "c:\"):
// it stands for the default folder here.
bool IsWindowsDrive(std::string_view path);
// Where the program falls back when the configured folder is refused
// (the home folder as well).
std::string FallbackFolder();

}  // namespace wexal::PathRules
