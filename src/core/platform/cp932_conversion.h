#pragma once

#include <string>
#include <string_view>

// The converter between cp932 and UTF-8 that each OS has (iconv on POSIX,
// code page 932 on Windows whatever the system's ANSI code page), for
// text_codec alone.
namespace wexal::cp932 {

// Whether the OS can convert cp932 at all.
bool Available();

// Convert from the front of `in`, appending to `out`. Each stops at the first
// sequence it cannot convert and leaves `in` pointing at it, returning EILSEQ
// (EINVAL for a sequence cut short at the end), or 0 when all was converted.
// Encode maps the characters that cp932 converters take one way only
// (U+00A5 to 0x5C, U+2212 to 0x817C, ...) as iconv does.
int Decode(std::string_view& in, std::string& out);
int Encode(std::string_view& in, std::string& out);

}  // namespace wexal::cp932
