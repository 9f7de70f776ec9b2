#pragma once

#include <cstddef>
#include <cstdint>

namespace wexal {

// What a long run of an NC tool tells the window and asks it: the line it is
// at, and whether the operator has cancelled. The window processes its
// pending events inside Step, so it repaints and sees Esc.
class ToolProgress {
public:
    virtual ~ToolProgress() = default;
    // line counts from 1; false: stop now.
    virtual bool Step(std::size_t line) = 0;
    // How much of a source file of total bytes has been read, for a tool
    // that reads its source as it goes and so cannot know its lines ahead.
    virtual void Reached(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }
};

// How often a tool reports: every this many lines, and at its last line.
inline constexpr std::size_t kProgressEvery = 1024;

inline bool ReportProgress(ToolProgress* progress, std::size_t line, std::size_t lineCount) {
    if (progress == nullptr) return true;
    if (line % kProgressEvery != 0 && line != lineCount) return true;
    return progress->Step(line);
}

}  // namespace wexal
