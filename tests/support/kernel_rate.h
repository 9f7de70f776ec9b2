#pragma once

#include <optional>

namespace wexal::test {

// The rate a terminal runs at when it was set with BOTHER (a rate without a
// B constant, such as 14400), read with the kernel's termios2; nullopt when
// the terminal runs at one of the standard rates.
std::optional<unsigned> KernelArbitraryRate(int fd);

}  // namespace wexal::test
