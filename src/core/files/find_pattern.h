#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "files/input_line.h"

namespace wexal {

// The find box "絞り込み・検索": "*" is a wildcard, the separators of names
// and "?" are refused, and so is "." unless ALL-Files is "Y" (the extension
// then comes from the mask). Both sets are named by one box text.
inline constexpr CharRule kFindAllFilesRule{"/:,;?<>|",
                                            "この文字はファイル名に使えません。\n/:,;*?<>|."};
inline constexpr CharRule kFindMaskRule{"/:,;?<>|.",
                                        "この文字はファイル名に使えません。\n/:,;*?<>|."};
inline constexpr const CharRule& FindCharRule(std::string_view allFiles) {
    return allFiles == "Y" ? kFindAllFilesRule : kFindMaskRule;
}

// The box for a text that holds a refused character (one pasted in, or a
// hand-edited FIND.LST entry); nullopt when every character is taken.
std::optional<BoxMessage> RefusedFindText(std::string_view text, std::string_view allFiles);

// The narrowing pattern for SearchPattern: with ALL-Files "Y" the folder and
// the text; otherwise the folder, the text less one closing "*", and the
// mask, so that O12 and O12* both give O12*.NC under the mask *.NC.
std::string FindSearchPattern(std::string_view dirPath, std::string_view text,
                              std::string_view allFiles, std::string_view mask);

}  // namespace wexal
