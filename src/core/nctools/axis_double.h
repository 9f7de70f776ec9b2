#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "nctools/tool_progress.h"
#include "nctools/tool_result.h"
#include "platform/message_service.h"
#include "revisions/revision_store.h"

namespace wexal {

// The letters whose words the doubling takes, in either case as typed.
inline constexpr std::string_view kAxisLetters = "XxYyZzIiJjKkUuVvWw";

// Twice the number text, written with `decimals` decimals (-1: none; 0 as
// 1; never fewer than the text has). The
// text is digits with at most one "." and a leading "-", blanks around it
// allowed; nullopt for anything else ("1-2", ".", " "). Exact: the source's
// digits are doubled as decimals, never through binary floating point. A zero
// result has no sign.
std::optional<std::string> DoubleNumberText(std::string_view numberText, int decimals);

// The line with its first word of axis (an upper-case letter) doubled,
// appended to out; the line as it stands when it has no such word or the
// word has no number. nullopt, out untouched, when the number cannot be read;
// badNumber then receives the number text.
//
// The number is the longest run of "0123456789.- " after the letter. One
// trailing blank stays outside the replaced part however many there are.
// Decimals: the number's length without its trailing blanks less the
// position of its "." (0 without one); -1 without "." and trailing blank.
// 0 decimals is written as 1, as "10." becomes "20.0".
bool DoubleAxisInLine(std::string_view line, char axis, std::string& out,
                      std::string* badNumber = nullptr);

// Every line of text, converted, with CR LF after each. Failed (nothing in
// out) at the first number that cannot be read; the message names it and
// its line.
ToolResult DoubleAxis(std::string_view text, char axis, std::string& out,
                      ToolProgress* progress = nullptr);

// The doubling of folder/sourceName, read as the transfer view reads it
// (with its question for a file that does not look like text), saved as
// folder/outputName, replacing a file of that name; a link of that name is
// replaced too, never written through; a file it replaces is kept as a
// revision as `revisions` says. Refused when the output would be the
// source itself. Nothing is saved unless every line converted and the source
// was read whole and unchanged.
ToolResult DoubleAxisIntoFile(char axis, const std::filesystem::path& folder,
                              const std::string& sourceName, const std::string& outputName,
                              MessageService& messages, ToolProgress* progress = nullptr,
                              const RevisionPolicy& revisions = {});

}  // namespace wexal
