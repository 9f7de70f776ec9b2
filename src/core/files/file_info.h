#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace wexal {

// What the file information dialog shows of one entry and what it may change.
// Only the entry's status is read, never its contents.

inline constexpr std::string_view kFolderTypeLine = "種類 :　　　ﾌｧｲﾙ ﾌｫﾙﾀﾞ";
inline constexpr std::string_view kFolderSizeLine = "サイズ :　　0";
inline constexpr std::string_view kTypeLinePrefix = "種類 :　　　";
inline constexpr std::string_view kPlaceLinePrefix = "場所 :　　　";

struct EntryInfo {
    bool exists = false;
    bool isFolder = false;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    // The attributes as POSIX has them: read-only is the owner's write bit
    // cleared, hidden a leading dot. There is no archive or system bit.
    bool readOnly = false;
    bool hidden = false;
};

// The entry at path (name is its last component); a link is taken as what it
// leads to, a link that leads nowhere as itself.
EntryInfo ReadEntryInfo(const std::string& path, std::string_view name);

// The size line of a file: "サイズ :　　500ﾊﾞｲﾄ", "… 2.000KB (2,048ﾊﾞｲﾄ)",
// and the MB and GB forms above 1 MiB and 1 GiB. Sizes are 64-bit.
std::string FileInfoSizeLine(std::uint64_t size);

// The type of a file the desktop knows nothing about: its extension without
// the dot, upper-cased, and " ﾌｧｲﾙ" ("XYZ ﾌｧｲﾙ"); "ﾌｧｲﾙ" without one.
std::string FallbackTypeText(std::string_view name);

// NC part programs: the desktop's G-code type, and the names the package's
// type definition gives it (one list, set in the build).
inline constexpr std::string_view kNcProgramMimeType = "text/x.gcode";
inline constexpr std::string_view kNcProgramTypeText = "NC ﾌｧｲﾙ";
// The extensions without their dots, lower case: "nc", "tap", ...
const std::vector<std::string>& NcProgramExtensions();
// Whether the name ends in one of them, in any case ("O1000.NC").
bool IsNcProgramName(std::string_view name);

// The six time fields (year, month, day, hour, minute, second) of a time in
// local time: "2005", "03", "04", "12", "34", "56".
using TimeFieldTexts = std::array<std::string, 6>;
TimeFieldTexts TimeFieldsOf(std::time_t time);

// The check of one time field, tag 1 (year) to 6 (second): nullopt when the
// text is valid, else the message to show.
std::optional<std::string> CheckTimeField(int tag, std::string_view text);

// The fields as a local time. nullopt when that day or time does not exist
// (2005/02/30, or an hour skipped by a daylight-saving change); *badTag then
// names the field to blame (3, the day, or 4, the hour).
std::optional<std::time_t> LocalTimeOfFields(const TimeFieldTexts& fields, int* badTag);

// The message for fields that name no existing time.
std::string NoSuchTimeMessage(const TimeFieldTexts& fields);

// What 更新 asks for: the new modification time (nullopt: the time fields
// were not edited) and the read-only box (nullopt: not changed).
struct EntryChange {
    std::optional<std::time_t> modified;
    std::optional<bool> readOnly;
};

// Applies the change to the entry at path, the time first, then the
// attributes. An entry that is gone is left alone without a word; every
// other failure is in the result, with what else could be done done.
Status ApplyEntryChange(const std::string& path, const EntryChange& change);

}  // namespace wexal
