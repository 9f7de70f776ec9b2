#include "nctools/concatenate.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "files/file_loader.h"
#include "nctools/same_file.h"
#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/text_lines.h"

namespace wexal {

namespace {

constexpr const char* kCannotRead = "ファイルを読み込めません。\n";
constexpr const char* kOutputIsInput = "この結合ﾌｧｲﾙ名は選択したﾌｧｲﾙに存在します。";

}  // namespace

std::string JoinOutputName(std::string_view typed, std::string_view extension) {
    std::string name(typed);
    if (typed.find(extension) == std::string_view::npos) name += extension;
    return name;
}

bool JoinOutputIsInput(const std::filesystem::path& folder, const std::string& outputName,
                       const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return name == outputName || IsSameFile(folder / outputName, folder / name);
    });
}

void AppendLines(std::string& out, std::string_view text) {
    ForEachLine(text, [&](std::string_view line) {
        out += line;
        out += "\r\n";
        return true;
    });
}

ToolResult JoinFiles(const std::filesystem::path& folder, const std::vector<std::string>& names,
                     const std::string& outputName, MessageService& messages,
                     const JoinSelect& select, ToolProgress* progress) {
    if (JoinOutputIsInput(folder, outputName, names)) {
        return {ToolOutcome::Refused, kOutputIsInput, 0};
    }
    std::string out;
    ToolResult result;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (select) select(static_cast<int>(i));
        const std::filesystem::path path = folder / names[i];
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return {ToolOutcome::Failed, kCannotRead + path.string() + "\n" + SystemErrorText(errno),
                    result.count};
        }
        const ViewLoad load = LoadFileIntoView(folder.string(), names[i], messages);
        // The loader says nothing about a file it could not open; a file that
        // had bytes and gave none was not read.
        if (load.size == 0 && info.st_size > 0) {
            return {ToolOutcome::Failed, kCannotRead + path.string(), result.count};
        }
        if (out.capacity() < out.size() + load.text.size()) {
            out.reserve(std::max(out.size() * 2, out.size() + load.text.size() * 9 / 8));
        }
        AppendLines(out, load.text);
        ++result.count;
        if (progress != nullptr && !progress->Step(i + 1)) {
            return {ToolOutcome::Cancelled, {}, result.count};
        }
    }
    if (Status written = WriteFileAtomically(folder / outputName, out); !written) {
        return {ToolOutcome::Failed, written.message, result.count};
    }
    return result;
}

}  // namespace wexal
