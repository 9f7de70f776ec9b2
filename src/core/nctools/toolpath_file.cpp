#include "nctools/toolpath_file.h"

#include <algorithm>
#include <string>

#include "files/program_stream.h"
#include "platform/text_lines.h"

namespace wexal {

namespace {

// Moves handed on together: few calls, little held.
constexpr std::size_t kBatch = 4096;

// Cuts text handed on in chunks into lines as LineCutter does, but keeps at
// most kMaxToolpathLine of a line that spans chunks: a longer line is only
// remembered as too long, and its rest skipped up to its end.
class BoundedLines {
public:
    // onLine(text, tooLong) returns false to stop; so does Feed then.
    template <typename F>
    bool Feed(std::string_view chunk, F&& onLine) {
        std::size_t at = 0;
        if (skipFeed_ && !chunk.empty()) {
            skipFeed_ = false;
            if (chunk.front() == '\n') at = 1;
        }
        while (at < chunk.size()) {
            const TextLine line = LineAt(chunk, at);
            if (line.end == 0) {
                Keep(line.text);
                return true;
            }
            // A CR that ends the chunk may have its LF in the next one.
            skipFeed_ = line.next == chunk.size() && chunk.back() == '\r';
            bool go = true;
            if (partial_.empty() && !tooLong_) {
                go = onLine(line.text, line.text.size() > kMaxToolpathLine);
            } else {
                Keep(line.text);
                go = onLine(std::string_view(partial_), tooLong_);
                partial_.clear();
                tooLong_ = false;
            }
            if (!go) return false;
            at = line.next;
        }
        return true;
    }

    // The last line, when the text does not end with a line end.
    template <typename F>
    bool Finish(F&& onLine) {
        skipFeed_ = false;
        if (partial_.empty() && !tooLong_) return true;
        const bool go = onLine(std::string_view(partial_), tooLong_);
        partial_.clear();
        tooLong_ = false;
        return go;
    }

private:
    void Keep(std::string_view text) {
        if (tooLong_) return;
        if (partial_.size() + text.size() > kMaxToolpathLine) {
            tooLong_ = true;
            partial_.clear();
            partial_.shrink_to_fit();
            return;
        }
        partial_ += text;
    }

    std::string partial_;
    bool tooLong_ = false;
    bool skipFeed_ = false;
};

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
    const auto onLine = [&](std::string_view text, bool tooLong) {
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
    BoundedLines lines;
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
