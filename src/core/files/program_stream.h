#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/message_service.h"
#include "platform/status.h"
#include "platform/text_lines.h"
#include "platform/unique_fd.h"

namespace wexal {

// The question for a file that is empty or starts with NUL, as the loader asks it.
inline constexpr const char* kNotTextQuestion =
    "ファイル形式が違います。\n"
    "そのまま読み込みは可能ですが、データの一部読み込めない可能性が有ります。\n"
    "読み込み開始は「はい(Y)」";

// A program file read as the transfer view reads it (LoadFileIntoView), in
// blocks, so that memory does not grow with the file: NULs are left out, and
// a file that is empty or starts with NUL brings the loader's question and,
// after Yes, is read line by line as text, in pieces of at most 500 bytes
// (a CR LF end loses its CR; pieces join with LF); after No it has no text.
class ProgramStream {
public:
    // Opens the file and asks the question when the file needs it.
    ProgramStream(const std::filesystem::path& path, MessageService& messages);

    // Why the file cannot be read at all (gone, unreadable, no regular
    // file); "" when it can.
    const std::string& problem() const { return problem_; }
    std::uint64_t size() const { return size_; }
    // Bytes of the file read so far by ReadText.
    std::uint64_t done() const { return done_; }

    // Hands the text on in order, a chunk at a time, from the start of the
    // file; onText returns false to stop. A read error, and a file that is
    // changed or deleted while it is read, end with a message naming it, so
    // that a part is never taken for the whole.
    Status ReadText(const std::function<bool(std::string_view)>& onText);

private:
    enum class Mode { Bytes, Pieces, Nothing };
    Status Unchanged() const;
    Status CannotRead(const std::string& reason) const;

    std::filesystem::path path_;
    UniqueFd fd_;
    std::string problem_;
    Mode mode_ = Mode::Nothing;
    std::uint64_t size_ = 0;
    std::uint64_t done_ = 0;
    timespec modified_{};
};

// Cuts text handed on in chunks into the lines ForEachLine gives for the
// whole: a line ends at CR LF, LF or a lone CR, and text after the last end
// is one more line. Only a line that spans chunks is copied.
class LineCutter {
public:
    // onLine(line) returns false to stop; so does Feed then.
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
                partial_ += line.text;
                return true;
            }
            // A CR that ends the chunk may have its LF in the next one.
            skipFeed_ = line.next == chunk.size() && chunk.back() == '\r';
            bool go = true;
            if (partial_.empty()) {
                go = onLine(line.text);
            } else {
                partial_ += line.text;
                go = onLine(std::string_view(partial_));
                partial_.clear();
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
        if (partial_.empty()) return true;
        const bool go = onLine(std::string_view(partial_));
        partial_.clear();
        return go;
    }

private:
    std::string partial_;
    bool skipFeed_ = false;
};

}  // namespace wexal
