#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "programs/program_names.h"
#include "nctools/tool_progress.h"
#include "nctools/tool_result.h"
#include "platform/message_service.h"
#include "platform/status.h"
#include "revisions/revision_store.h"

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

// Where the split puts its files, one after another: Begin with the file's
// name, its bytes in parts, then End. Any failure stops the split.
class SplitSink {
public:
    virtual ~SplitSink() = default;
    virtual Status Begin(const std::string& name) = 0;
    virtual Status Add(std::string_view bytes) = 0;
    virtual Status End() = 0;
};

// The split of a text, line by line: each file holds the "%" line (F_Set),
// the program-number line as it stands, the program's lines up to the next
// program-number line, and the "%" line (B_Set); source lines that begin
// with "%" are never copied, and lines before the first program lead the
// first file. Progress is reported every kProgressEvery lines and at the end.
class SplitRun {
public:
    SplitRun(const SplitOptions& options, std::string_view extension, SplitSink& sink,
             const ProgramFound& found, ToolProgress* progress);
    // false: stop; Finish says why.
    bool Line(std::string_view line);
    // NothingFound when no line held a program number (the sink saw nothing).
    ToolResult Finish();
    int count() const { return result_.count; }

private:
    bool Fail(const Status& status);

    const SplitOptions& options_;
    std::string_view extension_;
    SplitSink& sink_;
    const ProgramFound& found_;
    ToolProgress* progress_;
    ToolResult result_;
    std::string ahead_;  // lines before the first program number
    std::size_t index_ = 0;
    bool stopped_ = false;
};

// Splits the lines of text, each file handed to write whole.
ToolResult SplitPrograms(std::string_view text, const SplitOptions& options,
                         std::string_view extension, const SplitWrite& write,
                         const ProgramFound& found = {}, ToolProgress* progress = nullptr);

// The names SplitPrograms gives its files, in order (a number that comes
// twice without N_Set gives its name twice).
std::vector<std::string> SplitFileNames(std::string_view text, const SplitOptions& options,
                                        std::string_view extension);

// The split of the file source, read as the transfer view reads it (with its
// question for a file that does not look like text), into a folder. Refused,
// writing nothing, when an output would replace the source itself. Each file
// is written through a temporary name as it is read; a link of an output's
// name is replaced, never followed, and a file it replaces is kept as a
// revision as `revisions` says. A source that cannot be read, or changes
// while it is read, stops the split with a message; files finished before stay.
ToolResult SplitIntoFolder(const std::filesystem::path& source, const SplitOptions& options,
                           std::string_view extension, const std::filesystem::path& folder,
                           MessageService& messages, const ProgramFound& found = {},
                           ToolProgress* progress = nullptr, const RevisionPolicy& revisions = {});

}  // namespace wexal
