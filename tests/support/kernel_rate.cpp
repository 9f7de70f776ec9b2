// Kept apart: the kernel's termios header cannot meet <termios.h>.
#include "support/kernel_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace wexal::test {

std::optional<unsigned> KernelArbitraryRate(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0 || (t.c_cflag & CBAUD) != BOTHER) return std::nullopt;
    return t.c_ospeed;
}

}  // namespace wexal::test
