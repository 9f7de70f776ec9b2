#include "serial/receive_line.h"

#include "programs/program_names.h"

namespace wexal {

namespace {

constexpr std::string_view kStartCharacters = "%OP:LNG$";
constexpr std::string_view kAcceptedCharacters =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ %()+-:/.#$&'*,;<=>?@[]!_^ ";
constexpr std::string_view kNumerals = "0123456789.+-/*[]()=";

bool In(std::string_view set, std::uint8_t c) {
    // 0 is never a member: a string_view search would not find it anyway,
    // but say so rather than rely on it.
    return c != 0 && set.find(static_cast<char>(c)) != std::string_view::npos;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

bool IsStartCharacter(std::uint8_t c) { return c == '\n' || In(kStartCharacters, c); }

bool IsAcceptedCharacter(std::uint8_t c) { return c == '"' || In(kAcceptedCharacters, c); }

bool IsNumeral(std::uint8_t c) { return In(kNumerals, c); }

void PutCharIntoLine(LineAssembly& line, std::uint8_t c, bool cutSpaces) {
    if (!IsAcceptedCharacter(c)) {
        line.dropped = true;
        return;
    }
    const char ch = static_cast<char>(c);
    if (ch == '(') line.inComment = true;
    if (IsNumeral(c)) {
        line.buffer += ch;
        line.wordStart = false;
    } else if (!cutSpaces) {
        if (!line.wordStart && !line.inComment) {
            if (ch != ' ') {
                line.buffer += ' ';
                line.buffer += ch;
                line.wordStart = true;
            }
        } else {
            line.buffer += ch;
        }
    } else if (ch != ' ' || line.inComment) {
        line.buffer += ch;
    }
    if (ch == ')' && line.inComment) line.inComment = false;
}

std::string TrimLine(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string NormaliseProgramLetter(std::string line, bool colonChange) {
    if (!line.empty() && (line[0] == ':' || line[0] == 'O')) line[0] = colonChange ? ':' : 'O';
    return line;
}

bool IsSuppressedLine(std::string_view line) {
    return Contains(line, "O&FW") || Contains(line, ":&FW") || Contains(line, "&HE:");
}

bool EndMarkReached(const LineAssembly& line) {
    return line.percentSeen && Contains(line.buffer, "%");
}

std::optional<std::string> EndMarkLine(std::string_view buffer) {
    if (buffer.size() < 3) return std::nullopt;
    std::string rest(buffer);
    rest.erase(rest.find('%'), 1);
    return rest;
}

LineEnd EndLine(LineAssembly& line, bool colonChange) {
    LineEnd end;
    if (!line.percentSeen && Contains(line.buffer, "%")) {
        if (line.buffer.size() < 4) {
            line.percentSeen = true;
            line.buffer.clear();
            line.dropped = false;
            end.kind = LineEnd::Kind::FirstPercentDropped;
            return end;
        }
        line.buffer.erase(line.buffer.find('%'), 1);
    }
    std::string text = TrimLine(line.buffer);
    if (IsProgramNumberLine(text)) {
        text = NormaliseProgramLetter(std::move(text), colonChange);
        end.programNumber = true;
    }
    if (text == "O" || text == ":") {
        line.buffer = text;
        end.kind = LineEnd::Kind::Continued;
        end.text = std::move(text);
        return end;
    }
    end.kind = LineEnd::Kind::Finished;
    end.whole = !line.dropped;
    line.dropped = false;
    end.keep = !IsSuppressedLine(text);
    end.endsReceive = line.percentSeen && end.keep && Contains(text, "%");
    end.text = std::move(text);
    line.buffer.clear();
    line.wordStart = true;
    line.inComment = false;
    line.percentSeen = true;
    return end;
}

}  // namespace wexal
