#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace wexal {

// The decisions the send engine takes for one program line and for the
// characters around a program, each on its own.

// What a line's filters read from the settings, prepared once per send.
struct LineFilter {
    std::string neverSend;     // Setting/SendMsg1 in the program's code page; empty: none
    bool cutAtComment = false;  // Options/MSG_OP "N": ";" and "'" end the line
};
LineFilter LineFilterFor(const Settings& settings);

// The characters of one line (without its line end) that go to SendChar, in
// order; the LF that closes the line is not among them. skip: a line that is
// a lone "%" goes out not at all, not even its LF.
struct LineToSend {
    bool skip = false;
    std::string chars;
};
LineToSend FilterLine(std::string_view line, const LineFilter& filter);

// Every occurrence of the never-sent string becomes as many spaces as it has
// bytes, at most 29, until none is left.
std::string BlankNeverSent(std::string_view line, std::string_view neverSend);

// The leader and start characters: Options/Send_Before 1 gives 200 spaces;
// Setting/StartChar "Y" the characters of its type, otherwise one LF.
std::string LeaderCharacters(const Settings& settings);
std::string StartCharacters(const Settings& settings);
// The end characters of Setting/EndChar_Type, or one DC4 without EndChar "Y".
std::string EndCharacters(const Settings& settings);

// Bytes the size of the file holds beyond what the count of a line takes
// (the line plus a CR LF): a line ended by a single LF or CR counts one byte
// more than the file holds, so the total grows by one to stay in step.
int LineEndCorrection(int lineEndLength);
// What a line counts as sent: its bytes and a CR LF.
std::int32_t LineCount(std::string_view line);
// The line ends a program or a subprogram (M99, M02, M2, M30 anywhere in it,
// so M20 counts as well): the NC gets a moment before what follows.
bool PausesAfter(std::string_view line);

}  // namespace wexal
