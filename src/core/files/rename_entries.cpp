#include "files/rename_entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/file_names.h"
#include "platform/error_text.h"
#include "platform/text_codec.h"
#include "platform/unique_fd.h"

namespace wexal {

namespace {

bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Calls convert on every single-byte letter of name.
template <typename Convert>
std::string ConvertLetters(std::string_view name, Convert convert) {
    std::string out(name);
    const bool walkAsCp932 = !IsUtf8(name);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (walkAsCp932 && IsCp932LeadByte(byte)) {
            ++i;  // the trail byte belongs to the character
            continue;
        }
        out[i] = convert(out[i], i);
    }
    return out;
}

char ToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

RenameResult Result(RenameResult::Kind kind, const std::string& from, const std::string& to,
                    std::string message = {}) {
    return {kind, from, to, std::move(message)};
}

RenameResult SystemFailure(const std::string& from, const std::string& to, int error) {
    return Result(RenameResult::Kind::Failed, from, to,
                  DisplayName(from) + " の名前を変更できません。" + SystemErrorText(error));
}

RenameResult InUse(const std::string& from, const std::string& to) {
    return Result(RenameResult::Kind::InUse, from, to,
                  "すでに" + DisplayName(to) + "が有ります。名前を変更できません!!");
}

bool ValidName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// renameat2 with RENAME_NOREPLACE; where the file system cannot promise
// that (EINVAL, ENOSYS), a look first and a plain rename.
int RenameNoReplace(int dirFd, const char* from, const char* to) {
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat info {};
    if (::fstatat(dirFd, to, &info, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

bool HasEntryNamed(int dirFd, const std::string& name) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) return true;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return true;  // cannot tell: take it as in use
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The new name reaches the entry itself: a file system that folds case.
bool IsSameEntryUnderOtherCase(int dirFd, const std::string& from, const std::string& to) {
    struct stat source {};
    struct stat target {};
    if (::fstatat(dirFd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (::fstatat(dirFd, to.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (source.st_dev != target.st_dev || source.st_ino != target.st_ino) return false;
    // Two hard links to one file are two names, and the other one stays.
    return !HasEntryNamed(dirFd, to);
}

RenameResult RenameThroughTemporaryName(int dirFd, const std::string& from, const std::string& to) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char temporary[64];
        std::snprintf(temporary, sizeof temporary, ".wexal-rename-%ld-%u",
                      static_cast<long>(::getpid()), ++counter);
        const int moved = RenameNoReplace(dirFd, from.c_str(), temporary);
        if (moved == EEXIST) continue;
        if (moved != 0) return SystemFailure(from, to, moved);
        const int named = RenameNoReplace(dirFd, temporary, to.c_str());
        if (named == 0) return Result(RenameResult::Kind::Renamed, from, to);
        // Something took the name meanwhile: the entry goes back to its own.
        ::renameat2(dirFd, temporary, dirFd, from.c_str(), RENAME_NOREPLACE);
        return named == EEXIST ? InUse(from, to) : SystemFailure(from, to, named);
    }
    return SystemFailure(from, to, EEXIST);
}

}  // namespace

std::string UpperSingleByteLetters(std::string_view name) {
    return ConvertLetters(name, [](char c, std::size_t) { return ToUpper(c); });
}

std::string LowerSingleByteLetters(std::string_view name) {
    return ConvertLetters(name, [](char c, std::size_t) { return ToLower(c); });
}

std::string CapitalizeSingleByteLetters(std::string_view name) {
    return ConvertLetters(name,
                          [](char c, std::size_t at) { return at == 0 ? ToUpper(c) : ToLower(c); });
}

std::string ApplyCaseChoice(std::string_view name, RenameChoice choice) {
    switch (choice) {
        case RenameChoice::Upper:
            return UpperSingleByteLetters(name);
        case RenameChoice::Lower:
            return LowerSingleByteLetters(name);
        case RenameChoice::Capitalize:
            return CapitalizeSingleByteLetters(name);
        case RenameChoice::Keep:
        case RenameChoice::Individually:
            break;
    }
    return std::string(name);
}

RenameResult RenameEntry(const std::string& folder, const std::string& from,
                         const std::string& to) {
    if (from == to) return Result(RenameResult::Kind::Unchanged, from, to);
    if (!ValidName(to)) {
        return Result(RenameResult::Kind::Invalid, from, to,
                      DisplayName(to) + " は名前に使えません!!");
    }
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return SystemFailure(from, to, errno);
    const int renamed = RenameNoReplace(dir.get(), from.c_str(), to.c_str());
    if (renamed == 0) return Result(RenameResult::Kind::Renamed, from, to);
    if (renamed != EEXIST) return SystemFailure(from, to, renamed);
    if (IsSameEntryUnderOtherCase(dir.get(), from, to)) {
        return RenameThroughTemporaryName(dir.get(), from, to);
    }
    return InUse(from, to);
}

std::vector<RenameResult> RenameMarkedFiles(const std::string& folder,
                                            const std::vector<MarkedFile>& files,
                                            RenameChoice choice, const MarkedRenameHost& host) {
    std::vector<RenameResult> refused;
    for (const MarkedFile& file : files) {
        if (host.moveCursor) host.moveCursor(file.row);
        std::optional<std::string> newName;
        if (choice == RenameChoice::Individually) {
            if (host.askName) newName = host.askName(file.name);
        } else if (choice != RenameChoice::Keep) {
            newName = ApplyCaseChoice(file.name, choice);
        }
        if (newName) {
            RenameResult result = RenameEntry(folder, file.name, *newName);
            if (result.kind == RenameResult::Kind::Renamed && host.showRenamed) {
                host.showRenamed(file.row, *newName);
            }
            if (result.refused()) refused.push_back(std::move(result));
        }
        if (host.pause) host.pause();
    }
    return refused;
}

std::string RefusedRenamesLine(const std::vector<RenameResult>& refused) {
    if (refused.empty()) return {};
    std::string line = refused.front().message;
    if (refused.size() > 1) line += " (ほか" + std::to_string(refused.size() - 1) + "件)";
    return line;
}

}  // namespace wexal
