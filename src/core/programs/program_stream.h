#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/message_service.h"
#include "platform/status.h"
#include "platform/text_lines.h"
#include "programs/program_text.h"

namespace wexal {

// A program file read in blocks, from the start to the end, so that memory
// does not grow with the file: the text the view and the send see
// (ProgramText's rules: NULs left out, and a file that is empty or starts with
// NUL read line by line in pieces after Yes to the loader's question, nothing
// after No).
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

    // Hands the text on in order, a run at a time, from the start of the
    // file; onText returns false to stop. A read error, and a file that is
    // changed or deleted while it is read, end with a message naming it, so
    // that a part is never taken for the whole.
    Status ReadText(const std::function<bool(std::string_view)>& onText);

private:
    enum class Mode { Bytes, Pieces, Nothing };
    Status CannotRead(const std::string& reason) const;
    // The file was neither changed nor deleted.
    Status StillThere() const;

    std::filesystem::path path_;
    std::shared_ptr<HeldProgramFile> file_;
    std::string problem_;
    Mode mode_ = Mode::Nothing;
    std::uint64_t size_ = 0;
    std::uint64_t done_ = 0;
};

// Cuts text handed on in chunks into the lines ForEachLine gives for the
// whole: a line ends at CR LF, LF or a lone CR, and text after the last end
// is one more line. Only a line that spans chunks is copied.
class LineCutter {
public:
    // maxLine bounds what is kept of a line that spans chunks: a longer line
    // is only remembered as too long and its rest skipped, so that text
    // without line ends costs bounded memory.
    explicit LineCutter(std::size_t maxLine = static_cast<std::size_t>(-1)) : maxLine_(maxLine) {}

    // onLine(line) returns false to stop; so does Feed then. While onLine
    // runs, tooLong() tells whether the line was longer than maxLine (its
    // text is then empty, or the first part of a line whole in its chunk).
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
                tooLong_ = line.text.size() > maxLine_;
                go = onLine(line.text);
            } else {
                Keep(line.text);
                go = onLine(std::string_view(partial_));
                partial_.clear();
            }
            tooLong_ = false;
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
        const bool go = onLine(std::string_view(partial_));
        partial_.clear();
        tooLong_ = false;
        return go;
    }

    bool tooLong() const { return tooLong_; }

private:
    void Keep(std::string_view text) {
        if (tooLong_) return;
        if (text.size() > maxLine_ - partial_.size()) {
            tooLong_ = true;
            partial_.clear();
            partial_.shrink_to_fit();
            return;
        }
        partial_ += text;
    }

    std::size_t maxLine_;
    std::string partial_;
    bool tooLong_ = false;
    bool skipFeed_ = false;
};

}  // namespace wexal
