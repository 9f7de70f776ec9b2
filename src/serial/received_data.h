#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "files/program_names.h"
#include "platform/status.h"
#include "serial/receive_panel.h"

namespace wexal {

// The lines received but not yet written (RichEdit1's content). The engine
// keeps them here; the window's view mirrors every change.
class ReceivedView {
public:
    explicit ReceivedView(ReceivePanel* panel = nullptr) : panel_(panel) {}
    void Add(std::string line);
    void Clear();
    const std::vector<std::string>& lines() const { return lines_; }

private:
    ReceivePanel* panel_;
    std::vector<std::string> lines_;
};

// Where the lines of one receive go.
struct ReceivedData {
    bool named = false;
    std::string target;             // ReceiveTarget: the file the next append goes to
    bool targetUnfinished = false;  // created by this receive and not yet complete
    std::string programNumber;      // ProgramNumber, as it stands in the file name
    std::string fallbackTarget;     // holds the lines that came before any program number
    std::vector<std::string> completedFiles;
};

// A file name is at most this many bytes on the file systems in use.
inline constexpr std::size_t kMaxFileNameBytes = 255;
// What an unfinished file is renamed to when a receive fails midway.
inline constexpr const char* kUnfinishedSuffix = ".part";

// The file name of a program: ProgramNumber, the "_000" serial of programCount
// + 1 with Add_No "Y", and the extension; cut to kMaxFileNameBytes.
std::string ProgramFileName(std::string_view programLine, const Settings& settings,
                            int programCount);
// The name for lines that arrived before any program number:
// yyyymmdd_hhmmss plus the extension, local time.
std::string FallbackFileName(std::time_t when, std::string_view extension);

// Creates the named target empty, truncating an existing file.
Status CreateNamedTarget(ReceivedData& data, const std::string& target);

// At a program-number line in automatic naming: completes the previous
// program's file (with its closing "%" when EndChar is "Y") and creates the
// file of this one, replacing a regular file of that name. A link of that
// name is replaced by the file, never followed.
Status StartProgramFile(ReceivedData& data, ReceivedView& view, std::string_view programLine,
                        const Settings& settings, int programCount);

// Appends every line with CR LF to the existing file and flushes it to the disk.
Status AppendReceivedLines(const std::string& target, const std::vector<std::string>& lines);

// Writes the view to the target. In automatic naming before any program
// number it first creates the fallback file in the folder, never replacing
// a file.
Status WriteReceivedView(ReceivedData& data, const ReceivedView& view, const Settings& settings,
                         std::time_t now);

// The receive completed: the target is complete.
void FinishTarget(ReceivedData& data);
// The abort path: deletes the target when this receive created it and has
// not finished it. Completed files stay.
Status DeleteUnfinishedTarget(ReceivedData& data);
// The error path: an unfinished target must not pass for a complete file; it
// gets kUnfinishedSuffix. Returns the name it has now (the old one when the
// rename failed), or "" when there was none.
std::string SetAsideUnfinishedTarget(ReceivedData& data);

}  // namespace wexal
