#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/app_state.h"
#include "config/char_rules.h"
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
