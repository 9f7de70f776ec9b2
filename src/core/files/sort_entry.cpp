#include "files/sort_entry.h"

#include <array>

#include "files/file_list_model.h"

namespace wexal {

std::string SortEntryInitialText(const Settings& settings) {
    return settings.FileSort + "-" + settings.SortMuki;
}

std::string SortEntryCurrentText(const Settings& settings) {
    return "現ソート設定: " + settings.FileSort + " - " + settings.SortMuki;
}

std::optional<char> SortEntryChar(char c) {
    if (c == '\b') return c;
    if (std::string_view("NST-UD").find(c) != std::string_view::npos) return c;
    if (std::string_view("nstud").find(c) != std::string_view::npos) {
        return static_cast<char>(c - 'a' + 'A');
    }
    return std::nullopt;
}

SortEntryOutcome ApplySortEntry(std::string_view text, Settings& settings, FileListModel& list) {
    if (text.empty()) return SortEntryOutcome::Ignore;
    static constexpr std::array<std::string_view, 6> kValid = {"N-D", "N-U", "S-D",
                                                               "S-U", "T-D", "T-U"};
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    bool valid = false;
    for (std::string_view entry : kValid) valid = valid || entry == upper;
    if (!valid) return SortEntryOutcome::Refuse;
    settings.FileSort = upper.substr(0, 1);
    settings.SortMuki = upper.substr(2, 1);
    list.RefreshFileList(FileListModel::kKeepCursor | FileListModel::kSortOnly);
    return SortEntryOutcome::Apply;
}

}  // namespace wexal
