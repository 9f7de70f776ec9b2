#include "serial/transfer_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/error_text.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr const char* kIdeographicSpace = "\u3000";

// Writes all of bytes; false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

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

Status Failure(const std::filesystem::path& file, int error) {
    return Status::Error("通信ログに書き込めません。\n" + file.string() + "\n" +
                         SystemErrorText(error));
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
    std::tm local{};
    localtime_r(&when, &local);
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
    const std::string line = WithCrLf(ForFile(entry));
    int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
    std::string bytes = line;
    if (fd < 0) {
        if (errno != ENOENT) return Failure(file_, errno);
        // O_EXCL: of two writers only one writes the header.
        fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) {
            fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
        } else if (fd >= 0) {
            bytes = Header() + line;
        }
        if (fd < 0) return Failure(file_, errno);
    }
    int error = WriteAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    return error == 0 ? Status::Ok() : Failure(file_, error);
}

std::string TransferLog::ReadForView() const {
    if (::access(file_.c_str(), F_OK) != 0) (void)Append("");
    const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::string text = Cp932ToUtf8Lossy(bytes);
    std::string view;
    view.reserve(text.size());
    for (char c : text) {
        if (c != '\r') view += c;
    }
    return view;
}

}  // namespace wexal
