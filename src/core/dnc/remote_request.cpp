#include "dnc/remote_request.h"

#include <unistd.h>

#include <cerrno>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/unique_fd.h"
#include "programs/program_names.h"

namespace wexal {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<RemoteRequest> ParseRemoteRequest(std::string_view line) {
    const std::size_t open = line.find('(');
    if (open == std::string_view::npos) return std::nullopt;
    std::string_view rest = line.substr(open + 1);
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    RemoteRequest request;
    if (rest.starts_with("REQ")) {
        rest.remove_prefix(3);
    } else if (rest.starts_with("DRIP")) {
        request.drip = true;
        rest.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    // "(REQUEST ...)" is a comment like any other.
    if (rest.empty() || !IsBlank(rest.front())) return std::nullopt;
    const std::size_t close = rest.find(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view name = rest.substr(0, close);
    while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    request.name = std::string(name);
    return request;
}

std::string RequestedFileName(const std::string& name, const std::string& mask, std::string& why) {
    why.clear();
    if (name.empty()) {
        why = "名前が有りません。";
        return {};
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            why = "名前に制御文字が有ります。";
            return {};
        }
    }
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name == "." || name.find("..") != std::string::npos) {
        why = "フォルダを含む名前は使えません。";
        return {};
    }
    if (name.find('.') != std::string::npos) return name;
    const std::string extension = MaskExtension(mask);
    // "*.*" and "*" give no extension to add.
    if (extension.empty() || extension.find('*') != std::string::npos || extension == ".") {
        return name;
    }
    return name + extension;
}

std::string WhyNotSendable(const std::string& path) {
    const std::optional<FileStatus> info = StatPath(Utf8Path(path), false);
    if (!info) return errno == ENOENT ? "ファイルが有りません。" : SystemErrorText(errno);
    if (info->type != FileStatus::Type::Regular) return "通常のファイルではありません。";
    // Non-blocking: whatever stands there now never holds the server up.
    UniqueFd fd(OpenFile(Utf8Path(path), O_RDONLY | kOpenNoFollow | kOpenNonBlock));
    if (!fd) return SystemErrorText(errno);
    char first = 0;
    const auto got = ::read(fd.get(), &first, 1);
    if (got < 0) return SystemErrorText(errno);
    if (got == 0) return "空のファイルです。";
    if (first == '\0') return "先頭がNULのファイルです。";
    return {};
}

}  // namespace wexal
