#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
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
// CR LF or a lone CR. Names are raw bytes (ASCII in practice).
//
// Text on disk: cp932, or, after a byte-order mark, UTF-8 or UTF-16 (little
// or big endian), as the platform's profile calls read them. A file keeps
// its mark and its encoding when written. Values are UTF-8 (or any bytes) at
// this interface and read back exactly as written: a value that the file's
// text cannot hold exactly (not cp932 both ways, a line break, surrounding
// blanks, or starting with kEscapeMarker) is stored as kEscapeMarker followed
// by the value with "%", control characters, a final blank and every
// character the text cannot hold written as "%XX" per byte (hex, upper case).
//
// Cost: parsing is linear in the file's size and keeps the bytes once plus a
// small record per distinct section; the keys of a section are indexed when
// it is first looked up. Look-ups are hashed. Edits are kept beside the
// parsed bytes (a search among them is linear: meant for the few tens of
// keys a program writes), and Serialize is linear in the output.
class IniFile {
public:
    enum class Encoding : std::uint8_t { Cp932, Utf8Bom, Utf16LeBom, Utf16BeBom };

    static constexpr std::string_view kEscapeMarker = "%u8%";
    static constexpr std::uintmax_t kMaxFileSize = 64u * 1024u * 1024u;

    // Never fails; Serialize() of an unedited parse returns the input bytes.
    static IniFile Parse(std::string_view bytes);

    // A value as a cp932 file stores it, and back; the history lists keep
    // their entries in this form too. nullopt: not a stored form.
    static std::string EncodeCp932(std::string_view value);
    static std::optional<std::string> DecodeCp932(std::string_view stored);

    // A missing file gives an empty IniFile. A file that exists but cannot be
    // read (no permission, larger than kMaxFileSize, a folder, a device, a
    // FIFO, a link to anything but a regular file, an I/O error) also gives an
    // empty IniFile, and `status`, when given, says so:
    // "ファイルを読み込めません。\n<path>\n<reason>".
    static IniFile Load(const std::filesystem::path& path, Status* status = nullptr);

    // nullopt when the section or key is missing or the stored value is not
    // valid in the file's encoding, so that the caller takes its default.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;

    // Replaces the value of an existing key in its line; a new key goes after
    // the last key of its section, a new section to the end of the file.
    // Every value can be written. Returns false, changing nothing, only when a
    // name cannot be written so that it reads back (empty key, line break,
    // "=" in a key, "]" in a section, not UTF-8 in a UTF file).
    bool Write(std::string_view section, std::string_view key, std::string_view value);

    std::string Serialize() const;
    Status Save(const std::filesystem::path& path) const;

    Encoding encoding() const { return encoding_; }

private:
    enum class Ending : std::uint8_t { None, Lf, CrLf, Cr };

    // The first section of each name, in file order.
    struct SectionLine {
        std::uint64_t begin = 0;     // offset of the header line in text_
        std::uint64_t end = 0;       // offset of the next header line (any), or the text's end
        std::uint64_t insertAt = 0;  // where new keys go: after its last key line or the header
        std::uint32_t length = 0;    // of the header line without its ending
        mutable bool keysIndexed = false;  // its keys are indexed when first looked for
    };
    // The first key of each name in such a section.
    struct KeyLine {
        std::uint64_t begin = 0;
        std::uint32_t length = 0;
        std::uint32_t section = 0;  // index into sections_
    };
    struct AddedKey {
        std::string name;
        std::string value;  // as stored
    };
    struct AddedSection {
        std::string name;
        std::vector<AddedKey> keys;
    };
    struct Replacement {
        std::uint32_t key = 0;
        std::string value;  // as stored
    };
    // Open addressing: each slot holds the upper half of the name's hash and
    // the record's index + 1 (0: empty), so that a probe rarely touches text_.
    struct NameIndex {
        std::vector<std::uint64_t> slots;
        std::size_t count = 0;
    };

    static IniFile FromBytes(std::string&& bytes);
    // Calls f(begin, length, next) for each non-empty line in [from, to);
    // length excludes the ending, next is where the following line begins.
    template <typename F>
    void ForEachLine(std::size_t from, std::size_t to, F&& f) const;
    void Index();
    void IndexKeys(std::uint32_t section) const;
    std::string_view LineText(std::uint64_t begin, std::uint32_t length) const;
    std::string_view SectionName(std::uint32_t section) const;
    std::string_view KeyName(std::uint32_t key) const;
    std::string_view OriginalValue(std::uint32_t key) const;
    // Index of the first section or key of that name, or kNone.
    std::uint32_t FindSection(std::string_view name) const;
    std::uint32_t FindKey(std::uint32_t section, std::string_view name) const;
    static void Insert(NameIndex& index, std::uint64_t hash, std::uint32_t value);
    template <typename Matches>
    static std::uint32_t Find(const NameIndex& index, std::uint64_t hash, Matches&& matches);

    std::string EncodeValue(std::string_view value) const;
    std::optional<std::string> DecodeValue(std::string_view stored) const;
    std::optional<std::string> TextToUtf8(std::string_view text) const;
    std::string_view EndingBytes() const;

    // The file's text after its byte-order mark; UTF-16 as WTF-8, so that
    // lines, names and values are found the same way in every encoding.
    std::string text_;
    std::string oddByte_;  // the last byte of a UTF-16 file of odd length
    Encoding encoding_ = Encoding::Cp932;
    Ending newLineEnding_ = Ending::Lf;  // the file's own, for lines added

    std::vector<SectionLine> sections_;
    NameIndex sectionIndex_;
    // Filled section by section on the first look-up, so that a large file
    // costs only the sections that are read or written. Not thread-safe.
    mutable std::vector<KeyLine> keys_;
    mutable NameIndex keyIndex_;

    std::map<std::uint64_t, Replacement> replaced_;            // key line offset -> new value
    std::map<std::uint32_t, std::vector<AddedKey>> appended_;  // section -> new keys
    std::vector<AddedSection> addedSections_;
};

}  // namespace wexal
