#include "nctools/toolpath_file.h"

#include <algorithm>
#include <string>

#include "programs/program_stream.h"

namespace wexal {

namespace {

// Moves handed on together: few calls, little held.
constexpr std::size_t kBatch = 4096;

}  // namespace

ToolpathRun ReadToolpathFile(const std::filesystem::path& path, const ToolpathOptions& options,
                             MessageService& messages,
                             const std::function<bool(const std::vector<ToolMove>&)>& onMoves,
                             ToolProgress* progress) {
    ToolpathRun run;
    ToolpathInterpreter interpreter(options);
    ProgramStream stream(path, messages);
    if (!stream.problem().empty()) {
        run.status = Status::Error("ファイルを読み込めません。\n" + path.string() + "\n" +
                                   stream.problem());
        return run;
    }
    std::vector<ToolMove> lineMoves;
    std::vector<ToolMove> batch;
    batch.reserve(kBatch);
    std::uint64_t number = 0;
    bool stopped = false;
    const auto flush = [&] {
        if (batch.empty() || stopped) return !stopped;
        if (!onMoves(batch)) stopped = true;
        batch.clear();
        return !stopped;
    };
    LineCutter lines(kMaxToolpathLine);
    const auto onLine = [&](std::string_view text) {
        const bool tooLong = lines.tooLong();
        ++number;
        if (tooLong) {
            interpreter.NotUnderstoodLine(number, "行が長すぎます");
        } else {
            interpreter.Line(text, number, lineMoves);
            batch.insert(batch.end(), lineMoves.begin(), lineMoves.end());
            if (batch.size() >= kBatch && !flush()) return false;
        }
        if (progress != nullptr && number % kProgressEvery == 0 && !progress->Step(number)) {
            run.cancelled = true;
            return false;
        }
        return true;
    };
    const Status read = stream.ReadText([&](std::string_view chunk) {
        if (!lines.Feed(chunk, onLine)) return false;
        if (progress != nullptr) {
            progress->Reached(stream.done(), stream.size());
            // A chunk without a line end still gives the window its turn.
            if (!progress->Step(number)) {
                run.cancelled = true;
                return false;
            }
        }
        return flush();
    });
    if (read && !run.cancelled && !stopped) lines.Finish(onLine);
    if (!run.cancelled) flush();
    run.status = read;
    run.summary = interpreter.summary();
    return run;
}

}  // namespace wexal
