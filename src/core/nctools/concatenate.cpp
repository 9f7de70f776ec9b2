#include "nctools/concatenate.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/file_loader.h"
#include "files/input_line.h"
#include "nctools/same_file.h"
#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/text_lines.h"

namespace wexal {

namespace {

constexpr const char* kCannotRead = "ファイルを読み込めません。\n";
constexpr const char* kOutputIsInput = "この結合ﾌｧｲﾙ名は選択したﾌｧｲﾙに存在します。";

// Every line already ends in CR LF: the text is its own output.
bool HasOnlyCrLfLines(std::string_view text) {
    if (text.empty()) return true;
    if (!text.ends_with("\r\n")) return false;
    for (std::size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;) {
        if (text[at] != '\r' || at + 1 >= text.size() || text[at + 1] != '\n') return false;
        const std::size_t next = at + 2;
        const void* feed = std::memchr(text.data() + next, '\n', text.size() - next);
        const void* ret = std::memchr(text.data() + next, '\r', text.size() - next);
        if (feed == nullptr && ret == nullptr) return true;
        const char* first = static_cast<const char*>(ret != nullptr ? ret : feed);
        if (feed != nullptr && ret != nullptr) {
            first = std::min(static_cast<const char*>(feed), static_cast<const char*>(ret));
        }
        at = static_cast<std::size_t>(first - text.data());
    }
    return true;
}

}  // namespace

std::string JoinOutputName(std::string_view typed, std::string_view extension) {
    std::string name(typed);
    if (typed.find(extension) == std::string_view::npos) name += extension;
    return name;
}

std::optional<BoxMessage> RefusedJoinName(std::string_view typed) {
    for (const char c : typed) {
        // A NUL, which no key types, would cut the name short: refused as "/" is.
        const char32_t key = c == '\0' ? U'/' : static_cast<unsigned char>(c);
        if (std::optional<BoxMessage> box = RefusedChar(kFileNameNoDotRule, key)) return box;
    }
    return std::nullopt;
}

bool JoinOutputIsInput(const std::filesystem::path& folder, const std::string& outputName,
                       const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return name == outputName || IsSameFile(folder / outputName, folder / name);
    });
}

void AppendLines(std::string& out, std::string_view text) {
    if (HasOnlyCrLfLines(text)) {
        out += text;
        return;
    }
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
    std::uintmax_t total = 0;
    for (const std::string& name : names) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(folder / name, error);
        if (!error) total += size;
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(total));
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
    if (Status written = WriteFileAtomically(folder / outputName, out, LinkMode::Replace);
        !written) {
        return {ToolOutcome::Failed, written.message, result.count};
    }
    return result;
}

}  // namespace wexal
