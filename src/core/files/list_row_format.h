#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// The texts of the file list. Every text is UTF-8; every position and length
// counts cp932 bytes, the width of the text in the list's monospaced font.

// The options that shape a row, taken from the settings at each refresh.
struct RowLayout {
    int listColumn = 2;          // Options/ListColumn, 1 to 5
    bool allFiles = true;        // Setting/ALL-Files is "Y"
    bool longNamesOnly = false;  // Options/op4 is "Y"
    bool upperCase = false;      // Options/op3 is "Y"
};

// The row text without its mark column. name is the display text of the long
// name, shortBase the short form without its extension, sizeText the size in
// decimal ("<DIR>" or "" for folders), dateText "YYYY-MM-DD HH:NN:SS" or "".
// The row is 36 blanks with, each inserted at its byte position: the short
// base at 1, the first 4 bytes of the long name's extension at 9 (ALL-Files
// only), the size right-aligned to end at byte 21 ("********" when longer than
// 8 bytes; fewer than 4 columns), and "YY-MM-DD HH:NN" at 23 (fewer than 3).
std::string FormatListRow(const RowLayout& layout, std::string_view name,
                          std::string_view shortBase, std::string_view sizeText,
                          std::string_view dateText);

// Whole rows, mark column included, before the op3 upper-casing.
// parentDate is the listed folder's own time, "" when unknown; dated is false
// when the folder could not be listed at all (the row then has no date part).
std::string ParentRowText(int listColumn, bool dated, std::string_view parentDate);
std::string FolderRowText(const RowLayout& layout, std::string_view name,
                          std::string_view shortBase, std::string_view dateText);
std::string FileRowText(const RowLayout& layout, bool marked, std::string_view name,
                        std::string_view shortBase, std::string_view sizeText,
                        std::string_view dateText);

// The row shown while the folder is read.
inline constexpr std::string_view kReadingRow = " ﾌｧｲﾙ検索中!!";

// "YYYY-MM-DD HH:NN:SS" in local time (the TZ of the process); "" when the
// time cannot be converted.
std::string FormatModified(std::time_t time);

// The size for people: 1000ﾊﾞｲﾄ, 1.500KB, 2.500MB.
std::string FormatFileSize(std::uint64_t bytes);

// The folder line above the list (Label7): " Path=" + folder + "/*.*" (ALL-Files)
// or + "/" + mask, blank-padded and cut to 67 bytes, then "     ﾌｧｲﾙ数 :" and
// the count, or "????" while the folder is read (count nullopt).
std::string FormatFolderLine(std::string_view folder, std::string_view mask, bool allFiles,
                             std::optional<std::size_t> count);

// The information line below the list (Label8).
std::string ParentRowDetails();
std::string FolderRowDetails(std::string_view name, std::string_view modified);
std::string FileRowDetails(std::string_view name, std::uint64_t size, std::string_view modified);

}  // namespace wexal
