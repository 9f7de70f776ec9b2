#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/status.h"

// What the parts of atomic_file share, for them alone.
namespace wexal::atomic_parts {

inline constexpr std::string_view kNotRegular = "通常のファイルではありません。";
inline constexpr std::string_view kLinkDangling = "シンボリックリンクの先にファイルがありません。";
inline constexpr std::string_view kLinkNotRegular =
    "シンボリックリンクの先が通常のファイルではありません。";
inline constexpr std::string_view kReadOnly = "読み取り専用のファイルです。";
inline constexpr std::string_view kLinkOfOtherUser = "他のユーザーのシンボリックリンクです。";
inline constexpr std::string_view kLinkToOtherUser =
    "シンボリックリンクの先が他のユーザーのファイルです。";

// Parts are gathered up to this size before they are written.
inline constexpr std::size_t kWriteBlock = 1 << 20;
// Written data is handed to the disk every this many bytes, so that the
// flush of a large file at its end has little left to wait for.
inline constexpr std::uint64_t kDiskEvery = 8 << 20;

// A temporary file is named ".<name>.tmp<pid>_<n>" beside its target.
inline std::string TemporaryPrefix(const std::filesystem::path& target) {
    return "." + PathText(target.filename()) + ".tmp";
}

inline std::string NextTemporaryName(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    return TemporaryPrefix(target) + std::to_string(CurrentProcessId()) + "_" +
           std::to_string(counter++);
}

inline Status Failure(const std::filesystem::path& path, std::string_view reason) {
    return Status::Error("ファイルに書き込めません。\n" + PathText(path) + "\n" +
                         std::string(reason));
}

inline Status Failure(const std::filesystem::path& path, int error) {
    return Failure(path, SystemErrorText(error));
}

// Why a file that is there may not be replaced: the read-only attribute (the
// owner's write bit, which root would ignore), or access rights this user
// lacks, since a rename over it would replace it anyway. Ok when it may.
inline Status RefuseUnwritable(const std::filesystem::path& path, const FileLookup& file) {
    if (file.kind != FileLookup::Kind::Regular) return Status::Ok();
    if ((file.mode & S_IWUSR) == 0) return Failure(path, kReadOnly);
    if (const int error = WriteAccess(file.target); error != 0) return Failure(path, error);
    return Status::Ok();
}

}  // namespace wexal::atomic_parts
