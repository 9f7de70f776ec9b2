#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "files/row_kind.h"
#include "platform/message_service.h"

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
    Separator,  // virtual-key code 108, the keypad separator: a second drive-menu key
    Up,
    Down,
    Left,
    Right,
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
    DriveMenu,       // L, the keypad separator
    Move,            // M, Shift+F3
    Options,         // O
    Rename,          // R
    SortType,        // S
    ToTop,           // T
    View,            // V, F8
    OpenAssociated,  // X, F9
    Plot,            // P
    ExtAppSettings,  // Y
    ToBottom,        // Z
    Revisions,       // U: the cursor file's revision history
    Compare,         // W: two marked files, or the cursor file against its newest revision
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

// The row an arrow key moves the cursor to in the newspaper columns: Up and
// Down one row, Left and Right one column (rowsPerColumn rows); a move that
// would leave the list keeps the cursor where it is. nullopt for other keys.
std::optional<int> ArrowKeyRow(ListKey key, int cursor, int rowsPerColumn, int rowCount);

// The two function-key help lines; the Shift line is shown while Shift is held.
extern const char* const kNormalHelpLine;
extern const char* const kShiftHelpLine;
extern const char* const kShiftSpaceEscHelp;
extern const char* const kLetterCommandHelp;

}  // namespace wexal

namespace wexal {

// A click on the two-line function-key help acts like its key; the fifth
// band of the lower line closes the window directly (no key, closeWindow set).
struct HelpLineHit {
    ListKey key = ListKey::Other;
    bool closeWindow = false;
};
HelpLineHit MapHelpLineClick(int x, int y);

}  // namespace wexal

namespace wexal {

enum class CommandGate {
    Proceed,      // carry the command out
    Nothing,      // the key does nothing
    MessageBox,   // show CommandCheck::box and stop
    MessageLine,  // put CommandCheck::line into Label11 and stop
};

struct CommandCheck {
    CommandGate gate = CommandGate::Proceed;
    BoxMessage box;    // for CommandGate::MessageBox
    std::string line;  // for CommandGate::MessageLine
    // The command acts on the marked files instead of the cursor row.
    bool onMarkedFiles = false;
    // Send and receive set ExitAfterTransfer to this when they proceed.
    std::optional<bool> exitAfterTransfer;
};

// The preconditions of a list command, decided before anything else of the
// command happens. shift is the Shift state of the key (it only matters for
// send and receive, whose Shift form ends the program after the transfer).
CommandCheck CheckCommand(ListCommand command, RowKind row, int markedCount, bool shift);

// K after the marks were collected: fewer than two files cannot be joined.
// The marks are cleared afterwards either way.
std::optional<BoxMessage> JoinRefusal(int collectedCount);

// The output name H proposes: the file's name without its extension, "_2",
// and the extension of the mask (the mask without its first character).
std::string ProposeDoubledName(std::string_view fileName, std::string_view mask);

// Enter in the list.
enum class ListEnterAction {
    Nothing,       // no rows, or a parent row that leads nowhere
    ChangeFolder,  // DirPath := newDirPath, then RefreshFileList()
    ToggleMark,    // toggle the mark of the cursor row and move the cursor down
};
struct ListEnter {
    ListEnterAction action = ListEnterAction::Nothing;
    std::string newDirPath;
};
// folderName is the name of the folder under the cursor on a folder row.
ListEnter DecideListEnter(std::string_view dirPath, RowKind row, std::string_view folderName);

}  // namespace wexal
