#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace wexal {

// A profile (INI) file read and edited the way the Windows profile calls do
// it, while keeping every byte that is not edited.
//
// Lines: "[name]" opens a section (text after the first "]" is ignored);
// "key=value" is a key of the section above it; anything else (comments,
// blank lines, garbage, keys before the first section) is kept but never
// read. Names match without regard to ASCII letter case or surrounding blanks
// and tabs; values lose their surrounding blanks and tabs on read; the first
// matching section and the first matching key in it win. Lines end in LF,
// CR LF or a lone CR. Names are raw bytes (ASCII in practice); values are
// cp932 on disk and UTF-8 at this interface.
class IniFile {
public:
    // Never fails; Serialize() of an unedited parse returns the input bytes.
    static IniFile Parse(std::string_view bytes);
    // A missing, unreadable, non-regular or oversized (> kMaxFileSize) file
    // gives an empty IniFile.
    static IniFile Load(const std::filesystem::path& path);

    static constexpr std::uintmax_t kMaxFileSize = 64u * 1024u * 1024u;

    // nullopt when the section or key is missing or the stored value is not
    // valid cp932, so that the caller takes its default.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;

    // Replaces the value of an existing key in its line; a new key goes after
    // the last key of its section, a new section to the end of the file.
    // Returns false, changing nothing, when the value cannot be encoded in
    // cp932 or holds a line break, or when a name cannot be written so that it
    // reads back (empty key, line break, "=" in a key, "]" in a section).
    bool Write(std::string_view section, std::string_view key, std::string_view utf8Value);

    std::string Serialize() const;
    Status Save(const std::filesystem::path& path) const;

private:
    enum class Kind : std::uint8_t { Other, Section, Key };
    enum class Ending : std::uint8_t { None, Lf, CrLf, Cr };

    struct Line {
        std::string text;  // without its line ending
        Ending ending = Ending::None;
        Kind kind = Kind::Other;
        // Section: the trimmed name. Key: the trimmed key name and the
        // trimmed value, as offsets into text.
        std::size_t nameBegin = 0;
        std::size_t nameEnd = 0;
        std::size_t valueBegin = 0;
        std::size_t valueEnd = 0;

        std::string_view Name() const;
        std::string_view Value() const;
    };

    static Line Classify(std::string text, Ending ending);
    static std::string_view EndingBytes(Ending ending);
    // Index of the header line of the first matching section, or npos.
    std::size_t FindSection(std::string_view name) const;
    // Index of the first matching key line of the section at sectionLine, or npos.
    std::size_t FindKey(std::size_t sectionLine, std::string_view key) const;
    void Insert(std::size_t index, std::string text);

    std::vector<Line> lines_;
    Ending newLineEnding_ = Ending::Lf;  // the file's own, for lines added
};

}  // namespace wexal
