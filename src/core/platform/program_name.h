#pragma once

namespace wexal {

// The caption of a box that names none, the head of every line on standard
// error, and the stem of the settings, log and lock files, whatever the
// command is called ("Wexal" in a build tree, "wexal" installed).
inline constexpr const char* kProgramName = "Wexal";

}  // namespace wexal
