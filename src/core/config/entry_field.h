#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// Rules shared by the keyboard-driven entry fields of the communication
// panel and the options dialog.

inline constexpr char32_t kBackspaceChar = 0x08;

// true when c occurs in allowed (UTF-8 text).
bool IsCharAllowed(char32_t c, std::string_view allowed);

// Whether a filtered field takes a typed character: Backspace always, any
// other character only when it is allowed. An empty allowed set means the
// field takes every character.
bool FieldTakesChar(char32_t c, std::string_view allowed);

// ASCII letters upper-cased, every other byte as it is.
std::string UpperAscii(std::string_view text);
char32_t UpperAscii(char32_t c);

// The keys the entry fields react to, independent of the window toolkit.
enum class FieldKey { Enter, Up, Down, F1, F2, Escape, F10, Backspace, Delete, Tab, Other };

// Moves within a ring of count fields numbered 1..count by tag.
int NextInRing(int tag, int count);
int PreviousInRing(int tag, int count);

// A decimal integer as a numeric field holds it: digits with an optional "-",
// within 32 bits; nullopt for anything else, the empty text included.
std::optional<int> ReadFieldNumber(std::string_view text);

}  // namespace wexal
