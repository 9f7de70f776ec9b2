#include "serial/transfer_log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/text_codec.h"
#include "platform/unique_fd.h"

namespace wexal {

namespace {

constexpr const char* kIdeographicSpace = "\u3000";

// Hundreds of thousands of transfers; a view of more would hold the window.
constexpr std::uintmax_t kViewLimit = 64u * 1024u * 1024u;

// LF line ends become CR LF; text already ending its lines in CR LF stays.
std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// cp932 where the text has a form there; a path that has none (file names
// are bytes here) keeps its own bytes rather than losing the entry.
std::string ForFile(std::string_view utf8) {
    if (std::optional<std::string> encoded = Utf8ToCp932(utf8)) return *encoded;
    return std::string(utf8);
}

Status Failure(const std::filesystem::path& file, const std::string& reason) {
    return Status::Error("通信ログに書き込めません。\n" + file.string() + "\n" + reason);
}

}  // namespace

std::string TransferLog::Header() {
    std::string rule;
    for (int i = 0; i < 37; ++i) rule += "\u2500";
    return ForFile("<<<<<\u3000\u3000\u3000通信ログ\u3000\u3000\u3000>>>>>\r\n"
                   "送受信\u3000状態\u3000日時\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000"
                   "\u3000送受信ファイル名\r\n" +
                   rule + "\r\n");
}

std::string TransferLog::Entry(Direction direction, Outcome outcome, std::time_t when,
                               std::string_view file) {
    const std::tm local = LocalTime(when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
    std::string entry = direction == Direction::Send ? "送信" : "受信";
    entry += kIdeographicSpace;
    entry += kIdeographicSpace;
    entry += outcome == Outcome::Completed ? "完了" : "中止";
    entry += kIdeographicSpace;
    entry += stamp;
    entry += kIdeographicSpace;
    entry += file;
    entry += '\n';
    return entry;
}

Status TransferLog::Append(std::string_view entry) const {
    if (!sharing_ || entry.empty()) return AppendLine(entry);
    std::string tagged(entry);
    const bool lineEnd = tagged.back() == '\n';
    if (lineEnd) tagged.pop_back();
    tagged += kIdeographicSpace;
    tagged += sharing_->tag;
    std::unique_lock<std::mutex> lock;
    if (sharing_->mutex) lock = std::unique_lock<std::mutex>(*sharing_->mutex);
    // The file first: whoever reads the journal line finds the entry on disk.
    const Status written = AppendLine(lineEnd ? tagged + '\n' : tagged);
    if (sharing_->echo) sharing_->echo(tagged);
    return written;
}

Status TransferLog::AppendLine(std::string_view entry) const {
    const std::string line = WithCrLf(ForFile(entry));
    UniqueFd fd;
    FileLookup log = OpenRegularFile(file_, O_WRONLY | O_APPEND, fd, LinkMode::FollowOwned);
    std::string bytes = line;
    if (log.kind == FileLookup::Kind::Missing) {
        // O_EXCL: of two writers only one writes the header, and a link that
        // appeared in the meantime is not followed.
        fd.Reset(OpenFile(file_, O_WRONLY | O_APPEND | O_CREAT | O_EXCL));
        if (fd) {
            bytes = Header() + line;
        } else if (errno == EEXIST) {
            log = OpenRegularFile(file_, O_WRONLY | O_APPEND, fd, LinkMode::FollowOwned);
        } else {
            return Failure(file_, SystemErrorText(errno));
        }
    }
    if (!fd) return Failure(file_, log.reason.empty() ? SystemErrorText(ENOENT) : log.reason);
    int error = WriteAll(fd.get(), bytes) ? 0 : errno;
    if (const int closeError = fd.Close(); error == 0) error = closeError;
    return error == 0 ? Status::Ok() : Failure(file_, SystemErrorText(error));
}

std::string TransferLog::ReadForView() const {
    if (!StatPath(file_, true) && errno == ENOENT) (void)Append("");
    const FileContent log = ReadRegularFile(file_, kViewLimit, LinkMode::FollowOwned);
    const std::string& bytes = log.bytes;
    std::string text = Cp932ToUtf8Lossy(bytes);
    std::string view;
    view.reserve(text.size());
    for (char c : text) {
        if (c != '\r') view += c;
    }
    return view;
}

}  // namespace wexal
