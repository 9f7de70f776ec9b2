#include "files/file_names.h"

#include <cstdint>

#include "platform/path_rules.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

char FoldLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetterCase(char a, char b) { return FoldLower(a) == FoldLower(b); }

std::string ReplaceControls(std::string text) {
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = '?';
    }
    return text;
}

bool GlobMatch(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    // One back-track point is enough for "*" and "?": the match is linear in
    // practice and never exponential on hostile names.
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || SameLetterCase(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    int caseTie = 0;
    for (std::size_t i = 0; i < common; ++i) {
        const auto fa = static_cast<unsigned char>(FoldLower(a[i]));
        const auto fb = static_cast<unsigned char>(FoldLower(b[i]));
        if (fa != fb) return fa < fb ? -1 : 1;
        if (caseTie == 0 && a[i] != b[i]) {
            // Same letter, different case: the lower-case one goes first.
            caseTie = (a[i] >= 'a' && a[i] <= 'z') ? -1 : 1;
        }
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return caseTie;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (GlobMatch(name, pattern)) return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
        return name.find('.') == std::string_view::npos &&
               GlobMatch(name, pattern.substr(0, pattern.size() - 2));
    }
    return false;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    const std::string extension = PathRules::Extension(name);
    if (mask.size() != extension.size() + 1 || mask.empty() || mask[0] != '*') return false;
    for (std::size_t i = 0; i < extension.size(); ++i) {
        if (FoldUpper(extension[i]) != FoldUpper(mask[i + 1])) return false;
    }
    return true;
}

std::string DisplayName(std::string_view name) {
    if (IsUtf8(name)) return ReplaceControls(std::string(name));
    if (std::optional<std::string> decoded = Cp932ToUtf8(name)) {
        return ReplaceControls(std::move(*decoded));
    }
    std::string out;
    out.reserve(name.size() * 3);
    while (!name.empty()) {
        const std::size_t length = Utf8SequenceLength(name);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            name.remove_prefix(1);
        } else {
            out.append(name.substr(0, length));
            name.remove_prefix(length);
        }
    }
    return ReplaceControls(std::move(out));
}

std::string UpperCaseListText(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto b = static_cast<unsigned char>(out[i]);
        if (b >= 'a' && b <= 'z') {
            out[i] = FoldUpper(out[i]);
        } else if (b == 0xEF && i + 2 < out.size() &&
                   static_cast<unsigned char>(out[i + 1]) == 0xBD) {
            // Full-width a to z are U+FF41..U+FF5A (EF BD 81..9A); their
            // capitals U+FF21..U+FF3A are EF BC A1..BA.
            const auto third = static_cast<unsigned char>(out[i + 2]);
            if (third >= 0x81 && third <= 0x9A) {
                out[i + 1] = static_cast<char>(0xBC);
                out[i + 2] = static_cast<char>(third - 0x81 + 0xA1);
            }
            i += 2;
        }
    }
    return out;
}

}  // namespace wexal
