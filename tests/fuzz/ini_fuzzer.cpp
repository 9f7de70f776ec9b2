#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "config/settings_keys.h"
#include "platform/text_codec.h"

namespace {

using wexal::IniFile;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

struct Name {
    std::string section;
    std::string key;
};

// Every settings key, and a few of the external-application file.
const std::vector<Name>& KnownKeys() {
    static const std::vector<Name> keys = [] {
        std::vector<Name> all;
        for (const wexal::SettingsEntry& entry : wexal::kMainEntries) {
            all.push_back({std::string(entry.section), std::string(entry.key)});
        }
        for (const char* key : {"EditApp", "OutAppA", "OutAppA_F", "OutAppZ_N"}) {
            all.push_back({"Application", key});
        }
        return all;
    }();
    return keys;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::vector<std::optional<std::string>> ReadKnown(const IniFile& ini) {
    std::vector<std::optional<std::string>> values;
    for (const Name& name : KnownKeys()) values.push_back(ini.Read(name.section, name.key));
    return values;
}

// A key written with its own value is reported written and reads back alike.
void RewriteKnownValues(IniFile ini, const std::vector<std::optional<std::string>>& before) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (!before[i]) continue;
        const Name& name = KnownKeys()[i];
        Check(ini.Write(name.section, name.key, *before[i]));
        Check(ini.Read(name.section, name.key) == before[i]);
    }
    Check(ReadKnown(ini) == before);
}

void CheckCodec(std::string_view bytes) {
    const std::optional<std::string> utf8 = wexal::Cp932ToUtf8(bytes);
    const std::string lossy = wexal::Cp932ToUtf8Lossy(bytes);
    Check(wexal::Cp932Width(lossy) >= lossy.size() / 3);
    if (!utf8) return;
    Check(lossy == *utf8);
    Check(wexal::Cp932Width(*utf8) == bytes.size());
    const std::optional<std::string> again = wexal::Utf8ToCp932(*utf8);
    Check(again.has_value() && wexal::Cp932ToUtf8(*again) == utf8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string section = provider.ConsumeRandomLengthString(16);
    const std::string key = provider.ConsumeRandomLengthString(16);
    const std::string rawValue = provider.ConsumeRandomLengthString(64);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    CheckCodec(rawValue);

    IniFile ini = IniFile::Parse(text);
    Check(ini.Serialize() == text);
    const std::vector<std::optional<std::string>> before = ReadKnown(ini);
    RewriteKnownValues(ini, before);

    // Every value can be written and reads back exactly: text, text that the
    // file's encoding cannot hold, and bytes that are not UTF-8 at all. Only
    // a name can be refused, and then nothing changes.
    const std::string value =
        rawValue.size() % 2 == 0 ? wexal::Cp932ToUtf8Lossy(rawValue) : rawValue;
    {
        IniFile plainNames = ini;
        Check(plainNames.Write("Fuzz", "Value", value));
        Check(plainNames.Read("Fuzz", "Value") == value);
    }
    const std::string unchanged = ini.Serialize();
    if (!ini.Write(section, key, value)) {
        Check(ini.Serialize() == unchanged);
        return 0;
    }
    Check(ini.Read(section, key) == value);

    const std::vector<std::optional<std::string>> after = ReadKnown(ini);
    for (std::size_t i = 0; i < before.size(); ++i) {
        const Name& name = KnownKeys()[i];
        if (SameName(name.section, section) && SameName(name.key, key)) continue;
        Check(after[i] == before[i]);
    }

    // What was written parses back to the same file and values.
    const std::string saved = ini.Serialize();
    const IniFile reparsed = IniFile::Parse(saved);
    Check(reparsed.Serialize() == saved);
    Check(reparsed.Read(section, key) == ini.Read(section, key));
    Check(ReadKnown(reparsed) == after);
    return 0;
}
