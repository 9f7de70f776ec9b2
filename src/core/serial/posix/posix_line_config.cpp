// The kernel's termios2 carries any baud rate (14400 has no B constant), but
// its header cannot share a file with <termios.h>; this file keeps to it.
#include "serial/posix/posix_line_config.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <utility>

namespace wexal {

namespace {

constexpr std::pair<int, unsigned> kStandardRates[] = {
    {300, B300},   {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

unsigned RateCode(int baud) {
    for (const auto& [rate, code] : kStandardRates) {
        if (rate == baud) return code;
    }
    return BOTHER;
}

int RateOf(const termios2& t) {
    const unsigned code = t.c_cflag & CBAUD;
    for (const auto& [rate, standard] : kStandardRates) {
        if (standard == code) return rate;
    }
    return static_cast<int>(t.c_ospeed);
}

tcflag_t SizeFlag(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

int SizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

int ErrnoOr(int result) { return result == 0 ? 0 : errno; }

}  // namespace

int WriteKernelLineSettings(int fd, const LineSettings& s) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;

    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                   IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
    if (s.parityCheck) t.c_iflag |= INPCK;
    if (s.outputXonXoff) t.c_iflag |= IXON;
    if (s.inputXonXoff) t.c_iflag |= IXOFF;

    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | IEXTEN);

    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | SizeFlag(s.dataBits) | RateCode(s.baud);
    if (s.stopBits != StopBits::One) t.c_cflag |= CSTOPB;
    if (s.parity != Parity::None) t.c_cflag |= PARENB;
    if (s.parity == Parity::Odd) t.c_cflag |= PARODD;
    if (s.ctsOutputFlow) t.c_cflag |= CRTSCTS;
    t.c_ispeed = t.c_ospeed = static_cast<speed_t>(s.baud);

    // Non-blocking reads then report "nothing yet" as EAGAIN, so a read of
    // zero bytes can only mean the line has hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = s.xonChar;
    t.c_cc[VSTOP] = s.xoffChar;
    return ErrnoOr(ioctl(fd, TCSETS2, &t));
}

int ReadKernelLineSettings(int fd, LineSettings& s) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    s.baud = RateOf(t);
    s.dataBits = SizeOf(t.c_cflag);
    s.parity = (t.c_cflag & PARENB) == 0   ? Parity::None
               : (t.c_cflag & PARODD) != 0 ? Parity::Odd
                                           : Parity::Even;
    // The kernel knows no 1.5: what was asked as 1.5 is on the wire as 2.
    s.stopBits = (t.c_cflag & CSTOPB) != 0 ? StopBits::Two : StopBits::One;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.outputXonXoff = (t.c_iflag & IXON) != 0;
    s.inputXonXoff = (t.c_iflag & IXOFF) != 0;
    s.ctsOutputFlow = (t.c_cflag & CRTSCTS) != 0;
    s.xonChar = t.c_cc[VSTART];
    s.xoffChar = t.c_cc[VSTOP];
    return 0;
}

}  // namespace wexal
