#pragma once

#include <cstdint>
#include <string>

#include "platform/message_service.h"
#include "platform/status.h"

namespace wexal {

// The most characters the transfer view takes; a larger file is refused.
inline constexpr std::int64_t kViewCharLimit = 150'000'000;

struct ViewLoad {
    std::string text;  // the bytes as they go into the view (cp932, unconverted)
    std::int64_t size = 0;
    // Why the file could not be read at all (gone, unreadable, no regular
    // file), or "" when it could.
    std::string problem;
};

// Loads dirPath/name for the transfer view and returns it with the file's size.
// A file that cannot be opened, is no regular file or whose size cannot be had
// gives {"", 0} and the reason in problem, without a message. A file that is empty or starts with NUL
// brings a question; Yes reads it line by line instead, as text: a CR LF line
// end loses its CR, NUL bytes are left out, and a line longer than 500 bytes
// comes as several pieces of at most 500. A file taken whole keeps its bytes
// but its NULs, which are tape fill wherever they stand.
ViewLoad LoadFileIntoView(const std::string& dirPath, const std::string& name,
                          MessageService& messages, std::int64_t limit = kViewCharLimit);

// Creates path and every missing folder above it. false, creating nothing,
// when path is not absolute (a relative or Windows path, "C:", "C:\") or is
// the root; true otherwise, also when a creation failed. error, when given,
// receives the errno of the first failed creation, else 0.
bool CreateFolderPath(const std::string& path, int* error = nullptr);

// A destination folder the operator agreed to create: CreateFolderPath, then
// a check that the folder is there; the error names the folder and why not.
Status CreateDestinationFolder(const std::string& folder);

}  // namespace wexal
