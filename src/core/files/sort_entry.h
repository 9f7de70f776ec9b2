#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace wexal {

class FileListModel;

// The sort-type entry (GroupBox3 with Edit7): the decisions, for the window
// to carry out.

inline constexpr std::size_t kSortEntryMaxLength = 3;
inline constexpr const char* kSortEntryRefused = "ソート設定を確認ください!!";

// What Edit7 holds when the box opens: FileSort + "-" + SortMuki.
std::string SortEntryInitialText(const Settings& settings);
// Label21: "現ソート設定: " + FileSort + " - " + SortMuki.
std::string SortEntryCurrentText(const Settings& settings);

// A typed character as Edit7 takes it (upper case), or nullopt when it is
// dropped silently. Backspace ('\b') passes as it is.
std::optional<char> SortEntryChar(char c);

enum class SortEntryOutcome {
    Ignore,  // Enter on an empty entry
    Refuse,  // show kSortEntryRefused, keep the entry open
    Apply,   // settings changed and the list re-sorted; close the box
};

// Enter in Edit7. A valid entry ("N-D", "N-U", "S-D", "S-U", "T-D", "T-U")
// sets FileSort and SortMuki and re-sorts the list keeping the cursor file.
SortEntryOutcome ApplySortEntry(std::string_view text, Settings& settings, FileListModel& list);

}  // namespace wexal
