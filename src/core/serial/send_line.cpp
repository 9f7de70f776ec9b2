#include "serial/send_line.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr char kLf = '\n';
constexpr char kDc4 = 0x14;
constexpr std::size_t kMaxBlanks = 29;
constexpr int kLeaderSpaces = 200;

std::string ReplaceEvery(std::string_view text, std::string_view what, std::string_view with) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find(what, from);
        if (at == std::string_view::npos) break;
        out.append(text, from, at - from);
        out.append(with);
        from = at + what.size();
    }
    out.append(text, from, std::string_view::npos);
    return out;
}

}  // namespace

LineFilter LineFilterFor(const Settings& settings) {
    LineFilter filter;
    // The program's bytes are cp932; a string cp932 cannot hold is in no program.
    filter.neverSend = Utf8ToCp932(settings.SendMsg1).value_or(settings.SendMsg1);
    filter.cutAtComment = settings.MSG_OP == "N";
    return filter;
}

std::string BlankNeverSent(std::string_view line, std::string_view neverSend) {
    std::string text(line);
    if (neverSend.empty()) return text;
    const std::string blanks(std::min(neverSend.size(), kMaxBlanks), ' ');
    // A blanked occurrence may join its neighbours into a new one; the text
    // shrinks or loses a non-blank with every change, so this ends.
    while (text.find(neverSend) != std::string::npos) {
        std::string next = ReplaceEvery(text, neverSend, blanks);
        if (next == text) break;
        text = std::move(next);
    }
    return text;
}

LineToSend FilterLine(std::string_view line, const LineFilter& filter) {
    const std::string text = BlankNeverSent(line, filter.neverSend);
    LineToSend out;
    if (text == "%") {
        out.skip = true;
        return out;
    }
    const bool hasParen = text.find('(') != std::string::npos;
    bool inParenComment = false;
    out.chars.reserve(text.size());
    for (const char c : text) {
        if (hasParen) {
            if (c == '(') inParenComment = true;
            if (c == ')') inParenComment = false;
        }
        if (!inParenComment) {
            if (filter.cutAtComment && (c == ';' || c == '\'')) break;
            if (c == '%') continue;
        }
        if (c == '\t') continue;
        out.chars += c;
    }
    return out;
}

std::string LeaderCharacters(const Settings& settings) {
    return settings.Send_Before == 1 ? std::string(kLeaderSpaces, ' ') : std::string();
}

std::string StartCharacters(const Settings& settings) {
    if (settings.StartChar != "Y") return std::string(1, kLf);
    switch (settings.StartChar_Type) {
        case 1: return "%\n";
        case 2: return "%%\n";
        case 3: return "% *\n";
        case 4: return "%";
        case 5: return "%%";
        default: return {};
    }
}

std::string EndCharacters(const Settings& settings) {
    if (settings.EndChar != "Y") return std::string(1, kDc4);
    switch (settings.EndChar_Type) {
        case 1: return "\n%";
        case 2: return "\n%%";
        case 3: return "\n%\n";
        case 4: return "\n%%\n";
        default: return {};
    }
}

int LineEndCorrection(int lineEndLength) { return lineEndLength == 1 ? 1 : 0; }

std::int32_t LineCount(std::string_view line) { return static_cast<std::int32_t>(line.size()) + 2; }

bool PausesAfter(std::string_view line) {
    for (const std::string_view code : {"M99", "M02", "M2", "M30"}) {
        if (line.find(code) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace wexal
