#include "files/find_pattern.h"

#include "platform/path_rules.h"

namespace wexal {

std::optional<BoxMessage> RefusedFindText(std::string_view text, std::string_view allFiles) {
    const CharRule& rule = FindCharRule(allFiles);
    // The refused characters are ASCII, which UTF-8 never uses inside another
    // character; a NUL would cut the pattern short.
    if (text.find_first_of(rule.forbidden) == std::string_view::npos &&
        text.find('\0') == std::string_view::npos) {
        return std::nullopt;
    }
    return BoxMessage{std::string(rule.message), kInputErrorCaption, MessageIcon::Error};
}

std::string FindSearchPattern(std::string_view dirPath, std::string_view text,
                              std::string_view allFiles, std::string_view mask) {
    if (allFiles == "Y") return PathRules::Join(dirPath, text);
    std::string pattern(text);
    if (!pattern.empty() && pattern.back() == '*') pattern.pop_back();
    pattern += mask;
    return PathRules::Join(dirPath, pattern);
}

}  // namespace wexal
