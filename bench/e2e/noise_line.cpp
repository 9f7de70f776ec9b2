// A line that carries only noise, for bench/e2e/dnc_soak.sh: a pseudo-terminal
// (raw, 19200 baud) with a symbolic link to its slave. Once the PC has the
// port open, random bytes go out at BYTES_PER_S for SECONDS, whatever the PC
// sends back (DC4, XOFF) is read and ignored, as a loose cable would. Prints
// the bytes written, then removes the link. SAVE_FILE keeps the bytes, so that
// what the server made of them can be tried again.
// Usage: noise_line LINK BYTES_PER_S SECONDS [SAVE_FILE]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// True while the PC has the slave open (the master hangs up otherwise).
bool PeerOpen(int master, std::chrono::milliseconds wait) {
    pollfd fd{master, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(wait.count())) < 0) return false;
    if (fd.revents & POLLIN) {
        char sink[256];
        while (::read(master, sink, sizeof sink) > 0) {
        }
    }
    const bool open = (fd.revents & (POLLHUP | POLLERR)) == 0;
    // A hung-up master answers poll at once: wait out the time instead.
    if (!open) std::this_thread::sleep_for(wait);
    return open;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fputs("usage: noise_line LINK BYTES_PER_S SECONDS [SAVE_FILE]\n", stderr);
        return 2;
    }
    const std::string link = argv[1];
    const double rate = std::atof(argv[2]);
    const double seconds = std::atof(argv[3]);
    FILE* save = argc == 5 ? std::fopen(argv[4], "wb") : nullptr;
    if (argc == 5 && save == nullptr) {
        std::perror(argv[4]);
        return 1;
    }
    constexpr double waitOpen = 30;
    if (rate <= 0 || seconds <= 0) {
        std::fputs("noise_line: rate and seconds must be above 0\n", stderr);
        return 2;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("noise_line: pseudo-terminal");
        return 1;
    }
    const char* slave = ::ptsname(master);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // Raw at the line's speed; opening and closing the slave once also puts
    // the master in the hang-up state that means "nobody has the port".
    const int fd = ::open(slave, O_RDWR | O_NOCTTY);
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
        std::perror("noise_line: slave");
        return 1;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&settings, B19200);
    ::tcsetattr(fd, TCSANOW, &settings);
    ::close(fd);
    ::unlink(link.c_str());
    if (::symlink(slave, link.c_str()) != 0) {
        std::perror("noise_line: link");
        return 1;
    }

    const auto openBy = Clock::now() + std::chrono::duration<double>(waitOpen);
    bool open = false;
    while (!open && Clock::now() < openBy) open = PeerOpen(master, std::chrono::milliseconds(50));
    long long written = 0;
    if (open) {
        std::mt19937 random(static_cast<unsigned>(Clock::now().time_since_epoch().count()));
        const auto start = Clock::now();
        const auto end = start + std::chrono::duration<double>(seconds);
        long long owed = 0;  // bytes of the time the port was closed: not made up for
        bool peer = true;
        while (Clock::now() < end) {
            // Bytes due by now at the rate; a full pty just waits for the PC.
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            const long long due = static_cast<long long>(elapsed * rate) - written - owed;
            if (!peer) {
                owed += due;
            } else {
                for (long long i = 0; i < due; ++i) {
                    const unsigned char byte = static_cast<unsigned char>(random());
                    if (::write(master, &byte, 1) != 1) break;
                    if (save) std::fputc(byte, save);
                    ++written;
                }
            }
            // The PC may close and reopen the port meanwhile: the noise goes on.
            peer = PeerOpen(master, std::chrono::milliseconds(10));
        }
    }
    ::unlink(link.c_str());
    ::close(master);
    if (save) std::fclose(save);
    std::printf("%lld\n", written);
    return open ? 0 : 1;
}
