#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "programs/program_text.h"

namespace wexal {

// The program as the transfer view holds it: the text LoadProgram made of
// the file, read from the file through its line index rather than held, so
// that line i costs the same at the start of a 1 GB program as at its end.
// A line ends at CR LF, LF or a lone CR; text after the last line end is one
// more line. Copies share the one open file.
class SendView {
public:
    SendView() = default;
    explicit SendView(std::shared_ptr<const ProgramText> program) : program_(std::move(program)) {}
    // A program given as its text, held in an anonymous memory file (tests and
    // benchmarks); the text is taken whole, as a file of these bytes would be.
    explicit SendView(const std::string& text);

    bool empty() const { return program_ == nullptr || program_->empty(); }
    const std::shared_ptr<const ProgramText>& program() const { return program_; }
    // All lines: waits for the index to be complete.
    std::size_t LineCount() const;
    // Line i without its line end, and its end: 2 for CR LF, 1 for LF or CR,
    // 0 for a last line without one.
    std::string Line(std::size_t i) const;
    int LineEndLength(std::size_t i) const;

private:
    std::shared_ptr<const ProgramText> program_;
};

// The lines of a view one after another from the first, for the send: the
// file is read in blocks of 64 KB as the lines go out, and looked at after
// every block read, so that a file truncated, grown or rewritten in place
// since the key press stops the reading.
class SendViewReader {
public:
    explicit SendViewReader(const SendView& view);

    enum class Result { Line, End, Changed, Unreadable };
    // The next line (without its end) and its end length.
    Result Next(std::string& line, int& endLength);
    // A line follows the one read last.
    bool MoreLines();
    // errno of an Unreadable.
    int error() const;

private:
    std::shared_ptr<const ProgramText> program_;
    std::unique_ptr<LineScanner> scanner_;
};

}  // namespace wexal
