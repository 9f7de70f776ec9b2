#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace wexal {

// The values of the placeholders of an external application's command line
// for one selected file.
struct FilePlaceholders {
    std::string fullPath;       // $A: /home/op/nc/O1234.NC
    std::string fullPathNoExt;  // $B: /home/op/nc/O1234
    std::string fileName;       // $C: O1234.NC
    std::string fileNameNoExt;  // $D: O1234
};

FilePlaceholders PlaceholdersOf(std::string_view folder, std::string_view fileName);

// What the argument dialog starts with: the value of the placeholder the
// command holds, tested in the order $A, $B, $C, $D with the later one
// winning; empty when it holds none.
std::string PrefillArgument(std::string_view command, const FilePlaceholders& values);

// The program of a command line: its first word (quotes respected).
std::string CommandProgram(std::string_view command);

// What the argument dialog's OK starts: the command's words, in each of
// which every $A, $B, $C and $D stands for argument. The argument goes in as
// it is, inside its word: a file name with blanks, quotes, ";" or "$" stays
// one argument and is never read as a placeholder itself. With an empty
// argument only the program is started. Empty for an empty command.
std::vector<std::string> ArgumentDialogCommand(std::string_view command, std::string_view argument);

// The Alt overview: the editor and the letters A to M, then N to Z, one line
// each, every line ended by a line feed.
std::string AltOverviewLeft(const Settings& settings);
std::string AltOverviewRight(const Settings& settings);

// The pass-file flag counts only as "Y"; anything else is "N".
inline bool PassesFile(const OutAppEntry& entry) { return entry.PassFile == "Y"; }

// A path chosen in a file dialog as the program of a command line, quoted
// when it holds a blank or a quote so that it stays one word.
std::string QuoteProgramPath(std::string_view path);

}  // namespace wexal
