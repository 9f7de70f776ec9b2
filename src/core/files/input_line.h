#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/app_state.h"
#include "config/settings.h"
#include "files/key_dispatch.h"
#include "platform/message_service.h"

namespace wexal {

// What the input line Edit1 is collecting.
enum class InputMode : char {
    None = '\0',
    ReceiveName = '2',  // name for received data
    CopyName = '4',     // new name of a single-file copy
    Folder = '5',       // F5, Shift+F5
    Extension = '6',    // F6
};

// ---- Character check of entry fields ----

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
inline constexpr CharRule kDestinationFolderRule{",;*?<>|.",
                                                 "この文字はフォルダー名に使えません。\n/:,;*?<>|."};

// The box for a refused character (caption "確認", error icon); nullopt when
// the character is taken. Backspace is always taken.
std::optional<BoxMessage> RefusedChar(const CharRule& rule, char32_t c);

// The rule of the input line in a mode; nullopt for a mode without a check.
std::optional<CharRule> InputLineCharRule(InputMode mode, const Settings& settings);

// The box for a character typed into the input line; nullopt when it is taken.
std::optional<BoxMessage> RefusedInputLineChar(InputMode mode, const Settings& settings,
                                               char32_t c);

// ---- Opening the input line ----

// What the window does to open the line: InputMode := mode, disable the list,
// enable and focus Edit1, Label11 := messageLine (lime), Edit1 := text when set.
struct InputLineOpening {
    InputMode mode = InputMode::None;
    std::string messageLine;
    std::optional<std::string> text;
};

// F5: the folder typed in the line, starting from DirPath.
InputLineOpening OpenFolderEntry(const Settings& settings);
// Shift+F5: the caption and start folder of the folder browser.
std::string FolderBrowserCaption(const Settings& settings);
// Shift+F5 after the browser: as F5 with the chosen folder in the line, or
// DirPath when the browser was cancelled (nullopt or an empty choice).
InputLineOpening OpenFolderEntryFromBrowser(const Settings& settings,
                                            const std::optional<std::string>& chosen);
// F6: the extension filter.
InputLineOpening OpenExtensionEntry(const Settings& settings);

// ---- Events of the open line ----

// What the window does after an event of the line, in this order:
// Edit1 := "" when clearText; hand text on (handOn); RefreshFileList() when
// refreshList; Label11 := message when set; Timer1 when timer1Ms > 0; when
// closeLine, enable and focus the list and disable Edit1, otherwise the line
// keeps the focus; close the main window when closeWindow.
struct InputLineOutcome {
    bool clearText = false;
    bool refreshList = false;
    struct Message {
        std::string text;
        bool red = false;  // red for an abort, lime otherwise
    };
    std::optional<Message> message;
    int timer1Ms = 0;
    bool closeLine = false;
    bool closeWindow = false;
    // Modes "2" and "4": the text is the receive name or the copy name and
    // goes, unchanged, to the entry of that command. Nothing else happened.
    InputMode handOn = InputMode::None;
};

// Enter in the line with its text. Folder and extension entries change
// settings.DirPath (and state.CurrentFolder) or settings.Mask in place and
// ask or tell through messages.
InputLineOutcome InputLineEnter(InputMode mode, const std::string& text, Settings& settings,
                                AppState& state, MessageService& messages);

// Keys of the line other than characters: Esc aborts, F10 closes the window,
// the rest keep their ordinary editing behaviour (an empty outcome).
InputLineOutcome InputLineKeyDown(ListKey key);

// Esc in the list: the abort display without touching the line's text.
InputLineOutcome AbortInput();

}  // namespace wexal
