#pragma once

namespace wexal::posix_io {

// Errors that mean the device itself is gone rather than one call failing.
bool IsLineGone(int error);

}  // namespace wexal::posix_io
