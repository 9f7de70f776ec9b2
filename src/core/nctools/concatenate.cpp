#include "nctools/concatenate.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/char_rules.h"
#include "nctools/same_file.h"
#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/text_lines.h"
#include "programs/program_stream.h"

namespace wexal {

namespace {

constexpr const char* kCannotRead = "ファイルを読み込めません。\n";
constexpr const char* kOutputIsInput = "この結合ﾌｧｲﾙ名は選択したﾌｧｲﾙに存在します。";

// No CR without an LF after it and no LF without a CR before it: the lines
// of the text already end in CR LF, apart from a last one without an end.
bool HasOnlyCrLfLines(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (n == 0) return true;
    if (p[0] == '\n' || p[n - 1] == '\r') return false;
    std::size_t k = 0;
    // Blocks of a fixed size without an early exit, which the compiler
    // turns into vector instructions: this check runs over every byte joined.
    constexpr std::size_t kStride = 64;
    for (; k + kStride < n; k += kStride) {
        unsigned bad = 0;
        for (std::size_t j = 0; j < kStride; ++j) {
            bad |= static_cast<unsigned>(p[k + j] == '\r') ^
                   static_cast<unsigned>(p[k + j + 1] == '\n');
        }
        if (bad != 0) return false;
    }
    for (; k + 1 < n; ++k) {
        if ((p[k] == '\r') != (p[k + 1] == '\n')) return false;
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
    if (text.empty() || (text.ends_with("\r\n") && HasOnlyCrLfLines(text))) {
        out += text;
        return;
    }
    ForEachLine(text, [&](std::string_view line) {
        out += line;
        out += "\r\n";
        return true;
    });
}

namespace {

// Every line of a text handed on in chunks, with CR LF after it, as
// AppendLines gives it for the whole. Text whose lines already end in CR LF
// goes out as it came.
class CrLfLines {
public:
    explicit CrLfLines(AtomicFileWriter& out) : out_(out) {}

    Status Feed(std::string_view chunk) {
        if (skipFeed_ && !chunk.empty()) {
            skipFeed_ = false;
            if (chunk.front() == '\n') chunk.remove_prefix(1);
        }
        if (chunk.empty()) return Status::Ok();
        // A CR that ends the chunk may have its LF in the next one.
        const bool endsWithReturn = chunk.back() == '\r';
        if (endsWithReturn) chunk.remove_suffix(1);
        Status written = HasOnlyCrLfLines(chunk) ? out_.Write(chunk) : Convert(chunk);
        if (written && endsWithReturn) written = out_.Write("\r\n");
        skipFeed_ = endsWithReturn;
        if (!chunk.empty() || endsWithReturn) {
            open_ = !endsWithReturn && chunk.back() != '\n' && chunk.back() != '\r';
        }
        return written;
    }

    // The last line, when the text does not end with a line end.
    Status Finish() { return open_ ? out_.Write("\r\n") : Status::Ok(); }

private:
    Status Convert(std::string_view chunk) {
        std::size_t at = 0;
        while (at < chunk.size()) {
            const TextLine line = LineAt(chunk, at);
            Status written = out_.Write(line.text);
            if (written && line.end != 0) written = out_.Write("\r\n");
            if (!written) return written;
            at = line.next;
        }
        return Status::Ok();
    }

    AtomicFileWriter& out_;
    bool skipFeed_ = false;
    bool open_ = false;  // text since the last line end
};

}  // namespace

ToolResult JoinFiles(const std::filesystem::path& folder, const std::vector<std::string>& names,
                     const std::string& outputName, MessageService& messages,
                     const JoinSelect& select, ToolProgress* progress,
                     const RevisionPolicy& revisions) {
    if (JoinOutputIsInput(folder, outputName, names)) {
        return {ToolOutcome::Refused, kOutputIsInput, 0};
    }
    // Nothing shows under the output's name until every file is in.
    AtomicFileWriter out;
    out.KeepRevisions(revisions);
    if (Status opened = out.Open(folder / outputName, LinkMode::Replace); !opened) {
        return {ToolOutcome::Failed, opened.message, 0};
    }
    ToolResult result;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (select) select(static_cast<int>(i));
        const std::filesystem::path path = folder / names[i];
        ProgramStream stream(path, messages);
        if (!stream.problem().empty()) {
            return {ToolOutcome::Failed, kCannotRead + path.string() + "\n" + stream.problem(),
                    result.count};
        }
        CrLfLines lines(out);
        Status written;
        const Status read = stream.ReadText([&](std::string_view chunk) {
            written = lines.Feed(chunk);
            return static_cast<bool>(written);
        });
        if (!read) return {ToolOutcome::Failed, read.message, result.count};
        if (written) written = lines.Finish();
        if (!written) return {ToolOutcome::Failed, written.message, result.count};
        ++result.count;
        if (progress != nullptr && !progress->Step(i + 1)) {
            return {ToolOutcome::Cancelled, {}, result.count};
        }
    }
    if (Status committed = out.Commit(); !committed) {
        return {ToolOutcome::Failed, committed.message, result.count};
    }
    return result;
}

}  // namespace wexal
