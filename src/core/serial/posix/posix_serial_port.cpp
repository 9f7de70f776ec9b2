#include "serial/posix/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "platform/error_text.h"
#include "serial/deadline.h"
#include "serial/posix/posix_io.h"
#include "serial/posix/posix_line_config.h"

namespace wexal {

namespace {

using posix_io::IsLineGone;

// How long input that keeps coming gathers in the driver before the next
// look: at 19200 baud about 190 bytes, one wake-up instead of 190.
constexpr int kGatherMs = 100;
// A write that waits for the line looks this often whether its transfer is ending.
constexpr int kLookMs = 100;
constexpr int kDrainLookMs = 20;

Status SystemError(const std::string& device, int error) {
    return Status::Error(device + ": " + SystemErrorText(error), error);
}

IoStatus FailureOf(int error) { return IsLineGone(error) ? IoStatus::LineLost : IoStatus::Failed; }

// Unprivileged, opening a port that another program holds with TIOCEXCL fails
// with EBUSY. Root is let through, so it has to ask whether the flag is set.
bool HeldExclusivelyElsewhere(int fd) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)fd;
    return false;
#endif
}

bool HasOnly(short revents, short wanted) {
    return (revents & wanted) != 0 && (revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

}  // namespace

PosixSerialPort::~PosixSerialPort() { Close(); }

Status PosixSerialPort::Open(const std::string& device) {
    Close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return SystemError(device, errno);
    int error = 0;
    if (isatty(fd) != 1) {
        error = ENOTTY;
    } else if (HeldExclusivelyElsewhere(fd)) {
        error = EBUSY;
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::close(fd);
        return SystemError(device, error);
    }
    fd_ = fd;
    exclusive_ = true;
    device_ = device;
    record_ = LineSettings{};
    timeouts_ = Timeouts{};
    ReadKernelLineSettings(fd_, record_);
    return Status::Ok();
}

void PosixSerialPort::Close() {
    DropBuffered();
    inputFlowing_ = false;
    if (fd_ < 0) return;
    DrainOutput();
    // The flag outlives this descriptor while others hold the device open.
    if (exclusive_) ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    exclusive_ = false;
}

std::optional<LineSettings> PosixSerialPort::GetSettings() {
    if (fd_ < 0) return std::nullopt;
    LineSettings settings = record_;
    if (ReadKernelLineSettings(fd_, settings) != 0) return std::nullopt;
    return settings;
}

Status PosixSerialPort::SetSettings(const LineSettings& settings) {
    if (fd_ < 0) return SystemError(device_, EBADF);
    if (settings.baud <= 0 || settings.dataBits < 5 || settings.dataBits > 8) {
        return SystemError(device_, EINVAL);
    }
    if (const int error = WriteKernelLineSettings(fd_, settings); error != 0) {
        return SystemError(device_, error);
    }
    if (Status lines = SetControlLines(settings); !lines) return lines;
    record_ = settings;
    return Status::Ok();
}

// Linux has no DTR or RTS handshake of its own (CRTSCTS would also stop our
// output on CTS), so a line under handshake is simply held on.
Status PosixSerialPort::SetControlLines(const LineSettings& settings) {
    int on = 0;
    int off = 0;
    (settings.dtrControl == LineControl::Disable ? off : on) |= TIOCM_DTR;
    (settings.rtsControl == LineControl::Disable ? off : on) |= TIOCM_RTS;
    if (ioctl(fd_, TIOCMBIS, &on) == 0 && ioctl(fd_, TIOCMBIC, &off) == 0) return Status::Ok();
    // A pseudo-terminal has no modem lines to drive.
    if (errno == ENOTTY || errno == EINVAL) return Status::Ok();
    return SystemError(device_, errno);
}

Status PosixSerialPort::SetTimeouts(const Timeouts& timeouts) {
    if (fd_ < 0) return SystemError(device_, EBADF);
    timeouts_ = timeouts;
    return Status::Ok();
}

// The kernel's buffers have a fixed size; there is nothing to ask for.
Status PosixSerialPort::SetQueueSizes(int, int) {
    return fd_ < 0 ? SystemError(device_, EBADF) : Status::Ok();
}

Status PosixSerialPort::Purge(PurgeQueues queues) {
    if (fd_ < 0) return SystemError(device_, EBADF);
    const int which = queues == PurgeQueues::Input    ? TCIFLUSH
                      : queues == PurgeQueues::Output ? TCOFLUSH
                                                      : TCIOFLUSH;
    if (tcflush(fd_, which) != 0) return SystemError(device_, errno);
    if (queues != PurgeQueues::Output) DropBuffered();
    return Status::Ok();
}

std::optional<ModemStatus> PosixSerialPort::GetModemStatus() {
    int lines = 0;
    if (fd_ < 0 || ioctl(fd_, TIOCMGET, &lines) != 0) return std::nullopt;
    ModemStatus status;
    status.cts = (lines & TIOCM_CTS) != 0;
    status.dsr = (lines & TIOCM_DSR) != 0;
    status.ring = (lines & TIOCM_RNG) != 0;
    status.rlsd = (lines & TIOCM_CAR) != 0;
    return status;
}

QueueStatus PosixSerialPort::GetQueueStatus() {
    QueueStatus status;
    if (fd_ < 0) {
        status.status = IoStatus::Failed;
    } else if (ioctl(fd_, TIOCOUTQ, &status.outputQueued) != 0 ||
               ioctl(fd_, TIOCINQ, &status.inputQueued) != 0) {
        status.status = FailureOf(errno);
    } else {
        status.inputQueued += static_cast<int>(inputEnd_ - inputNext_);
    }
    return status;
}

std::optional<std::uint8_t> PosixSerialPort::TakeBuffered() {
    while (inputNext_ < inputEnd_) {
        const std::uint8_t byte = input_[inputNext_++];
        if (byte != 0 || !record_.discardNul) return byte;
    }
    return std::nullopt;
}

ReadResult PosixSerialPort::ReadByteWithin(std::optional<int> waitMs) {
    if (fd_ < 0) return {IoStatus::Failed, 0};
    const Deadline deadline(waitMs);
    while (true) {
        if (const std::optional<std::uint8_t> byte = TakeBuffered()) return {IoStatus::Ok, *byte};
        const int left = deadline.RemainingMs().value_or(-1);
        if (inputFlowing_ && left != 0) {
            inputFlowing_ = false;
            const int pause = left < 0 ? kGatherMs : std::min(left, kGatherMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, deadline.RemainingMs().value_or(-1));
        if (ready < 0 && errno != EINTR) return {FailureOf(errno), 0};
        if (ready > 0) {
            if ((p.revents & POLLNVAL) != 0) return {IoStatus::Failed, 0};
            const ssize_t got = ::read(fd_, input_.data(), input_.size());
            // Bytes read win over a hang-up reported with them; the call after the last sees it.
            if (got > 0) {
                inputNext_ = 0;
                inputEnd_ = static_cast<std::size_t>(got);
                inputFlowing_ = inputEnd_ < input_.size();
                continue;
            }
            if (got == 0) return {IoStatus::LineLost, 0};
            if (errno != EAGAIN && errno != EINTR) return {FailureOf(errno), 0};
            if ((p.revents & (POLLHUP | POLLERR)) != 0) return {IoStatus::LineLost, 0};
        }
        if (ready == 0) return {IoStatus::TimedOut, 0};
    }
}

IoStatus PosixSerialPort::WriteByte(std::uint8_t byte) { return WriteBytes(&byte, 1); }

// A send's run of bytes in one call. The driver nearly always has room:
// write first, wait only when it has none.
IoStatus PosixSerialPort::WriteBytes(const std::uint8_t* bytes, std::size_t count) {
    if (fd_ < 0) return IoStatus::Failed;
    lastWriteWaitMs_ = 0;
    std::optional<LineWait> wait;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd_, bytes + done, count - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) return FailureOf(errno);
        if (!wait) wait.emplace(OneByteWriteWait(timeouts_), *this);
        const int slice = wait->NextMs(kLookMs);
        lastWriteWaitMs_ = wait->ElapsedMs();
        if (slice == 0) return IoStatus::TimedOut;
        pollfd p{fd_, POLLOUT, 0};
        const int ready = poll(&p, 1, slice);
        if (ready < 0 && errno != EINTR) return FailureOf(errno);
        if (ready > 0) {
            if ((p.revents & POLLNVAL) != 0) return IoStatus::Failed;
            if (!HasOnly(p.revents, POLLOUT)) return IoStatus::LineLost;
        }
    }
    return IoStatus::Ok;
}

// The kernel's close waits up to half a minute for output that cannot go out
// (CTS low, the peer's XOFF). Output that moves is let go (the DC4 of an
// abort still reaches the NC); output that stands still is discarded.
void PosixSerialPort::DrainOutput() {
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued == 0) return;
    const Deadline ending(kEndingDrainMs);
    LineWait stall(kDrainStallMs, *this);
    while (queued > 0) {
        const int slice = stall.NextMs(kDrainLookMs);
        if (slice == 0 || (Ending() && ending.RemainingMs() == 0)) break;
        poll(nullptr, 0, slice);
        int now = 0;
        if (ioctl(fd_, TIOCOUTQ, &now) != 0) break;
        if (now == 0) return;
        if (now < queued) stall.Restart();
        queued = now;
    }
    tcflush(fd_, TCOFLUSH);
}

}  // namespace wexal
