#include "files/short_names.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "files/file_names.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr std::size_t kBaseWidth = 8;
constexpr std::size_t kExtensionWidth = 3;

struct Candidate {
    std::string base;
    std::string extension;
    bool ownForm = true;  // nothing dropped, replaced or cut
};

bool KeptAscii(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

// Maps one part of the name; widths are cp932 bytes.
std::string MapPart(std::string_view part, std::size_t maxWidth, bool& ownForm) {
    std::string out;
    std::size_t width = 0;
    while (!part.empty()) {
        const std::size_t length = Utf8CharLength(part);
        const std::string_view ch = part.substr(0, length);
        part.remove_prefix(length);
        std::string mapped;
        std::size_t charWidth = 1;
        if (length == 1) {
            const char c = ch[0];
            if (c == ' ' || c == '.') {
                ownForm = false;
                continue;
            }
            if (KeptAscii(c)) {
                mapped.assign(1, (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c);
            } else {
                ownForm = false;
                mapped = "_";
            }
        } else if (std::optional<std::string> bytes = Utf8ToCp932(ch);
                   bytes && ch != "\xEF\xBF\xBD") {
            mapped.assign(ch);
            charWidth = bytes->size();
        } else {
            ownForm = false;
            mapped = "_";
        }
        if (width + charWidth > maxWidth) {
            ownForm = false;
            break;
        }
        out += mapped;
        width += charWidth;
    }
    return out;
}

Candidate MakeCandidate(std::string_view name) {
    const std::string text = DisplayName(name);
    std::string_view base = text;
    std::string_view extension;
    const std::size_t dot = text.rfind('.');
    Candidate candidate;
    if (dot != std::string::npos && dot > 0) {
        base = std::string_view(text).substr(0, dot);
        extension = std::string_view(text).substr(dot + 1);
        if (extension.empty()) candidate.ownForm = false;
    }
    candidate.base = MapPart(base, kBaseWidth, candidate.ownForm);
    candidate.extension = MapPart(extension, kExtensionWidth, candidate.ownForm);
    if (candidate.base.empty()) candidate.ownForm = false;
    return candidate;
}

// The base cut to at most width cp932 bytes, never inside a character.
std::string CutToWidth(std::string_view text, std::size_t width) {
    std::size_t used = 0;
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t length = Utf8CharLength(text.substr(end));
        const std::size_t charWidth = length == 1 ? 1 : Cp932Width(text.substr(end, length));
        if (used + charWidth > width) break;
        used += charWidth;
        end += length;
    }
    return std::string(text.substr(0, end));
}

std::size_t Digits(std::uint32_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

std::string NumberedBase(const std::string& base, std::uint32_t number) {
    const std::string tail = "~" + std::to_string(number);
    const std::size_t room = kBaseWidth > tail.size() ? kBaseWidth - tail.size() : 0;
    return CutToWidth(base, room) + tail;
}

std::string WithExtension(std::string base, const std::string& extension) {
    if (!extension.empty()) {
        base += '.';
        base += extension;
    }
    return base;
}

}  // namespace

std::vector<std::uint32_t> AssignShortNames(const std::vector<std::string_view>& names) {
    std::vector<std::uint32_t> numbers(names.size(), 0);
    std::vector<Candidate> candidates;
    candidates.reserve(names.size());
    for (std::string_view name : names) candidates.push_back(MakeCandidate(name));

    // Own forms first; on a clash the name first in byte order keeps it.
    std::unordered_map<std::string, std::size_t> owners;
    owners.reserve(names.size());
    std::vector<std::size_t> numbered;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!candidates[i].ownForm) {
            numbered.push_back(i);
            continue;
        }
        auto [it, inserted] =
            owners.try_emplace(WithExtension(candidates[i].base, candidates[i].extension), i);
        if (inserted) continue;
        if (names[i] < names[it->second]) {
            numbered.push_back(it->second);
            it->second = i;
        } else {
            numbered.push_back(i);
        }
    }
    std::unordered_set<std::string> taken;
    taken.reserve(names.size());
    for (auto& [form, index] : owners) taken.insert(form);

    std::sort(numbered.begin(), numbered.end(),
              [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
    // Next number to try per prefix, so that many names sharing a prefix do
    // not probe the same numbers over and over.
    std::unordered_map<std::string, std::uint32_t> nextNumber;
    for (std::size_t i : numbered) {
        const Candidate& candidate = candidates[i];
        std::uint32_t n = 1;
        for (;;) {
            const std::size_t digits = Digits(n);
            const std::size_t room = kBaseWidth > digits + 1 ? kBaseWidth - digits - 1 : 0;
            std::string prefix = CutToWidth(candidate.base, room);
            std::uint32_t& next = nextNumber.try_emplace(prefix, 1).first->second;
            n = std::max(n, next);
            if (Digits(n) != digits) continue;
            const std::string form =
                WithExtension(prefix + "~" + std::to_string(n), candidate.extension);
            if (taken.insert(form).second) {
                next = n + 1;
                numbers[i] = n;
                break;
            }
            ++n;
            next = n;
        }
    }
    return numbers;
}

std::string ShortBase(std::string_view name, std::uint32_t number) {
    const Candidate candidate = MakeCandidate(name);
    if (number == 0) return candidate.base;
    return NumberedBase(candidate.base, number);
}

std::string ShortName(std::string_view name, std::uint32_t number) {
    const Candidate candidate = MakeCandidate(name);
    const std::string base = number == 0 ? candidate.base : NumberedBase(candidate.base, number);
    return WithExtension(base, candidate.extension);
}

}  // namespace wexal
