#include "files/file_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/error_text.h"
#include "platform/path_rules.h"
#include "platform/unique_fd.h"

namespace wexal {

namespace {

constexpr std::size_t kPieceLimit = 500;

constexpr const char* kFormatQuestion =
    "ファイル形式が違います。\n"
    "そのまま読み込みは可能ですが、データの一部読み込めない可能性が有ります。\n"
    "読み込み開始は「はい(Y)」";

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
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
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
        for (std::size_t at = 0; at < line.size(); at += kPieceLimit) {
            AppendPiece(text, line.substr(at, kPieceLimit));
        }
        start = end + 1;
    }
    return text;
}

// 0 when path is a folder afterwards, else the reason.
int MakeFolder(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (mkdir(path.c_str(), 0777) == 0) return 0;
    const int failure = errno;
    if (failure == EEXIST) {
        return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    }
    return failure;
}

}  // namespace

ViewLoad LoadFileIntoView(const std::string& dirPath, const std::string& name,
                          MessageService& messages, std::int64_t limit) {
    const std::string path = PathRules::Join(dirPath, name);
    // O_NONBLOCK: a FIFO under the name must not hang the window in open().
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) return Unreadable(SystemErrorText(errno));
    struct stat info {};
    if (fstat(file.get(), &info) != 0) return Unreadable(SystemErrorText(errno));
    if (!S_ISREG(info.st_mode)) {
        return Unreadable(S_ISDIR(info.st_mode) ? SystemErrorText(EISDIR) : kNotAFile);
    }

    ViewLoad load;
    load.size = static_cast<std::int64_t>(info.st_size);
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

ProgramLoad LoadProgram(const std::string& dirPath, const std::string& name,
                        MessageService& messages) {
    const std::string path = PathRules::Join(dirPath, name);
    ProgramLoad load;
    std::shared_ptr<HeldProgramFile> file = HeldProgramFile::Open(path, load.problem);
    if (!file) return load;
    load.size = file->size();
    // The first byte decides how the file is read; a file cut to nothing
    // since the open reads as empty.
    char first = '\0';
    if (load.size > 0 && file->ReadAt(0, &first, 1) < 0) {
        Refuse(messages, "ファイルを読み込めません。", path + "\n" + SystemErrorText(errno));
        return {};
    }
    ProgramReading reading = ProgramReading::Whole;
    if (load.size == 0 || first == '\0') {
        if (!messages.AskYesNo(kFormatQuestion, DefaultCaption(MessageIcon::Warning),
                               MessageIcon::Warning)) {
            return load;
        }
        reading = ProgramReading::LineByLine;
    }
    auto program = std::make_shared<const ProgramText>(std::move(file), reading);
    if (!program->empty()) load.program = std::move(program);
    return load;
}

bool CreateFolderPath(const std::string& path, int* error) {
    if (error != nullptr) *error = 0;
    const std::string folder = PathRules::StripTrailingSeparator(path);
    if (!PathRules::IsCreatableFolder(folder)) return false;
    int first = 0;
    // Every level from the top down, so that each mkdir has its parent.
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != PathRules::kSeparator) continue;
        if (folder[at - 1] == PathRules::kSeparator) continue;
        const int failure = MakeFolder(folder.substr(0, at));
        if (first == 0) first = failure;
    }
    if (error != nullptr) *error = first;
    return true;
}

Status CreateDestinationFolder(const std::string& folder) {
    int error = 0;
    const bool creatable = CreateFolderPath(folder, &error);
    struct stat info {};
    if (creatable && error == 0 && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return Status::Ok();
    }
    return Status::Error("ディレクトリを作成できません。\n" + folder + "\n" +
                         (creatable ? SystemErrorText(error) : "フォルダが正しくありません。"));
}

}  // namespace wexal
