#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "platform/status.h"
#include "platform/unfinished_file.h"
#include "programs/program_names.h"
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
    std::string target;             // ReceiveTarget: the name the program gets when complete
    bool targetUnfinished = false;  // `file` holds the target's data, not yet under its name
    bool targetIsFallback = false;  // the target holds lines that came before any program number
    std::string programNumber;      // ProgramNumber, as it stands in the file name
    std::string fallbackTarget;     // holds the lines that came before any program number
    std::string fallbackStamp, fallbackExtension;  // its name is stamp, "_<n>", extension
    std::vector<std::string> completedFiles;       // saved by this receive, in order
    // Programs whose own name a file of this receive already had; they got
    // the next free name ("_2", "_3" ...).
    std::vector<std::string> renamedFiles;
    std::vector<FileId> completedIds;  // of completedFiles
    // How a program that replaces a file keeps the file's content, and the
    // revisions this receive kept.
    RevisionPolicy revisions;
    std::vector<std::string> keptRevisions;
    UnfinishedFile file;
};

// A file name is at most this many bytes on the file systems in use.
inline constexpr std::size_t kMaxFileNameBytes = 255;
// What an unfinished file is saved as when a receive fails midway.
inline constexpr const char* kUnfinishedSuffix = ".part";

// The file name of a program: ProgramNumber, the "_000" serial of programCount
// + 1 with Add_No "Y", "_<copy>" from the second copy on, and the extension;
// the number is cut so that the name fits kMaxFileNameBytes.
std::string ProgramFileName(std::string_view programLine, const Settings& settings,
                            int programCount, int copy = 1);
// The name for lines that arrived before any program number:
// yyyymmdd_hhmmss plus the extension, local time.
std::string FallbackFileName(std::time_t when, std::string_view extension);

// At the start of a named receive: the data goes to an unfinished file beside
// the target, which replaces the target only at completion. A read-only file,
// a folder or anything but a file or a link under the target's name is
// refused now, before a byte is received.
Status CreateNamedTarget(ReceivedData& data, const std::string& target);

// At a program-number line in automatic naming: completes the previous
// program's file (with its closing "%" when EndChar is "Y") and starts the
// one of this program. Its name is the program's, or, when a file of this
// receive already has that name, the next free one with "_2", "_3" ...; a
// file that was there before the receive is replaced at completion, a link
// of that name as the link itself.
Status StartProgramFile(ReceivedData& data, ReceivedView& view, std::string_view programLine,
                        const Settings& settings, int programCount);

// The first half of StartProgramFile: the program in progress, if any, is
// complete (with its closing "%" when EndChar is "Y") and takes its name.
// Nothing to do before the first program.
Status FinishProgramFile(ReceivedData& data, ReceivedView& view, const Settings& settings,
                         int programCount);

// The lines as they are saved: each with CR LF.
std::string ReceivedLineBytes(const std::vector<std::string>& lines);

// Writes the view to the target's unfinished file. In automatic naming before
// any program number it first starts the fallback file, named so that it
// never replaces a file.
Status WriteReceivedView(ReceivedData& data, const ReceivedView& view, const Settings& settings,
                         std::time_t now);

// The target is complete: its file takes the target's name. On failure the
// data stays unfinished, for SetAsideUnfinishedTarget.
Status FinishTarget(ReceivedData& data);
// The abort path: the unfinished data goes; whatever stands under the
// target's name stays as it was. Completed files stay.
void DiscardUnfinishedTarget(ReceivedData& data);
// The error path: the unfinished data must not pass for a complete file; it
// is saved under the target's name with kUnfinishedSuffix ("_2" ... before
// the suffix when that exists), never replacing anything. Returns the path it
// has now, or "" when there was none or it could not be kept.
std::string SetAsideUnfinishedTarget(ReceivedData& data);

}  // namespace wexal
