#pragma once

#include <string>
#include <string_view>

namespace wexal {

// Names of program files made from program numbers, shared by every command
// that turns file or line content into a file name (the split, the receive).

// Setting/Mask without its first character: "*.NC" gives ".NC". A multibyte
// first character is dropped whole.
std::string MaskExtension(std::string_view mask);

// A program number as it may stand in a file name: "/" and the characters
// other systems refuse ("\:*?\"<>|"), and "%" itself, become "%" and two
// hexadecimal digits, so no number reaches outside the folder and no two
// numbers share a name.
std::string SafeFileStem(std::string_view programNumber);

// A program-number line begins with "O", ":" or "L".
bool IsProgramNumberLine(std::string_view line);

// The program number of a program-number line: up to its first "(", a
// leading ":" as "O"; unsafe characters escaped.
std::string ProgramNumberOf(std::string_view programLine);

// The file name of a program: its number, the serial "_000" when serial > 0,
// and the extension (made safe the same way, as it may come from a settings
// file written elsewhere).
std::string ProgramFileName(std::string_view programLine, int serial, std::string_view extension);

}  // namespace wexal
