#pragma once

#include <string>

#include "platform/status.h"

namespace wexal {

// Removes a file, a symbolic link (the link itself, never what it points to)
// or a folder with everything in it. Links met inside a folder are removed as
// links, so nothing outside the folder is ever touched. A failure names the
// entry that could not be removed and why; what was removed before stays
// removed.
Status RemoveTree(const std::string& path);

}  // namespace wexal
