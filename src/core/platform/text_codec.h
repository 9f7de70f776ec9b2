#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// Text is UTF-8 in memory and cp932 (Shift-JIS with the Microsoft extensions)
// in files. These helpers are safe to call from any thread.

// Decodes cp932 bytes; nullopt when the input holds a byte sequence that is
// not cp932.
std::optional<std::string> Cp932ToUtf8(std::string_view bytes);

// Decodes cp932 bytes for display: every byte that does not start a valid
// character becomes U+FFFD and decoding resumes at the next byte.
std::string Cp932ToUtf8Lossy(std::string_view bytes);

// Encodes UTF-8 text; nullopt when the input is not UTF-8 or holds a
// character that cp932 cannot represent. A few characters map one way only
// (U+00A5 to 0x5C, U+2212 to 0x817C), as in every cp932 converter.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// Number of cp932 bytes the text takes, which is also its width in columns of
// a monospaced font (half-width katakana 1, kanji 2). A character that cp932
// cannot represent counts 2, as it would most likely be drawn wide; a byte
// that is not part of valid UTF-8 counts 1.
std::size_t Cp932Width(std::string_view utf8);

// Length of the well-formed UTF-8 sequence at the start of text, 0 when it is
// malformed (overlong, surrogate, beyond U+10FFFF, cut short) or text is empty.
std::size_t Utf8SequenceLength(std::string_view text);

// The text with its line breaks as blanks, for a line of a log or a terminal.
std::string OneLine(std::string_view text);

// The text as it may go into a log line or a terminal: its characters as
// they stand, control characters (C0, DEL, C1) and bytes that are no
// character of UTF-8 as "\xNN".
std::string PrintableText(std::string_view text);

// Bytes of the character at the start of a non-empty text, for stepping
// through text made for display: a malformed byte counts as one.
std::size_t Utf8CharLength(std::string_view text);

// The UTF-8 form of one character; empty for a value that is no character
// (a surrogate, or beyond U+10FFFF).
std::string Utf8OfChar(char32_t c);

// Whether the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// UTF-16 code units, two bytes each in the given byte order, as WTF-8: UTF-8
// that also carries unpaired surrogates (as three-byte sequences), so that
// any sequence of units converts back unchanged. An odd last byte is left out;
// the caller keeps it.
std::string Utf16ToWtf8(std::string_view bytes, bool bigEndian);

// The reverse of Utf16ToWtf8 for WTF-8 and UTF-8 text; nullopt when the text
// holds a byte sequence that is neither.
std::optional<std::string> Wtf8ToUtf16(std::string_view text, bool bigEndian);

}  // namespace wexal
