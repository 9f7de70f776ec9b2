#include "dnc/remote_request.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/text_codec.h"
#include "platform/unique_fd.h"
#include "programs/program_names.h"

namespace wexal {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '-' || c == '_';
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// The character of text that starts at `at`, printable.
std::string CharacterAt(std::string_view text, std::size_t at) {
    const std::size_t length = Utf8SequenceLength(text.substr(at));
    return PrintableText(text.substr(at, length == 0 ? 1 : length));
}

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
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        why = "フォルダを含む名前は使えません。";
        return {};
    }
    const auto bad = std::find_if(name.begin(), name.end(), [](char c) { return !IsNameCharacter(c); });
    if (bad != name.end()) {
        why = "名前に使えない文字「" + CharacterAt(name, static_cast<std::size_t>(bad - name.begin())) +
              "」が有ります。使えるのは半角の英数字と「.」「-」「_」です。";
        return {};
    }
    // Hidden files (the receive's unfinished ones among them), "." and "..".
    if (name.front() == '.') {
        why = "「.」で始まる名前は使えません。";
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

std::string FindRequestedFile(const std::string& folder, const std::string& fileName,
                              std::string& why) {
    why.clear();
    std::vector<std::string> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(Utf8Path(folder), error), end; !error && it != end;
         it.increment(error)) {
        std::string name = PathText(it->path().filename());
        if (SameIgnoringAsciiCase(name, fileName)) found.push_back(std::move(name));
    }
    if (error) {
        why = "送信フォルダを読めません。" + SystemErrorText(error.default_error_condition().value());
        return {};
    }
    if (found.empty()) {
        why = "ファイルが有りません。";
        return {};
    }
    if (found.size() > 1) {
        std::sort(found.begin(), found.end());
        why = "大文字と小文字だけが違うファイル";
        for (const std::string& name : found) why += "「" + name + "」";
        why += "が有り、どれを送るか決められません。";
        return {};
    }
    return found.front();
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
