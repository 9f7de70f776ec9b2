#include "support/whole_file_loader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <string_view>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/path_rules.h"
#include "platform/unique_fd.h"
#include "programs/program_text.h"

namespace wexal {

namespace {

void Refuse(MessageService& messages, const char* reason, const std::string& path) {
    messages.Tell(std::string(reason) + "\n" + path, DefaultCaption(MessageIcon::Error),
                  MessageIcon::Error);
}

constexpr const char* kNotAFile = "通常のファイルではありません。";

ViewLoad Unreadable(std::string problem) {
    ViewLoad load;
    load.problem = std::move(problem);
    return load;
}

// Reads up to bytes.size() bytes; a file that shrank meanwhile yields less.
bool ReadAll(int fd, std::string& bytes) {
    std::size_t got = 0;
    while (got < bytes.size()) {
        const auto n =
            ReadFileAt(fd, bytes.data() + got, bytes.size() - got, static_cast<std::int64_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return true;
}

// A NUL can not stand in the view; on tape it is blank leader, so it is left out
// rather than cutting the piece short.
void AppendPiece(std::string& text, std::string_view piece) {
    std::string kept;
    kept.reserve(piece.size());
    for (char c : piece) {
        if (c != '\0') kept += c;
    }
    if (kept.empty()) return;
    if (!text.empty()) text += '\n';
    text += kept;
}

std::string LineByLine(std::string_view bytes) {
    std::string text;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t feed = bytes.find('\n', start);
        const std::size_t end = feed == std::string_view::npos ? bytes.size() : feed;
        std::string_view line = bytes.substr(start, end - start);
        // Read as text, a CR LF line end is one line end; a CR left in the view
        // would go onto the wire.
        if (feed != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        for (std::size_t at = 0; at < line.size(); at += kLinePieceLimit) {
            AppendPiece(text, line.substr(at, kLinePieceLimit));
        }
        start = end + 1;
    }
    return text;
}

}  // namespace

ViewLoad LoadFileIntoView(const std::string& dirPath, const std::string& name,
                          MessageService& messages, std::int64_t limit) {
    const std::string path = PathRules::Join(dirPath, name);
    // Non-blocking: a FIFO under the name must not hang the window in open().
    const UniqueFd file(OpenFile(Utf8Path(path), O_RDONLY | kOpenNonBlock));
    if (file.get() < 0) return Unreadable(SystemErrorText(errno));
    const std::optional<FileStatus> info = StatFile(file.get());
    if (!info) return Unreadable(SystemErrorText(errno));
    if (info->type != FileStatus::Type::Regular) {
        return Unreadable(info->type == FileStatus::Type::Directory ? SystemErrorText(EISDIR)
                                                                    : kNotAFile);
    }

    ViewLoad load;
    load.size = info->size;
    if (load.size > limit) {
        Refuse(messages, "ファイルが大きすぎるため読み込めません。", path);
        return {};
    }
    try {
        std::string bytes(static_cast<std::size_t>(load.size), '\0');
        if (!ReadAll(file.get(), bytes)) {
            Refuse(messages, "ファイルを読み込めません。", path);
            return {};
        }
        if (!bytes.empty() && bytes.front() != '\0') {
            // NUL is tape leader and fill, not text: cutting the view at the
            // first one would send half a program and call it done.
            std::erase(bytes, '\0');
            load.text = std::move(bytes);
            return load;
        }
        if (messages.AskYesNo(kFormatQuestion, DefaultCaption(MessageIcon::Warning),
                              MessageIcon::Warning)) {
            load.text = LineByLine(bytes);
        }
    } catch (const std::bad_alloc&) {
        Refuse(messages, "ファイルが大きすぎるため読み込めません。", path);
        return {};
    } catch (const std::length_error&) {
        Refuse(messages, "ファイルが大きすぎるため読み込めません。", path);
        return {};
    }
    if (load.size == 0) load.text.clear();
    return load;
}

}  // namespace wexal
