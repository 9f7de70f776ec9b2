#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "files/program_text.h"
#include "platform/message_service.h"
#include "platform/status.h"

namespace wexal {

// The most bytes the whole-text loader below takes; a larger file is refused.
// The view and the send stream (LoadProgram) and have no limit.
inline constexpr std::int64_t kViewCharLimit = 150'000'000;

// A file opened for the view (V, F8) and the send (F1): the spec's
// LoadFileIntoView, which puts the file into the view RichEdit1 and returns
// its size, made for programs of any size. Nothing of the file is held: the
// text is read from the open file through a line index built in the
// background, so this returns after the first block, whatever the size.
struct ProgramLoad {
    // The text, or null when there is none to show (a file that could not be
    // opened, an empty file, No to the format question).
    std::shared_ptr<const ProgramText> program;
    std::int64_t size = 0;
    // Why the file could not be read at all (gone, unreadable, no regular
    // file), or "" when it could.
    std::string problem;
};

// Opens dirPath/name, holding it open from now on. A file that cannot be
// opened, is no regular file or whose size cannot be had gives {null, 0} and
// the reason in problem, without a message. A file that is empty or starts
// with NUL brings the format question; Yes reads it line by line (see
// ProgramReading), No leaves nothing to show but reports the size. Any other
// file is taken whole, without its NULs.
ProgramLoad LoadProgram(const std::string& dirPath, const std::string& name,
                        MessageService& messages);

struct ViewLoad {
    std::string text;  // the bytes as they go into the view (cp932, unconverted)
    std::int64_t size = 0;
    // Why the file could not be read at all (gone, unreadable, no regular
    // file), or "" when it could.
    std::string problem;
};

// The whole-text loader of old, for the NC tools until they read their
// sources as streams; the bytes it gives are the ones LoadProgram's text has.
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
