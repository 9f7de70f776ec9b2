#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace wexal {

// The entries a dialog remembers (Path.lst, NAME.lst, FIND.LST): newest first,
// at most kHistoryLimit, one per line in cp932 with CR LF on disk.
inline constexpr std::size_t kHistoryLimit = 20;

inline constexpr const char* kPathHistoryFile = "Path.lst";
inline constexpr const char* kNameHistoryFile = "NAME.lst";
inline constexpr const char* kFindHistoryFile = "FIND.LST";

// Far more than twenty entries of any length; a larger file is no history.
inline constexpr std::uintmax_t kHistoryFileLimit = 1024 * 1024;

// The entries of the file, nullopt when it does not exist or cannot be read
// (the box then keeps what it has). Lines may end in CR LF, LF or CR; an
// escaped entry reads back as written; bytes that are not cp932 are shown as U+FFFD. Not read: a file over
// kHistoryFileLimit, and what the settings files refuse (a FIFO, a device, a
// folder, a link to anything but a regular file, and, for root, another
// user's link or a link to another user's file).
std::optional<std::vector<std::string>> ReadHistoryList(const std::filesystem::path& path);

// The whole list, replacing the file through a temporary one. An entry that
// cp932 cannot hold exactly (a folder /tmp/Müller) is kept in the escaped
// form of the settings files ("%u8%/tmp/M%C3%BCller"), which reads back as it
// was; every other entry stays plain cp932. A file
// that ReadHistoryList would not read is left as it is and named in the error,
// so a list that never held its entries cannot replace them.
Status WriteHistoryList(const std::filesystem::path& path, const std::vector<std::string>& entries);

// A confirmed entry: in front, its first later duplicate (exact comparison)
// removed, then cut to kHistoryLimit entries.
void ConfirmHistoryEntry(std::vector<std::string>& entries, const std::string& entry);

}  // namespace wexal
