#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// A line longer than this is finished where it stands and the rest of it
// starts a new line: no NC block comes near it, and a machine that sends
// megabytes without a line feed must not fill the memory.
inline constexpr std::size_t kMaxReceivedLineLength = 4096;

// The line being assembled from the NC's characters.
struct LineAssembly {
    std::string buffer;        // lineBuffer
    bool percentSeen = false;  // the first line has been processed
    bool wordStart = true;     // the last character put in was no numeral
    bool inComment = false;    // between "(" and ")"
    // The filter left out a byte of this line, or one came with a parity
    // error: the line is not quite what the NC sent.
    bool dropped = false;
};

// One of "%OP:LNG$" or LF: the character that starts a receive.
bool IsStartCharacter(std::uint8_t c);
// Only these characters, and the double quote, go into a line.
bool IsAcceptedCharacter(std::uint8_t c);
// Characters that continue a word's value.
bool IsNumeral(std::uint8_t c);

// Puts one character into the line: the filter, word spacing (cutSpaces is
// Read_SP_Cut other than "N") and comments.
void PutCharIntoLine(LineAssembly& line, std::uint8_t c, bool cutSpaces);

// The line has grown as long as a line may be.
inline bool LineIsFull(const LineAssembly& line) {
    return line.buffer.size() >= kMaxReceivedLineLength;
}

// Removes leading and trailing characters of code 0x20 or less.
std::string TrimLine(std::string_view text);

std::string NormaliseProgramLetter(std::string line, bool colonChange);

// Lines the NC sends for itself, not part of a program.
bool IsSuppressedLine(std::string_view line);

// The end mark: after the first line, a "%" in the line ends the receive.
bool EndMarkReached(const LineAssembly& line);
// What is kept of the line holding the end mark: nothing when it is shorter
// than three characters, else the line without its first "%".
std::optional<std::string> EndMarkLine(std::string_view buffer);

// What a line feed does to the line; the engine carries it out in order.
struct LineEnd {
    enum class Kind {
        FirstPercentDropped,  // the leading "%" line of the tape
        Continued,            // a bare "O" or ":": the next line is appended to it
        Finished,
    };
    Kind kind = Kind::Finished;
    bool programNumber = false;  // text is a program-number line (normalised)
    bool keep = false;           // text goes into the view
    bool endsReceive = false;
    // Nothing of the line was left out (LineAssembly::dropped).
    bool whole = true;
    std::string text;
};

// Finishes the line at a line feed. The assembly is left ready for what
// follows: emptied and reset after a finished or dropped line, holding the
// normalised text of a continued one.
LineEnd EndLine(LineAssembly& line, bool colonChange);

}  // namespace wexal
