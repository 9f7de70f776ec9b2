#include "nctools/split_programs.h"

#include <charconv>
#include <set>

#include "config/ini_file.h"
#include "files/program_names.h"
#include "nctools/same_file.h"
#include "platform/atomic_file.h"
#include "platform/text_lines.h"

namespace wexal {

namespace {

constexpr std::string_view kSection = "Sub";

bool ReadFlag(const IniFile& ini, std::string_view key) {
    const std::optional<std::string> value = ini.Read(kSection, key);
    if (!value) return false;
    long number = 0;
    const char* first = value->data();
    const char* last = first + value->size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, number);
    return error == std::errc() && end == last && number != 0;
}

void AddLine(std::string& buffer, std::string_view line) {
    buffer += line;
    buffer += "\r\n";
}

}  // namespace

SplitOptions LoadSplitOptions(const std::filesystem::path& path) {
    const IniFile ini = IniFile::Load(path);
    return {ReadFlag(ini, "F_Set"), ReadFlag(ini, "B_Set"), ReadFlag(ini, "N_Set")};
}

Status SaveSplitOptions(const std::filesystem::path& path, const SplitOptions& options) {
    IniFile ini = IniFile::Load(path);
    ini.Write(kSection, "F_Set", options.F_Set ? "1" : "0");
    ini.Write(kSection, "B_Set", options.B_Set ? "1" : "0");
    ini.Write(kSection, "N_Set", options.N_Set ? "1" : "0");
    return ini.Save(path);
}

ToolResult SplitPrograms(std::string_view text, const SplitOptions& options,
                         std::string_view extension, const SplitWrite& write,
                         const ProgramFound& found, ToolProgress* progress) {
    const std::size_t lineCount = progress != nullptr ? CountLines(text) : 0;
    ToolResult result;
    std::string buffer;
    std::string current;  // the file the buffer belongs to
    std::size_t index = 0;
    bool stopped = false;
    ForEachLine(text, [&](std::string_view line) {
        ++index;
        if (IsProgramNumberLine(line)) {
            if (found) found(line, result.count);
            if (result.count > 0) {
                if (options.B_Set) AddLine(buffer, "%");
                if (Status written = write(current, buffer); !written) {
                    result = {ToolOutcome::Failed, written.message, result.count};
                    stopped = true;
                    return false;
                }
                buffer.clear();
            }
            current = ProgramFileName(line, options.N_Set ? result.count + 1 : 0, extension);
            if (options.F_Set) AddLine(buffer, "%");
            ++result.count;
        }
        if (line.empty() || line[0] != '%') AddLine(buffer, line);
        if (!ReportProgress(progress, index, lineCount)) {
            result.outcome = ToolOutcome::Cancelled;
            stopped = true;
            return false;
        }
        return true;
    });
    if (stopped) return result;
    if (result.count == 0) return {ToolOutcome::NothingFound, {}, 0};
    if (options.B_Set) AddLine(buffer, "%");
    if (Status written = write(current, buffer); !written) {
        return {ToolOutcome::Failed, written.message, result.count};
    }
    return result;
}

std::vector<std::string> SplitFileNames(std::string_view text, const SplitOptions& options,
                                        std::string_view extension) {
    std::vector<std::string> names;
    ForEachLine(text, [&](std::string_view line) {
        if (IsProgramNumberLine(line)) {
            const int serial = options.N_Set ? static_cast<int>(names.size()) + 1 : 0;
            names.push_back(ProgramFileName(line, serial, extension));
        }
        return true;
    });
    return names;
}

ToolResult SplitIntoFolder(std::string_view text, const SplitOptions& options,
                           std::string_view extension, const std::filesystem::path& folder,
                           const std::filesystem::path& source, const ProgramFound& found,
                           ToolProgress* progress) {
    const std::vector<std::string> names = SplitFileNames(text, options, extension);
    for (const std::string& name : std::set<std::string>(names.begin(), names.end())) {
        const std::filesystem::path path = folder / name;
        if (IsSameFile(path, source)) {
            return {ToolOutcome::Refused,
                    "分割後のﾌｧｲﾙが分割元のﾌｧｲﾙと同じになります。\n" + path.string(), 0};
        }
    }
    const SplitWrite write = [&](const std::string& name, std::string_view bytes) {
        return WriteFileAtomically(folder / name, bytes, LinkMode::Replace);
    };
    return SplitPrograms(text, options, extension, write, found, progress);
}

}  // namespace wexal
