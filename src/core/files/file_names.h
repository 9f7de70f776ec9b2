#pragma once

#include <string>
#include <string_view>

namespace wexal {

// Rules on the names of listed entries. A name is the exact byte string the
// folder holds; it need not be UTF-8 (or anything else).

// Order of names in the list, standing for the Windows lstrcmpA: bytes are
// compared with ASCII letters folded to lower case; when that finds no
// difference, the first letter that differs in case decides, lower case first.
// Returns < 0 when a goes first, 0 only for identical names.
int CompareNames(std::string_view a, std::string_view b);

// Matches a name against an enumeration pattern: "*" any run of bytes, "?"
// exactly one byte, ASCII letters without regard to case. As the Windows
// enumeration does, a pattern ending in ".*" also takes names without that
// dot, so "*.*" takes every name.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// The extension filter: "*" followed by the name's extension (with its dot,
// "" when there is none) equals the mask, ASCII letters without regard to case.
bool MatchesMask(std::string_view name, std::string_view mask);

// A name as text for display (UTF-8): valid UTF-8 stays, else a name that is
// valid cp932 (copied from Windows) is decoded, else every byte that is not
// part of a UTF-8 character becomes U+FFFD. Control characters (a newline in
// a name) become "?" so that one entry stays one line.
std::string DisplayName(std::string_view name);

// ASCII letters and the full-width Latin letters in upper case; everything
// else is left as it is (the op3 option).
std::string UpperCaseListText(std::string_view text);

}  // namespace wexal
