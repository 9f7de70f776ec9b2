#include "config/ini_file.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/text_codec.h"

namespace wexal {
namespace {

constexpr std::size_t npos = std::string::npos;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
// Lines this long are neither sections nor keys (their length would not fit
// a record); no real profile file comes near it.
constexpr std::size_t kMaxIndexedLine = std::numeric_limits<std::uint32_t>::max();

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

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

// FNV-1a over the folded name, so that names that match hash alike, mixed at
// the end because the table uses the low bits.
std::uint64_t HashName(std::string_view name, std::uint64_t seed = 14695981039346656037ull) {
    std::uint64_t hash = seed;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(FoldAscii(c));
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    return hash;
}

std::uint64_t HashKey(std::uint32_t section, std::string_view name) {
    return HashName(name,
                    14695981039346656037ull ^ (std::uint64_t{section} * 0x9E3779B97F4A7C15ull));
}

enum class Kind : std::uint8_t { Other, Section, Key };

// A line's kind with its trimmed name and value, as offsets into the line.
struct LineParts {
    Kind kind = Kind::Other;
    std::size_t nameBegin = 0;
    std::size_t nameEnd = 0;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;

    std::string_view Name(std::string_view line) const {
        return line.substr(nameBegin, nameEnd - nameBegin);
    }
    std::string_view Value(std::string_view line) const {
        return line.substr(valueBegin, valueEnd - valueBegin);
    }
};

LineParts Classify(std::string_view t) {
    LineParts line;
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

void AppendEscaped(std::string& out, unsigned char byte) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The UTF-8 text of a cp932 character, when cp932 holds it both ways.
std::optional<std::string> ExactCp932(std::string_view utf8) {
    std::optional<std::string> bytes = Utf8ToCp932(utf8);
    if (!bytes || Cp932ToUtf8(*bytes) != utf8) return std::nullopt;
    return bytes;
}

}  // namespace

// --- parsing and the index ---------------------------------------------------

IniFile IniFile::Parse(std::string_view bytes) { return FromBytes(std::string(bytes)); }

IniFile IniFile::FromBytes(std::string&& bytes) {
    IniFile file;
    const std::string_view view = bytes;
    if (view.starts_with(kUtf16LeBom) || view.starts_with(kUtf16BeBom)) {
        const bool bigEndian = view.starts_with(kUtf16BeBom);
        file.encoding_ = bigEndian ? Encoding::Utf16BeBom : Encoding::Utf16LeBom;
        const std::string_view units = view.substr(2);
        file.text_ = Utf16ToWtf8(units, bigEndian);
        if (units.size() % 2 != 0) file.oddByte_ = units.substr(units.size() - 1);
    } else if (view.starts_with(kUtf8Bom)) {
        file.encoding_ = Encoding::Utf8Bom;
        bytes.erase(0, kUtf8Bom.size());
        file.text_ = std::move(bytes);
    } else {
        file.text_ = std::move(bytes);
    }
    file.Index();
    return file;
}

template <typename F>
void IniFile::ForEachLine(std::size_t from, std::size_t to, F&& f) const {
    const char* const data = text_.data();
    std::size_t pos = from;
    while (pos < to) {
        // Empty lines can be neither sections nor keys; skipped quickly, as a
        // file may be padded with millions of them.
        if (data[pos] == '\n') {
            ++pos;
            continue;
        }
        if (data[pos] == '\r') {
            pos += pos + 1 < text_.size() && data[pos + 1] == '\n' ? 2 : 1;
            continue;
        }
        std::size_t end = pos;
        while (end < to && data[end] != '\n' && data[end] != '\r') ++end;
        std::size_t next = end;
        if (end < to) {
            next = end + 1;
            if (data[end] == '\r' && next < text_.size() && data[next] == '\n') ++next;
        }
        f(pos, end - pos, next);
        pos = next;
    }
}

void IniFile::Index() {
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '\n') {
            newLineEnding_ = Ending::Lf;
            break;
        }
        if (text_[i] == '\r') {
            const bool crlf = i + 1 < text_.size() && text_[i + 1] == '\n';
            newLineEnding_ = crlf ? Ending::CrLf : Ending::Cr;
            break;
        }
    }

