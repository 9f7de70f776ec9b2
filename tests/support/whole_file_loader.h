#pragma once

#include <cstdint>
#include <string>

#include "platform/message_service.h"

namespace wexal {

// The whole-file loader the view and the send used before they streamed: the
// tests' reference for the bytes a program's text must have.
inline constexpr std::int64_t kViewCharLimit = 150'000'000;

struct ViewLoad {
    std::string text;  // the bytes as they went into the view (cp932, unconverted)
    std::int64_t size = 0;
    // Why the file could not be read at all (gone, unreadable, no regular
    // file), or "" when it could.
    std::string problem;
};

// dirPath/name whole, with the file's size. A file that cannot be opened, is
// no regular file or whose size cannot be had gives {"", 0} and the reason in
// problem, without a message; a file over limit is refused with a message. A
// file that is empty or starts with NUL brings the format question; Yes reads
// it line by line, as text: a CR LF line end loses its CR, NUL bytes are left
// out, and a line longer than 500 bytes comes as pieces of at most 500. A file
// taken whole keeps its bytes but its NULs, which are tape fill wherever they stand.
ViewLoad LoadFileIntoView(const std::string& dirPath, const std::string& name,
                          MessageService& messages, std::int64_t limit = kViewCharLimit);

}  // namespace wexal
