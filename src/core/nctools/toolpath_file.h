#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "nctools/tool_progress.h"
#include "nctools/toolpath.h"
#include "platform/message_service.h"
#include "platform/status.h"

namespace wexal {

// A line longer than this is not a program line: it is cut there, counted as
// not understood ("行が長すぎます"), and the rest up to its end skipped, so a
// file without line ends costs bounded memory and ends.
inline constexpr std::size_t kMaxToolpathLine = 64 * 1024;

struct ToolpathRun {
    Status status;  // not ok: the file could not be read (the message says why)
    ToolpathSummary summary;
    bool cancelled = false;  // progress->Step returned false
};

// Reads a program file as a stream (ProgramStream: the view's byte rules,
// bounded memory) through the interpreter. Moves go to onMoves in batches in
// program order; onMoves returns false to stop. progress (may be null) hears
// the bytes read (Reached) and may cancel (Step).
ToolpathRun ReadToolpathFile(const std::filesystem::path& path, const ToolpathOptions& options,
                             MessageService& messages,
                             const std::function<bool(const std::vector<ToolMove>&)>& onMoves,
                             ToolProgress* progress = nullptr);

}  // namespace wexal