    // The first section of each name, where its body ends, and after which
    // line new keys go (the last key line of the body, duplicates included).
    // Keys in a later section of the same name are never read.
    std::uint32_t current = kNone;
    ForEachLine(0, text_.size(), [&](std::size_t begin, std::size_t length, std::size_t next) {
        if (length > kMaxIndexedLine) return;
        const std::string_view line(text_.data() + begin, length);
        const LineParts parts = Classify(line);
        if (parts.kind == Kind::Key) {
            if (current != kNone) sections_[current].insertAt = next;
            return;
        }
        if (parts.kind != Kind::Section) return;
        if (current != kNone) sections_[current].end = begin;
        const std::string_view name = parts.Name(line);
        if (FindSection(name) != kNone) {
            current = kNone;
            return;
        }
        current = static_cast<std::uint32_t>(sections_.size());
        sections_.push_back({begin, text_.size(), next, static_cast<std::uint32_t>(length), false});
        Insert(sectionIndex_, HashName(name), current);
    });
}

void IniFile::IndexKeys(std::uint32_t section) const {
    const SectionLine& s = sections_[section];
    const std::size_t body = static_cast<std::size_t>(s.begin) + s.length;
    ForEachLine(body, static_cast<std::size_t>(s.end),
                [&](std::size_t begin, std::size_t length, std::size_t) {
                    if (length > kMaxIndexedLine) return;
                    const std::string_view line(text_.data() + begin, length);
                    const LineParts parts = Classify(line);
                    if (parts.kind != Kind::Key) return;
                    const std::string_view name = parts.Name(line);
                    if (FindKey(section, name) != kNone) return;
                    const auto key = static_cast<std::uint32_t>(keys_.size());
                    keys_.push_back({begin, static_cast<std::uint32_t>(length), section});
                    Insert(keyIndex_, HashKey(section, name), key);
                });
}

std::string_view IniFile::LineText(std::uint64_t begin, std::uint32_t length) const {
    return std::string_view(text_).substr(static_cast<std::size_t>(begin), length);
}

std::string_view IniFile::SectionName(std::uint32_t section) const {
    const SectionLine& s = sections_[section];
    const std::string_view line = LineText(s.begin, s.length);
    return Classify(line).Name(line);
}

std::string_view IniFile::KeyName(std::uint32_t key) const {
    const KeyLine& k = keys_[key];
    const std::string_view line = LineText(k.begin, k.length);
    return Classify(line).Name(line);
}

std::string_view IniFile::OriginalValue(std::uint32_t key) const {
    const KeyLine& k = keys_[key];
    const std::string_view line = LineText(k.begin, k.length);
    return Classify(line).Value(line);
}

void IniFile::Insert(NameIndex& index, std::uint64_t hash, std::uint32_t value) {
    // At most half full, so that a miss ends soon.
    if ((index.count + 1) * 2 > index.slots.size()) {
        std::vector<std::uint64_t> old = std::move(index.slots);
        index.slots.assign(old.empty() ? 16 : old.size() * 2, 0);
        const std::size_t mask = index.slots.size() - 1;
        for (std::uint64_t slot : old) {
            if (slot == 0) continue;
            std::size_t i = (slot >> 32) & mask;
            while (index.slots[i] != 0) i = (i + 1) & mask;
            index.slots[i] = slot;
        }
    }
    const std::uint64_t upper = hash >> 32;
    const std::size_t mask = index.slots.size() - 1;
    std::size_t i = upper & mask;
    while (index.slots[i] != 0) i = (i + 1) & mask;
    index.slots[i] = upper << 32 | (std::uint64_t{value} + 1);
    ++index.count;
}

template <typename Matches>
std::uint32_t IniFile::Find(const NameIndex& index, std::uint64_t hash, Matches&& matches) {
    if (index.slots.empty()) return kNone;
    const std::uint64_t upper = hash >> 32;
    const std::size_t mask = index.slots.size() - 1;
    for (std::size_t i = upper & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = index.slots[i];
        if (slot == 0) return kNone;
        const auto value = static_cast<std::uint32_t>(slot & 0xFFFFFFFFu) - 1;
        if ((slot >> 32) == upper && matches(value)) return value;
    }
}

std::uint32_t IniFile::FindSection(std::string_view name) const {
    return Find(sectionIndex_, HashName(name),
                [&](std::uint32_t s) { return NamesMatch(SectionName(s), name); });
}

std::uint32_t IniFile::FindKey(std::uint32_t section, std::string_view name) const {
    if (!sections_[section].keysIndexed) {
        // Set first: IndexKeys looks keys up to keep only the first of a name.
        sections_[section].keysIndexed = true;
        IndexKeys(section);
    }
    return Find(keyIndex_, HashKey(section, name), [&](std::uint32_t k) {
        return keys_[k].section == section && NamesMatch(KeyName(k), name);
    });
}

