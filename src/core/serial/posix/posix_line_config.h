#pragma once

#include "serial/line_settings.h"

namespace wexal {

// The part of a line record the Linux kernel keeps in its terminal settings:
// rate, frame, parity check, XON/XOFF characters and switches, CTS flow.
// Both put the line in raw mode (no echo, no line editing, no character
// mapping) and read one byte at a time. Return 0 or the errno of the failure.
int WriteKernelLineSettings(int fd, const LineSettings& settings);
int ReadKernelLineSettings(int fd, LineSettings& settings);

}  // namespace wexal
