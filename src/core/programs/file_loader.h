#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/message_service.h"
#include "platform/status.h"
#include "programs/program_text.h"

namespace wexal {

// A file opened for the view (V, F8) and the send (F1), for programs of any
// size. Nothing of the file is held: the
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

// Creates path and every missing folder above it. false, creating nothing,
// when path is not absolute (a relative or Windows path, "C:", "C:\") or is
// the root; true otherwise, also when a creation failed. error, when given,
// receives the errno of the first failed creation, else 0.
bool CreateFolderPath(const std::string& path, int* error = nullptr);

// A destination folder the operator agreed to create: CreateFolderPath, then
// a check that the folder is there; the error names the folder and why not.
Status CreateDestinationFolder(const std::string& folder);

}  // namespace wexal
