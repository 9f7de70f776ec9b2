#include "serial/port_probe.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "serial/port_names.h"

namespace wexal {

namespace {

std::string UpperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Another process holding the port exclusively makes the open fail with EBUSY,
// except for a privileged caller, whom the kernel lets through. Such a caller
// must not take the flag away from its owner with TIOCNXCL, so it asks first.
bool ProbeExclusive(int fd) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return false;
#endif
    if (ioctl(fd, TIOCEXCL) != 0) return false;
    ioctl(fd, TIOCNXCL);
    return true;
}

}  // namespace

bool IsPortUsable(int number, const Settings& settings,
                  const std::filesystem::path& programFolder) {
    if (number < kFirstPortNumber || number > kLastPortNumber) return false;

    const std::string device = ResolvePortDevice(number, programFolder);
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool usable = isatty(fd) == 1 && ProbeExclusive(fd);
    close(fd);
    if (!usable) return false;

    const std::string name = "COM" + std::to_string(number);
    return name != UpperAscii(settings.ModemePort1) && name != UpperAscii(settings.ModemePort2);
}

}  // namespace wexal
