#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/program_names.h"
#include "nctools/tool_progress.h"
#include "nctools/tool_result.h"
#include "platform/status.h"

namespace wexal {

// The options of the split, kept in Div_Sub.ini, section Sub.
struct SplitOptions {
    bool F_Set = false;  // every file begins with a "%" line
    bool B_Set = false;  // every file ends with a "%" line
    bool N_Set = false;  // names carry the serial "_001", "_002", ...
    friend bool operator==(const SplitOptions&, const SplitOptions&) = default;
};

inline constexpr const char* kSplitOptionsFile = "Div_Sub.ini";

// A missing file or key is false; any non-zero integer is true.
SplitOptions LoadSplitOptions(const std::filesystem::path& path);
// Written as "1" and "0"; the rest of the file is kept.
Status SaveSplitOptions(const std::filesystem::path& path, const SplitOptions& options);


// Hands one complete output file on: its name and its bytes (lines with CR LF).
using SplitWrite = std::function<Status(const std::string& name, std::string_view bytes)>;
// A program-number line found, with its index from 0 (for the program list).
using ProgramFound = std::function<void(std::string_view line, int index)>;

// Splits the lines of text into one file per program. Each file holds the
// "%" line (F_Set), the program-number line as it stands, the program's lines
// up to the next program-number line, and the "%" line (B_Set); source lines
// that begin with "%" are never copied, and lines before the first program
// lead the first file. A file is handed to write only when it is complete; a
// failed write stops the split with its message. NothingFound when the text
// has no program-number line (write is never called).
ToolResult SplitPrograms(std::string_view text, const SplitOptions& options,
                         std::string_view extension, const SplitWrite& write,
                         const ProgramFound& found = {}, ToolProgress* progress = nullptr);

// The names SplitPrograms gives its files, in order (a number that comes
// twice without N_Set gives its name twice).
std::vector<std::string> SplitFileNames(std::string_view text, const SplitOptions& options,
                                        std::string_view extension);

// The split into a folder. Refused, writing nothing, when an output would
// replace the source file itself. Each file is written whole through a
// temporary name; a link of an output's name is replaced, never followed.
ToolResult SplitIntoFolder(std::string_view text, const SplitOptions& options,
                           std::string_view extension, const std::filesystem::path& folder,
                           const std::filesystem::path& source, const ProgramFound& found = {},
                           ToolProgress* progress = nullptr);

}  // namespace wexal
