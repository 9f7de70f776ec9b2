#pragma once

namespace wexal {

// Keys the file list reacts to, independent of any window toolkit.
enum class ListKey {
    Other,
    Letter,
    Escape,
    Space,
    Enter,
    PageUp,
    PageDown,
    Home,
    End,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
};

// The commands of the file list. Each key of the list maps to one of these;
// the window carries them out.
enum class ListCommand {
    None,
    Abort,    // Esc
    Refresh,  // Space
    PageUp,
    PageDown,
    UnmarkAll,       // End
    MarkFromCursor,  // Home
    Split,           // B, Shift+F9
    Copy,            // C, F4
    Delete,          // D, F3
    Editor,          // E
    Find,            // F
    EditorSettings,  // G
    AxisDouble,      // H
    FileInfo,        // I
    Join,            // K, Shift+F4
    DriveMenu,       // L
    Move,            // M, Shift+F3
    Options,         // O
    Rename,          // R
    SortType,        // S
    ToTop,           // T
    View,            // V, F8
    OpenAssociated,  // X, F9
    ExtAppSettings,  // Y
    ToBottom,        // Z
    Send,            // F1 (Shift: end afterwards)
    Receive,         // F2 (Shift: end afterwards)
    FolderEntry,     // F5
    FolderBrowse,    // Shift+F5
    Extension,       // F6
    CommSettings,    // F7
    TransferLog,     // Shift+F8
    Exit,            // F10, Shift+F10
};

// letter is the upper-case letter for ListKey::Letter and ignored otherwise.
ListCommand MapListKey(ListKey key, char letter, bool shift);

// The two function-key help lines; the Shift line is shown while Shift is held.
extern const char* const kNormalHelpLine;
extern const char* const kShiftHelpLine;
extern const char* const kShiftSpaceEscHelp;
extern const char* const kLetterCommandHelp;

}  // namespace wexal

namespace wexal {

// A click on the two-line function-key help acts like its key; the fifth
// band of the lower line closes the window directly.
struct HelpLineHit {
    ListKey key = ListKey::Other;
    bool closeWindow = false;
};
HelpLineHit MapHelpLineClick(int x, int y);

}  // namespace wexal
