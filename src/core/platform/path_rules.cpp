#include "platform/path_rules.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

#include <cstdlib>

namespace wexal::PathRules {

namespace {

#ifdef _WIN32
// Windows keeps the drives of the design: "C:" is a real folder there.
constexpr const char* kDefaultFolder = "C:";
constexpr const char* kFallbackFolder = "c:\\";
#else
std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    // The reentrant lookup: the DNC server's machines ask at the same time.
    std::vector<char> buffer(1024);
    passwd record{};
    passwd* entry = nullptr;
    while (getpwuid_r(getuid(), &record, buffer.data(), buffer.size(), &entry) == ERANGE &&
           buffer.size() < 1024 * 1024) {
        buffer.resize(buffer.size() * 4);
    }
    if (entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir != '\0') {
        return entry->pw_dir;
    }
    return std::string(1, kSeparator);
}
#endif

}  // namespace

std::string Join(std::string_view folder, std::string_view name) {
    // An empty folder would otherwise turn a relative name into one at the root.
    if (folder.empty()) return std::string(name);
    std::string result(folder);
    if (result.back() != kSeparator) result += kSeparator;
    result += name;
    return result;
}

std::string Parent(std::string_view path) {
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == kSeparator) trimmed.remove_suffix(1);
    const auto cut = trimmed.find_last_of(kSeparator);
    if (cut == std::string_view::npos) return {};
    std::string_view parent = trimmed.substr(0, cut);
    while (!parent.empty() && parent.back() == kSeparator) parent.remove_suffix(1);
    if (parent.empty()) return std::string(1, kSeparator);
    return std::string(parent);
}

std::string FileName(std::string_view path) {
    const auto cut = path.find_last_of(kSeparator);
    if (cut == std::string_view::npos) return std::string(path);
    return std::string(path.substr(cut + 1));
}

std::string Extension(std::string_view name) {
    // The last dot of the last component starts the extension, a leading one
    // included, so that "*" + extension compares with the mask as it always has.
    const auto start = name.find_last_of(kSeparator);
    const std::string_view last = start == std::string_view::npos ? name : name.substr(start + 1);
    const auto dot = last.find_last_of('.');
    if (dot == std::string_view::npos) return {};
    return std::string(last.substr(dot));
}

std::string StripTrailingSeparator(std::string_view path) {
    if (!path.empty() && path.back() == kSeparator && !IsDriveRoot(path)) {
        path.remove_suffix(1);
    }
    return std::string(path);
}

bool IsDriveRoot(std::string_view path) {
#ifdef _WIN32
    return IsWindowsDrive(path);
#else
    return !path.empty() && path.find_first_not_of(kSeparator) == std::string_view::npos;
#endif
}

bool IsWindowsDrive(std::string_view path) {
    if (path.size() == 3 && (path[2] == '\\' || path[2] == '/')) path.remove_suffix(1);
    return path.size() == 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool IsAbsolute(std::string_view path) {
#ifdef _WIN32
    if (path.starts_with("\\\\")) return path.size() > 2;
    return path.size() >= 2 && IsWindowsDrive(path.substr(0, 2)) &&
           (path.size() == 2 || path[2] == kSeparator);
#else
    return !path.empty() && path.front() == kSeparator;
#endif
}

FolderValue ClassifyFolderValue(std::string_view value) {
#ifdef _WIN32
    if (value.empty()) return FolderValue::Home;
#else
    if (value.empty() || IsWindowsDrive(value)) return FolderValue::Home;
#endif
    if (!IsAbsolute(value)) return FolderValue::Foreign;
    if (IsDriveRoot(value)) return FolderValue::Root;
    return FolderValue::Folder;
}

bool IsCreatableFolder(std::string_view path) { return IsAbsolute(path) && !IsDriveRoot(path); }

#ifdef _WIN32
std::string DefaultFolder() { return kDefaultFolder; }

std::string FallbackFolder() { return kFallbackFolder; }
#else
std::string DefaultFolder() { return HomeFolder(); }

std::string FallbackFolder() { return HomeFolder(); }
#endif

}  // namespace wexal::PathRules
