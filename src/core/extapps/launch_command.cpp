#include "extapps/launch_command.h"

#include <array>

#include "platform/launch_program.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

constexpr std::array<std::string_view, 4> kPlaceholders = {"$A", "$B", "$C", "$D"};

std::string WithoutExtension(std::string_view path) {
    const std::string extension = PathRules::Extension(path);
    return std::string(path.substr(0, path.size() - extension.size()));
}

// One pass over the text: what goes in is never searched again, so a "$C"
// inside a file name stays as it is.
std::string ReplacePlaceholders(std::string_view text, std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (std::string_view placeholder : kPlaceholders) {
            if (text.substr(i, placeholder.size()) == placeholder) {
                out.append(value);
                i += placeholder.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

std::string OverviewLines(const Settings& settings, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        text += "ALT+";
        text += static_cast<char>('A' + i);
        text += " : " + settings.OutApp[i].Name + "\n";
    }
    return text;
}

}  // namespace

FilePlaceholders PlaceholdersOf(std::string_view folder, std::string_view fileName) {
    FilePlaceholders values;
    values.fullPath = PathRules::Join(folder, fileName);
    values.fullPathNoExt = WithoutExtension(values.fullPath);
    values.fileName = std::string(fileName);
    values.fileNameNoExt = WithoutExtension(fileName);
    return values;
}

std::string PrefillArgument(std::string_view command, const FilePlaceholders& values) {
    const std::array<const std::string*, 4> byPlaceholder = {
        &values.fullPath, &values.fullPathNoExt, &values.fileName, &values.fileNameNoExt};
    std::string argument;
    for (std::size_t i = 0; i < kPlaceholders.size(); ++i) {
        if (command.find(kPlaceholders[i]) != std::string_view::npos) argument = *byPlaceholder[i];
    }
    return argument;
}

std::string CommandProgram(std::string_view command) {
    std::vector<std::string> words = SplitCommandLine(command);
    return words.empty() ? std::string() : std::move(words.front());
}

std::vector<std::string> ArgumentDialogCommand(std::string_view command,
                                               std::string_view argument) {
    std::vector<std::string> words = SplitCommandLine(command);
    if (words.empty()) return words;
    if (argument.empty()) words.resize(1);
    for (std::string& word : words) word = ReplacePlaceholders(word, argument);
    return words;
}

std::string AltOverviewLeft(const Settings& settings) {
    return "ｴﾃﾞｨﾀｰ: " + settings.EditApp + "\n" + OverviewLines(settings, 0, 13);
}

std::string AltOverviewRight(const Settings& settings) {
    return OverviewLines(settings, 13, settings.OutApp.size());
}

std::string QuoteProgramPath(std::string_view path) {
    if (path.find_first_of(" \t\"'") == std::string_view::npos) return std::string(path);
    const char quote = path.find('"') == std::string_view::npos ? '"' : '\'';
    return quote + std::string(path) + quote;
}

}  // namespace wexal
