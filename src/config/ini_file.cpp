#include "config/ini_file.h"

#include <fstream>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/text_codec.h"

namespace wexal {
namespace {

constexpr std::size_t npos = std::string::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names are compared already trimmed.
bool NamesMatch(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != npos; }

}  // namespace

std::string_view IniFile::Line::Name() const {
    return std::string_view(text).substr(nameBegin, nameEnd - nameBegin);
}

std::string_view IniFile::Line::Value() const {
    return std::string_view(text).substr(valueBegin, valueEnd - valueBegin);
}

std::string_view IniFile::EndingBytes(Ending ending) {
    switch (ending) {
        case Ending::Lf:
            return "\n";
        case Ending::CrLf:
            return "\r\n";
        case Ending::Cr:
            return "\r";
        case Ending::None:
            break;
    }
    return {};
}

IniFile::Line IniFile::Classify(std::string text, Ending ending) {
    Line line;
    line.text = std::move(text);
    line.ending = ending;
    const std::string& t = line.text;

    std::size_t first = 0;
    while (first < t.size() && IsBlank(t[first])) ++first;
    if (first == t.size() || t[first] == ';') return line;

    if (t[first] == '[') {
        const std::size_t close = t.find(']', first + 1);
        if (close == npos) return line;
        std::size_t begin = first + 1;
        std::size_t end = close;
        while (begin < end && IsBlank(t[begin])) ++begin;
        while (end > begin && IsBlank(t[end - 1])) --end;
        line.kind = Kind::Section;
        line.nameBegin = begin;
        line.nameEnd = end;
        return line;
    }

    const std::size_t equals = t.find('=', first);
    if (equals == npos) return line;
    std::size_t nameEnd = equals;
    while (nameEnd > first && IsBlank(t[nameEnd - 1])) --nameEnd;
    if (nameEnd == first) return line;

    std::size_t valueBegin = equals + 1;
    std::size_t valueEnd = t.size();
    while (valueBegin < valueEnd && IsBlank(t[valueBegin])) ++valueBegin;
    while (valueEnd > valueBegin && IsBlank(t[valueEnd - 1])) --valueEnd;
    // An all-blank value is replaced right after the "=", not after the blanks.
    if (valueBegin == valueEnd) valueBegin = valueEnd = equals + 1;

    line.kind = Kind::Key;
    line.nameBegin = first;
    line.nameEnd = nameEnd;
    line.valueBegin = valueBegin;
    line.valueEnd = valueEnd;
    return line;
}

IniFile IniFile::Parse(std::string_view bytes) {
    IniFile file;
    bool endingSeen = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == npos) {
            file.lines_.push_back(Classify(std::string(bytes.substr(pos)), Ending::None));
            break;
        }
        Ending ending = Ending::Lf;
        std::size_t next = end + 1;
        if (bytes[end] == '\r') {
            if (next < bytes.size() && bytes[next] == '\n') {
                ending = Ending::CrLf;
                ++next;
            } else {
                ending = Ending::Cr;
            }
        }
        if (!endingSeen) {
            file.newLineEnding_ = ending;
            endingSeen = true;
        }
        file.lines_.push_back(Classify(std::string(bytes.substr(pos, end - pos)), ending));
        pos = next;
    }
    return file;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxFileSize) return {};

    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    // The file may grow between the size check and the read.
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxFileSize) return {};
    }
    if (in.bad()) return {};
    return Parse(bytes);
}

std::size_t IniFile::FindSection(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && NamesMatch(lines_[i].Name(), name)) return i;
    }
    return npos;
}

std::size_t IniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
    for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Section) break;
        if (line.kind == Kind::Key && NamesMatch(line.Name(), key)) return i;
    }
    return npos;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
    const std::size_t sectionLine = FindSection(TrimBlanks(section));
    if (sectionLine == npos) return std::nullopt;
    const std::size_t keyLine = FindKey(sectionLine, TrimBlanks(key));
    if (keyLine == npos) return std::nullopt;
    return Cp932ToUtf8(lines_[keyLine].Value());
}

void IniFile::Insert(std::size_t index, std::string text) {
    // Only the last line can lack an ending; it needs one before a line follows.
    if (index > 0 && lines_[index - 1].ending == Ending::None) {
        lines_[index - 1].ending = newLineEnding_;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                  Classify(std::move(text), newLineEnding_));
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view utf8Value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (HasLineBreak(section) || section.find(']') != npos) return false;
    if (key.empty() || HasLineBreak(key) || key.find('=') != npos || key.front() == '[' ||
        key.front() == ';') {
        return false;
    }
    if (HasLineBreak(utf8Value)) return false;
    const std::optional<std::string> value = Utf8ToCp932(utf8Value);
    if (!value) return false;

    std::string keyLine;
    keyLine.reserve(key.size() + 1 + value->size());
    keyLine.append(key).append("=").append(*value);

    const std::size_t sectionLine = FindSection(section);
    if (sectionLine == npos) {
        Insert(lines_.size(), "[" + std::string(section) + "]");
        Insert(lines_.size(), std::move(keyLine));
        return true;
    }

    const std::size_t existing = FindKey(sectionLine, key);
    if (existing != npos) {
        Line& line = lines_[existing];
        if (line.Value() == *value) return true;
        // Keep the key's spelling and the blanks around "=" as the file had them.
        std::string text = line.text.substr(0, line.valueBegin);
        text.append(*value);
        line = Classify(std::move(text), line.ending);
        return true;
    }

    std::size_t insertAt = sectionLine + 1;
    for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section) break;
        if (lines_[i].kind == Kind::Key) insertAt = i + 1;
    }
    Insert(insertAt, std::move(keyLine));
    return true;
}

std::string IniFile::Serialize() const {
    std::size_t total = 0;
    for (const Line& line : lines_) total += line.text.size() + 2;
    std::string bytes;
    bytes.reserve(total);
    for (const Line& line : lines_) {
        bytes.append(line.text);
        bytes.append(EndingBytes(line.ending));
    }
    return bytes;
}

Status IniFile::Save(const std::filesystem::path& path) const {
    return WriteFileAtomically(path, Serialize());
}

}  // namespace wexal
