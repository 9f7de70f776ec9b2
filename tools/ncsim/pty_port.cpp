#include "pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace ncsim {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

speed_t SpeedConstant(int baud) {
    switch (baud) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

int BaudOf(speed_t speed) {
    for (int baud : {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        if (SpeedConstant(baud) == speed) return baud;
    }
    return 0;
}

// A master's termios calls act on the slave: this reads what the PC set.
std::string LineText(int master) {
    termios t{};
    if (::tcgetattr(master, &t) != 0) return {};
    const tcflag_t size = t.c_cflag & CSIZE;
    const int data = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    const char parity = (t.c_cflag & PARENB) == 0 ? 'N' : (t.c_cflag & PARODD) != 0 ? 'O' : 'E';
    return std::to_string(BaudOf(::cfgetospeed(&t))) + "," + std::to_string(data) + "," +
           parity + "," + ((t.c_cflag & CSTOPB) != 0 ? "2" : "1");
}

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return stopRequested != 0; }

PtyPort::~PtyPort() {
    RemoveLink();
    if (master_ >= 0) ::close(master_);
}

bool PtyPort::Open(const LineFormat& line, std::string& error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = Errno("grantpt/unlockpt");
        return false;
    }
    const char* name = ::ptsname(master_);
    if (name == nullptr) {
        error = Errno("ptsname");
        return false;
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Opening and closing the slave once also puts the master into the
    // hang-up state that tells "nobody has the port open".
    int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        error = Errno(name);
        return false;
    }
    termios settings{};
    bool ok = ::tcgetattr(slave, &settings) == 0;
    if (ok) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
        // A speed termios has no constant for (14400) keeps the default; the
        // pacing still uses the configured rate.
        if (speed_t speed = SpeedConstant(line.baud); speed != B0) ::cfsetspeed(&settings, speed);
        ok = ::tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    if (!ok) error = Errno("termios on the slave");
    ::close(slave);
    return ok;
}

Line::Events PtyPort::Wait(std::chrono::nanoseconds timeout, bool wantWrite) {
    if (timeout.count() < 0) timeout = {};
    pollfd fd{master_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
    timespec ts{static_cast<time_t>(timeout.count() / 1000000000),
                static_cast<long>(timeout.count() % 1000000000)};
    Events events;
    int n = ::ppoll(&fd, 1, &ts, nullptr);
    if (n < 0) {
        events.peerOpen = peerOpen_;
        return events;
    }
    const bool hangUp = (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    events.peerOpen = !hangUp;
    events.readable = (fd.revents & POLLIN) != 0;
    events.writable = !hangUp && (fd.revents & POLLOUT) != 0;
    peerOpen_ = events.peerOpen;
    if (peerOpen_) peerLine_ = LineText(master_);
    // With nobody on the slave the master reports the hang-up at once; wait
    // out the time here instead of spinning.
    if (hangUp && !events.readable) ::nanosleep(&ts, nullptr);
    return events;
}

void PtyPort::ReadAvailable(std::string& out) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;  // EAGAIN: drained; EIO: the slave closed and nothing is left
    }
}

size_t PtyPort::Write(std::string_view bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return written;
}

bool PtyPort::MakeLink(const std::string& linkPath, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        // A link left behind by a run that was killed is replaced; anything
        // else at that path is not ours to remove.
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
        error = Errno(linkPath.c_str());
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void PtyPort::RemoveLink() {
    if (linkPath_.empty()) return;
    char target[4096];
    ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slavePath_)
        ::unlink(linkPath_.c_str());
    linkPath_.clear();
}

}  // namespace ncsim
