#pragma once

#include <filesystem>
#include <string_view>

#include "platform/status.h"

namespace wexal {

// Replaces the file's content as a whole: the bytes go to a temporary file in
// the same folder, are flushed to the disk and renamed over the target, so a
// crash or a full disk leaves either the old or the new file, never a part.
// The target keeps its permission bits; a symbolic link is followed and its
// target replaced. On failure the old file is untouched, the temporary file
// is removed, and the message names the file and the reason.
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace wexal
