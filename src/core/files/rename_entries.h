#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wexal {

// The choices of the rename dialogs, numbered as the dialogs number them.
enum class RenameChoice : int {
    Keep = 1,          // "名前を変更": the name as typed (several files: left alone)
    Upper = 2,         // "半角英文字を大文字に"
    Lower = 3,         // "半角英文字を小文字に"
    Capitalize = 4,    // "半角英文字の先頭のみ大文字に"
    Individually = 5,  // "個々に名前を変更" (several files only)
};

// The case conversions touch single-byte letters (A-Z, a-z) only. A name
// that is valid UTF-8 has no other single-byte letters; any other name is
// walked as cp932, so that the trail byte of a double-byte character (which
// may look like a letter) is left alone.
std::string UpperSingleByteLetters(std::string_view name);
std::string LowerSingleByteLetters(std::string_view name);
// The first character in upper case and the rest in lower case.
std::string CapitalizeSingleByteLetters(std::string_view name);
// The name a case choice gives; Keep and Individually give the name itself.
std::string ApplyCaseChoice(std::string_view name, RenameChoice choice);

// One rename in a folder, never replacing anything.
struct RenameResult {
    enum class Kind {
        Renamed,
        Unchanged,  // the new name is the old one
        InUse,      // another entry has the new name: both are left as they were
        Invalid,    // the new name is empty, "." or "..", or holds "/" or NUL
        Failed,     // the system refused (message says why)
    };
    Kind kind = Kind::Renamed;
    std::string from;
    std::string to;
    std::string message;  // for the message line, "" when Renamed or Unchanged

    bool refused() const { return kind != Kind::Renamed && kind != Kind::Unchanged; }
};

// Renames folder/from to folder/to. An existing entry named to is never
// replaced (renameat2 with RENAME_NOREPLACE). On a file system that folds
// case (a FAT stick) a name that differs only in case finds the entry
// itself under the new name; that rename goes through a unique temporary
// name, so a case-only rename works there too.
RenameResult RenameEntry(const std::string& folder, const std::string& from, const std::string& to);

// What the rename of marked files asks of the window.
struct MarkedRenameHost {
    std::function<void(int row)> moveCursor;
    // Choice 5: the new name for this file, nullopt to leave it alone.
    std::function<std::optional<std::string>(const std::string& name)> askName;
    // The row shows the new name until the list is next rebuilt.
    std::function<void(int row, const std::string& newName)> showRenamed;
    // The pause after each file (100 ms), the window going on painting.
    std::function<void()> pause;
};

struct MarkedFile {
    int row = 0;
    std::string name;
};

// The marked files, in marking order, renamed by one choice. Returns the
// refused renames.
std::vector<RenameResult> RenameMarkedFiles(const std::string& folder,
                                            const std::vector<MarkedFile>& files,
                                            RenameChoice choice, const MarkedRenameHost& host);

// The message line for refused renames: the first one, and how many more.
std::string RefusedRenamesLine(const std::vector<RenameResult>& refused);

}  // namespace wexal