// --- values ------------------------------------------------------------------

std::optional<std::string> IniFile::TextToUtf8(std::string_view text) const {
    if (encoding_ == Encoding::Cp932) return Cp932ToUtf8(text);
    if (!IsUtf8(text)) return std::nullopt;
    return std::string(text);
}

std::string IniFile::EncodeValue(std::string_view value) const {
    const bool cp932 = encoding_ == Encoding::Cp932;
    const bool plainShape = !value.starts_with(kEscapeMarker) && !HasLineBreak(value) &&
                            (value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
    if (plainShape) {
        if (!cp932 && IsUtf8(value)) return std::string(value);
        if (cp932) {
            if (std::optional<std::string> bytes = ExactCp932(value)) return std::move(*bytes);
        }
    }

    std::string out(kEscapeMarker);
    out.reserve(out.size() + value.size() * 3);
    while (!value.empty()) {
        const auto first = static_cast<unsigned char>(value.front());
        const std::size_t length = Utf8SequenceLength(value);
        const bool control = first < 0x20 || first == 0x7F || first == '%';
        if (length == 0 || control) {
            AppendEscaped(out, first);
            value.remove_prefix(1);
            continue;
        }
        const std::string_view character = value.substr(0, length);
        if (!cp932) {
            out.append(character);
        } else if (std::optional<std::string> bytes = ExactCp932(character)) {
            out.append(*bytes);
        } else {
            for (char c : character) AppendEscaped(out, static_cast<unsigned char>(c));
        }
        value.remove_prefix(length);
    }
    // A blank at the end would be lost to the trimming of the reader.
    if (out.back() == ' ') {
        out.pop_back();
        AppendEscaped(out, ' ');
    }
    return out;
}

std::string IniFile::EncodeCp932(std::string_view value) { return Parse({}).EncodeValue(value); }

std::optional<std::string> IniFile::DecodeCp932(std::string_view stored) {
    return Parse({}).DecodeValue(stored);
}

std::optional<std::string> IniFile::DecodeValue(std::string_view stored) const {
    if (!stored.starts_with(kEscapeMarker)) return TextToUtf8(stored);
    const std::optional<std::string> text = TextToUtf8(stored.substr(kEscapeMarker.size()));
    if (!text) return std::nullopt;
    // No multi-byte character of cp932 or UTF-8 holds the byte "%".
    std::string value;
    value.reserve(text->size());
    for (std::size_t i = 0; i < text->size(); ++i) {
        if ((*text)[i] != '%') {
            value.push_back((*text)[i]);
            continue;
        }
        if (i + 2 >= text->size()) return std::nullopt;
        const int high = HexDigit((*text)[i + 1]);
        const int low = HexDigit((*text)[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        value.push_back(static_cast<char>(high << 4 | low));
        i += 2;
    }
    return value;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    const std::uint32_t s = FindSection(section);
    if (s != kNone) {
        const std::uint32_t k = FindKey(s, key);
        if (k != kNone) {
            if (const auto it = replaced_.find(keys_[k].begin); it != replaced_.end()) {
                return DecodeValue(it->second.value);
            }
            return DecodeValue(OriginalValue(k));
        }
        if (const auto it = appended_.find(s); it != appended_.end()) {
            for (const AddedKey& added : it->second) {
                if (NamesMatch(added.name, key)) return DecodeValue(added.value);
            }
        }
        return std::nullopt;
    }
    for (const AddedSection& added : addedSections_) {
        if (!NamesMatch(added.name, section)) continue;
        for (const AddedKey& addedKey : added.keys) {
            if (NamesMatch(addedKey.name, key)) return DecodeValue(addedKey.value);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (HasLineBreak(section) || section.find(']') != npos) return false;
    if (key.empty() || HasLineBreak(key) || key.find('=') != npos || key.front() == '[' ||
        key.front() == ';') {
        return false;
    }
    if (encoding_ != Encoding::Cp932 && !(IsUtf8(section) && IsUtf8(key))) return false;
    std::string stored = EncodeValue(value);

    auto setIn = [&](std::vector<AddedKey>& keys) {
        for (AddedKey& added : keys) {
            if (NamesMatch(added.name, key)) {
                added.value = std::move(stored);
                return;
            }
        }
        keys.push_back({std::string(key), std::move(stored)});
    };

    const std::uint32_t s = FindSection(section);
    if (s != kNone) {
        const std::uint32_t k = FindKey(s, key);
        if (k == kNone) {
            setIn(appended_[s]);
            return true;
        }
        const std::uint64_t at = keys_[k].begin;
        const auto it = replaced_.find(at);
        const std::string_view current =
            it != replaced_.end() ? it->second.value : OriginalValue(k);
        // An unchanged value keeps its line as it is, blanks included.
        if (current != stored) replaced_[at] = {k, std::move(stored)};
        return true;
    }
    for (AddedSection& added : addedSections_) {
        if (NamesMatch(added.name, section)) {
            setIn(added.keys);
            return true;
        }
    }
    addedSections_.push_back({std::string(section), {{std::string(key), std::move(stored)}}});
    return true;
}

// --- writing -----------------------------------------------------------------

std::string_view IniFile::EndingBytes() const {
    switch (newLineEnding_) {
        case Ending::CrLf:
            return "\r\n";
        case Ending::Cr:
            return "\r";
        case Ending::Lf:
        case Ending::None:
            break;
    }
    return "\n";
}

std::string IniFile::Serialize() const {
    const std::string_view ending = EndingBytes();
    std::string out(encoding_ == Encoding::Utf8Bom ? kUtf8Bom : std::string_view());
    const std::size_t start = out.size();
    out.reserve(start + text_.size() +
                64 * (replaced_.size() + appended_.size() + addedSections_.size()));
    std::size_t cursor = 0;
    auto copyUpTo = [&](std::size_t pos) {
        out.append(text_, cursor, pos - cursor);
        cursor = pos;
    };
    auto addLine = [&](std::string_view a, std::string_view b, std::string_view c) {
        // Only the file's last line can lack an ending; it gets one first.
        if (out.size() > start && out.back() != '\n' && out.back() != '\r') out.append(ending);
        out.append(a).append(b).append(c).append(ending);
    };

    // Edits in file order: replacements are ordered by offset, sections by
    // index (which is file order), and a section's keys all lie before its
    // insertion point.
    auto replaced = replaced_.begin();
    auto appended = appended_.begin();
    while (replaced != replaced_.end() || appended != appended_.end()) {
        std::size_t replacedAt = npos;
        if (replaced != replaced_.end()) {
            const KeyLine& key = keys_[replaced->second.key];
            replacedAt = static_cast<std::size_t>(key.begin) +
                         Classify(LineText(key.begin, key.length)).valueBegin;
        }
        const std::size_t appendedAt =
            appended != appended_.end()
                ? static_cast<std::size_t>(sections_[appended->first].insertAt)
                : npos;
        if (replacedAt < appendedAt) {
            const KeyLine& key = keys_[replaced->second.key];
            copyUpTo(replacedAt);
            // The old value goes with any blanks after it.
            out.append(replaced->second.value);
            cursor = static_cast<std::size_t>(key.begin) + key.length;
            ++replaced;
        } else {
            copyUpTo(appendedAt);
            for (const AddedKey& key : appended->second) addLine(key.name, "=", key.value);
            ++appended;
        }
    }
    copyUpTo(text_.size());
    for (const AddedSection& section : addedSections_) {
        addLine("[", section.name, "]");
        for (const AddedKey& key : section.keys) addLine(key.name, "=", key.value);
    }

    if (encoding_ != Encoding::Utf16LeBom && encoding_ != Encoding::Utf16BeBom) return out;
    const bool bigEndian = encoding_ == Encoding::Utf16BeBom;
    // Every piece is WTF-8 (the parsed text) or UTF-8 (names and values
    // checked or escaped on writing), so the conversion cannot fail.
    std::optional<std::string> units = Wtf8ToUtf16(out, bigEndian);
    std::string bytes(bigEndian ? kUtf16BeBom : kUtf16LeBom);
    bytes.append(units.value_or(std::string()));
    bytes.append(oddByte_);
    return bytes;
}

Status IniFile::Save(const std::filesystem::path& path) const {
    return WriteFileAtomically(path, Serialize());
}

IniFile IniFile::Load(const std::filesystem::path& path, Status* status) {
    if (status) *status = Status::Ok();
    auto refuse = [&](std::string_view reason) {
        if (status) {
            *status = Status::Error("ファイルを読み込めません。\n" + path.string() + "\n" +
                                    std::string(reason));
        }
        return IniFile();
    };

    FileContent file = ReadRegularFile(path, kMaxFileSize);
    if (file.kind == FileLookup::Kind::Missing) return {};
    if (file.kind == FileLookup::Kind::Refused) return refuse(file.reason);
    return FromBytes(std::move(file.bytes));
}

}  // namespace wexal
