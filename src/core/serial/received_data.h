#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "programs/program_names.h"
#include "platform/status.h"
#include "platform/unique_fd.h"
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

// The file a program is written into while it arrives. It lies in the folder
// of its target but takes the target's name only when the program is
// complete, so an abort, a lost line or a signal never touches a file that was
// there before, and a hard link to that file (a snapshot) keeps the old bytes.
// It has no name at all where the file system allows (O_TMPFILE), so even a
// killed process leaves nothing behind; elsewhere it is a hidden
// ".Wexal-receive.tmp<pid>_<n>", which neither the mask of a program folder
// nor a later receive takes for a program.
class UnfinishedFile {
public:
    UnfinishedFile() = default;
    ~UnfinishedFile() { Discard(); }
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

    bool IsOpen() const { return static_cast<bool>(file_); }
    // A new empty file in folder. 0 or the errno.
    int Create(const std::string& folder);
    // Appends the bytes and flushes them to the disk. 0 or the errno.
    int Append(std::string_view bytes);
    // Gives the file the name `name` in its folder and closes it. With replace
    // an entry of that name is replaced (a link as the link itself, never
    // followed), else nothing is ever replaced (EEXIST). 0 or the errno; on
    // failure the file stays unfinished.
    int Place(const std::string& name, bool replace);
    // Drops the file; a temporary name is removed only while it still names
    // this very file.
    void Discard();
    // Closes the file, leaving it under its temporary name; returns that name
    // ("" when it has none, and then it is gone).
    std::string Abandon();
    // The device and inode of the open file.
    std::pair<dev_t, ino_t> Id() const;

private:
    int NameTemporary();
    bool TemporaryIsOurs() const;

    UniqueFd folder_;
    UniqueFd file_;
    std::string temporary_;  // the hidden name, "" while unnamed
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
    std::vector<std::pair<dev_t, ino_t>> completedIds;  // of completedFiles
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
