#include "programs/program_names.h"

#include <algorithm>
#include <cstdio>

#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr std::string_view kEscapedInNames = "/\\:*?\"<>|%";

}  // namespace

std::string MaskExtension(std::string_view mask) {
    if (mask.empty()) return {};
    // The first character is the "*" of the mask; drop it whole even if
    // someone stored a multibyte one there.
    const std::size_t first = std::min(Utf8CharLength(mask), mask.size());
    return std::string(mask.substr(first));
}

std::string SafeFileStem(std::string_view programNumber) {
    std::string stem;
    stem.reserve(programNumber.size());
    for (const char c : programNumber) {
        if (kEscapedInNames.find(c) == std::string_view::npos) {
            stem += c;
            continue;
        }
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
        stem += escaped;
    }
    return stem;
}

bool IsProgramNumberLine(std::string_view line) {
    return !line.empty() && (line[0] == ':' || line[0] == 'O' || line[0] == 'L');
}

std::string ProgramNumberOf(std::string_view programLine) {
    std::string number(programLine.substr(0, programLine.find('(')));
    // ":" cannot stand in a file name; the line itself keeps it.
    if (!number.empty() && number[0] == ':') number[0] = 'O';
    return SafeFileStem(number);
}

std::string ProgramFileName(std::string_view programLine, int serial, std::string_view extension) {
    std::string name = ProgramNumberOf(programLine);
    if (serial > 0) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "_%03d", serial);
        name += digits;
    }
    name += SafeFileStem(extension);
    return name;
}

}  // namespace wexal
