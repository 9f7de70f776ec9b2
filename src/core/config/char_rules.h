#pragma once

#include <optional>
#include <string_view>

#include "platform/message_service.h"

// The characters each entry field refuses, and the box that says so.
namespace wexal {

// true when c does not occur in forbidden (UTF-8 text).
bool IsCharPermitted(char32_t c, std::string_view forbidden);

// A set of characters an entry refuses, with the text of the box that names them.
struct CharRule {
    std::string_view forbidden;
    std::string_view message;
};

// File names when the extension is typed as well (ALL-Files "Y").
inline constexpr CharRule kFileNameRule{"/:,;*?<>|",
                                        "この文字はファイル名に使えません。\n/:,;*?<>|"};
// File names whose extension comes from the mask; also the name box of the join dialog.
inline constexpr CharRule kFileNameNoDotRule{"/:,;*?<>|.",
                                             "この文字はファイル名に使えません。\n/:,;*?<>|."};
// The rule of a typed file name: the dot is refused too unless ALL-Files is
// "Y", as the extension then comes from the mask.
inline constexpr const CharRule& FileNameCharRule(std::string_view allFiles) {
    return allFiles == "Y" ? kFileNameRule : kFileNameNoDotRule;
}
// Folder paths: ":" and "\" stay usable, and so does "/", the separator
// here, although the box names it.
inline constexpr CharRule kFolderRule{",;*?<>|",
                                      "この文字はディレクトリ名に使えません。\n/,;*?<>|"};
// Extensions: "*" is refused although the box does not name it.
inline constexpr CharRule kExtensionRule{"/:,;?<>|*", "この文字は拡張子に使えません。\n/:,;?<>|"};
// The destination folder boxes of the split and copy/move dialogs: ":" and
// "/", the separator here, stay usable although the box names them.
inline constexpr CharRule kDestinationFolderRule{
    ",;*?<>|.", "この文字はフォルダー名に使えません。\n/:,;*?<>|."};

// The box for a refused character (caption "確認", error icon); nullopt when
// the character is taken. Backspace is always taken.
std::optional<BoxMessage> RefusedChar(const CharRule& rule, char32_t c);

}  // namespace wexal
