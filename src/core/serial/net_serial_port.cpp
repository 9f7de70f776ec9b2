#include "serial/net_serial_port.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/error_text.h"

namespace wexal {

namespace {

using Clock = NetSerialPort::Clock;
using std::chrono::milliseconds;

// The kernel raises this to its minimum (a few kilobytes); what matters is
// that no more than that waits in this computer.
constexpr int kSendBuffer = 1024;
constexpr int kKeepIdleSeconds = 2;
constexpr int kKeepIntervalSeconds = 1;
constexpr int kKeepCount = 3;
constexpr unsigned kUserTimeoutMs = 5000;
// Longest single wait inside a call, so the health checks keep running.
constexpr int kSliceMs = 100;
// Bytes a caller may leave with the port beyond what the kernel takes.
constexpr std::size_t kMaxPendingOutput = 4096;
// Of the port's buffers, what reading leaves free for the caller's bytes and
// the port's own commands, so that together they stay within the limit.
constexpr std::size_t kOwnOutputRoom = 2 * kMaxPendingOutput;
// What a held output reports as queued: more than the byte writer allows.
constexpr int kHeldQueue = 1 << 16;
constexpr milliseconds kCloseFlushLimit{1000};
constexpr milliseconds kCloseDrainLimit{300};
constexpr milliseconds kCloseStallLimit{250};

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> lengths;
};

// Names are looked up on a thread of their own, so a resolver that does not
// answer cannot hold the open past its limit; the thread ends by itself.
std::shared_ptr<Resolution> Resolve(const NetworkPortAddress& address, Clock::time_point deadline) {
    auto result = std::make_shared<Resolution>();
    std::thread([result, host = address.host, service = address.service] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        const std::lock_guard lock(result->mutex);
        result->error = error;
        for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
            sockaddr_storage storage{};
            std::memcpy(&storage, a->ai_addr, std::min<std::size_t>(a->ai_addrlen, sizeof storage));
            result->addresses.push_back(storage);
            result->lengths.push_back(a->ai_addrlen);
        }
        if (list != nullptr) ::freeaddrinfo(list);
        result->finished = true;
        result->done.notify_one();
    }).detach();
    std::unique_lock lock(result->mutex);
    if (!result->done.wait_until(lock, deadline, [&] { return result->finished; })) return nullptr;
    return result;
}

int ConnectOne(const sockaddr_storage& to, socklen_t length, Clock::time_point deadline,
               int& error) {
    const int fd = ::socket(to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), length) == 0) return fd;
    error = errno;
    if (error == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int ready = 0;
        do {
            ready = ::poll(&p, 1, RemainingMs(deadline));
        } while (ready < 0 && errno == EINTR);
        error = ETIMEDOUT;
        if (ready > 0) {
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
            if (error == 0) return fd;
        }
    }
    ::close(fd);
    return -1;
}

// A connected, non-blocking socket, or -1 with what went wrong.
int Connect(const NetworkPortAddress& address, Clock::time_point deadline, std::string& why) {
    const std::shared_ptr<Resolution> names = Resolve(address, deadline);
    if (!names) {
        why = address.host + ": " + SystemErrorText(ETIMEDOUT);
        return -1;
    }
    if (names->error != 0 || names->addresses.empty()) {
        why = address.host + ": " + ::gai_strerror(names->error);
        return -1;
    }
    int error = ETIMEDOUT;
    for (std::size_t i = 0; i < names->addresses.size() && Clock::now() < deadline; ++i) {
        const int fd = ConnectOne(names->addresses[i], names->lengths[i], deadline, error);
        if (fd >= 0) return fd;
    }
    why = SystemErrorText(error);
    return -1;
}

void TuneConnection(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds,
                 sizeof kKeepIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
}

Clock::duration ByteTimeOf(const LineSettings& settings) {
    const double seconds = BitsPerFrame(settings) / (settings.baud > 0 ? settings.baud : 1200);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

const char* ValueName(rfc2217::Command command) {
    switch (command) {
        case rfc2217::Command::SetBaudRate:
            return "baud rate";
        case rfc2217::Command::SetDataSize:
            return "data size";
        case rfc2217::Command::SetParity:
            return "parity";
        default:
            return "stop size";
    }
}

std::string ValueText(rfc2217::Command command, const std::string& value) {
    if (command != rfc2217::Command::SetBaudRate) {
        return value.empty() ? "nothing" : std::to_string(static_cast<std::uint8_t>(value[0]));
    }
    std::uint32_t baud = 0;
    for (const char c : value) baud = (baud << 8) | static_cast<std::uint8_t>(c);
    return std::to_string(baud);
}

}  // namespace

NetSerialPort::~NetSerialPort() { Close(); }

Status NetSerialPort::Fail(const std::string& why) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    FreeBuffers();
    return Status::Error(device_ + ": " + why);
}

void NetSerialPort::Lose(const std::string& why) {
    if (lost_) return;
    lost_ = true;
    lostWhy_ = why;
    // Nothing more can go; what came is still read.
    std::string().swap(output_);
}

void NetSerialPort::FreeBuffers() {
    std::string().swap(input_);
    inputPos_ = 0;
    std::string().swap(output_);
}

Status NetSerialPort::Open(const std::string& device) {
    Close();
    device_ = device;
    const std::optional<NetworkPortAddress> address = ParseNetworkPortName(device);
    if (!address) return Status::Error(device + ": " + SystemErrorText(EINVAL));
    address_ = *address;

    const Clock::time_point deadline = Clock::now() + kOpenLimit;
    std::string why;
    fd_ = Connect(address_, deadline, why);
    if (fd_ < 0) return Status::Error(device + ": " + why);
    TuneConnection(fd_);

    record_ = LineSettings{};
    timeouts_ = Timeouts{};
    decoder_ = {};
    negotiation_ = {};
    handedToKernel_ = lastAcked_ = 0;
    modem_.reset();
    suspended_ = false;
    answers_.clear();
    openQuestions_ = 0;
    answersQuestions_ = hasModemLines_ = false;
    byteTime_ = ByteTimeOf(record_);
    lost_ = false;
    lostWhy_.clear();
    questionAt_.reset();

    if (Rfc2217()) {
        output_ += negotiation_.Start();
        while (!negotiation_.Ready()) {
            if (const std::string refused = negotiation_.Refused(); !refused.empty()) {
                return Fail("the server refuses " + refused);
            }
            if (lost_) return Fail(lostWhy_);
            if (Clock::now() >= deadline) return Fail("no Telnet COM port control from the server");
            Pump(RemainingMs(deadline));
        }
        // Every modem line change, as the lamps and the line checks need.
        output_ += rfc2217::ComPortCommand(rfc2217::Command::SetModemStateMask, "\xFF");
        Flush();
    }
    lastHeard_ = lineFreeAt_ = lastProgress_ = Clock::now();
    return Status::Ok();
}

void NetSerialPort::Close() {
    if (fd_ < 0) return;
    // The last bytes (the end characters) still go; then the server sees the
    // end of the stream rather than a reset that could drop them.
    // A server that takes nothing gets no more than a short stall: a close on
    // a signal must not wait the whole limit for it.
    const Clock::time_point flushEnd = Clock::now() + kCloseFlushLimit;
    Clock::time_point stallEnd = Clock::now() + kCloseStallLimit;
    std::size_t left = output_.size();
    while (!lost_ && !output_.empty() && Clock::now() < std::min(flushEnd, stallEnd)) {
        Pump(RemainingMs(std::min(flushEnd, stallEnd)));
        if (output_.size() < left) stallEnd = Clock::now() + kCloseStallLimit;
        left = output_.size();
    }
    if (!lost_) {
        ::shutdown(fd_, SHUT_WR);
        const Clock::time_point drainEnd = Clock::now() + kCloseDrainLimit;
        char sink[4096];
        while (Clock::now() < drainEnd) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, RemainingMs(drainEnd)) <= 0) break;
            if (::recv(fd_, sink, sizeof sink, 0) <= 0) break;
        }
    }
    ::close(fd_);
    fd_ = -1;
    FreeBuffers();
}

std::optional<LineSettings> NetSerialPort::GetSettings() {
    if (fd_ < 0) return std::nullopt;
    return record_;
}

Status NetSerialPort::SetSettings(const LineSettings& settings) {
    if (fd_ < 0) return Status::Error(device_ + ": " + SystemErrorText(EBADF));
    if (settings.baud <= 0 || settings.dataBits < 5 || settings.dataBits > 8) {
        return Status::Error(device_ + ": " + SystemErrorText(EINVAL));
    }
    if (Rfc2217()) {
        using rfc2217::Command;
        const std::vector<rfc2217::LineRequest> requests = rfc2217::LineRequests(settings);
        answers_.clear();
        for (const rfc2217::LineRequest& request : requests) {
            output_ += rfc2217::ComPortCommand(request.command, request.value);
        }
        // The line's flow control is the program's own; the lines follow the record.
        const std::uint8_t dtr =
            settings.dtrControl == LineControl::Disable ? rfc2217::kDtrOff : rfc2217::kDtrOn;
        const std::uint8_t rts =
            settings.rtsControl == LineControl::Disable ? rfc2217::kRtsOff : rfc2217::kRtsOn;
        for (const std::uint8_t control :
             {rfc2217::kNoOutboundFlow, rfc2217::kNoInboundFlow, dtr, rts}) {
            output_ += rfc2217::ComPortCommand(Command::SetControl,
                                               std::string(1, static_cast<char>(control)));
        }
        // A last question: answers come in order, so once it is answered,
        // an unanswered DTR setting will stay so.
        output_ += rfc2217::ComPortCommand(Command::SetBaudRate, std::string(4, '\0'));
        Flush();

        const auto confirmed = [&] {
            return std::all_of(requests.begin(), requests.end(),
                               [&](const auto& r) { return Answer(r.command).has_value(); });
        };
        Clock::time_point deadline = Clock::now() + kAnswerLimit;
        while (!confirmed() && !lost_ && Clock::now() < deadline) Pump(RemainingMs(deadline));
        deadline = std::min(deadline, Clock::now() + kCapabilityLimit);
        while (!Answer(Command::SetBaudRate, 1) && !lost_ && Clock::now() < deadline) {
            Pump(RemainingMs(deadline));
        }
        if (lost_) return Status::Error(device_ + ": " + lostWhy_);
        for (const rfc2217::LineRequest& request : requests) {
            const std::string name = ValueName(request.command);
            const std::optional<std::string> answer = Answer(request.command);
            if (!answer) return Status::Error(device_ + ": the server did not confirm the " + name);
            if (*answer != request.value) {
                return Status::Error(device_ + ": " + name + " " +
                                     ValueText(request.command, request.value) +
                                     " was answered with " + ValueText(request.command, *answer));
            }
        }
        answersQuestions_ = Answer(Command::SetBaudRate, 1).has_value();
        hasModemLines_ = std::any_of(answers_.begin(), answers_.end(), [&](const auto& a) {
            return a.first == Command::SetControl && a.second.size() == 1 &&
                   static_cast<std::uint8_t>(a.second[0]) == dtr;
        });
    }
    record_ = settings;
    byteTime_ = ByteTimeOf(record_);
    return Status::Ok();
}

Status NetSerialPort::SetTimeouts(const Timeouts& timeouts) {
    if (fd_ < 0) return Status::Error(device_ + ": " + SystemErrorText(EBADF));
    timeouts_ = timeouts;
    return Status::Ok();
}

// The server's buffers are its own; there is nothing to ask for.
Status NetSerialPort::SetQueueSizes(int, int) {
    return fd_ < 0 ? Status::Error(device_ + ": " + SystemErrorText(EBADF)) : Status::Ok();
}

Status NetSerialPort::Purge(PurgeQueues queues) {
    if (fd_ < 0) return Status::Error(device_ + ": " + SystemErrorText(EBADF));
    if (queues != PurgeQueues::Output) {
        Pump(0);
        input_.clear();
        inputPos_ = 0;
    }
    if (queues != PurgeQueues::Input) lineFreeAt_ = Clock::now();
    if (Rfc2217()) {
        const std::uint8_t which = queues == PurgeQueues::Input    ? 1
                                   : queues == PurgeQueues::Output ? 2
                                                                   : rfc2217::kPurgeBoth;
        output_ += rfc2217::ComPortCommand(rfc2217::Command::PurgeData,
                                           std::string(1, static_cast<char>(which)));
        Flush();
    }
    // A connection found gone here is told by the next read or write, which
    // names the port and the server, as a local device gone away is; failing
    // the purge would add a second, vaguer message for the same loss.
    return Status::Ok();
}

std::optional<ModemStatus> NetSerialPort::GetModemStatus() {
    if (fd_ < 0) return std::nullopt;
    Pump(0);
    return hasModemLines_ ? modem_ : std::nullopt;
}

QueueStatus NetSerialPort::GetQueueStatus() {
    QueueStatus status;
    if (fd_ < 0) {
        status.status = IoStatus::Failed;
        return status;
    }
    Pump(0);
    CheckHealth();
    if (lost_) {
        status.status = IoStatus::LineLost;
        return status;
    }
    status.outputQueued =
        suspended_ ? kHeldQueue : std::max(LineQueued(Clock::now()), KernelQueued());
    status.inputQueued = static_cast<int>(input_.size() - inputPos_);
    return status;
}

ReadResult NetSerialPort::ReadByteWithin(std::optional<int> waitMs) {
    if (fd_ < 0) return {IoStatus::Failed, 0};
    const Clock::time_point deadline =
        waitMs ? Clock::now() + milliseconds(*waitMs) : Clock::time_point::max();
    bool pumped = false;
    while (true) {
        while (HasInput()) {
            const auto byte = static_cast<std::uint8_t>(input_[inputPos_++]);
            if (inputPos_ == input_.size()) {
                input_.clear();
                inputPos_ = 0;
            }
            if (byte == 0 && record_.discardNul) continue;
            return {IoStatus::Ok, byte};
        }
        // Whatever has already come is taken first, also by a read that may not wait.
        if (!pumped) {
            Pump(0);
            pumped = true;
            if (HasInput()) continue;
        }
        CheckHealth();
        if (lost_) return {IoStatus::LineLost, 0};
        const int left = deadline == Clock::time_point::max() ? kSliceMs : RemainingMs(deadline);
        if (left == 0) return {IoStatus::TimedOut, 0};
        Pump(std::min(left, kSliceMs));
    }
}

IoStatus NetSerialPort::WriteByte(std::uint8_t byte) {
    if (fd_ < 0) return IoStatus::Failed;
    if (lost_) return IoStatus::LineLost;
    const std::optional<int> waitMs = OneByteWriteWait(timeouts_);
    const Clock::time_point deadline =
        waitMs ? Clock::now() + milliseconds(*waitMs) : Clock::time_point::max();
    while (output_.size() > kMaxPendingOutput) {
        CheckHealth();
        if (lost_) return IoStatus::LineLost;
        const int left = deadline == Clock::time_point::max() ? kSliceMs : RemainingMs(deadline);
        if (left == 0) return IoStatus::TimedOut;
        Pump(std::min(left, kSliceMs));
    }
    output_ += Rfc2217() ? rfc2217::EncodeData(byte) : std::string(1, static_cast<char>(byte));
    const Clock::time_point now = Clock::now();
    lineFreeAt_ = std::max(lineFreeAt_, now) + byteTime_;
    Flush();
    return lost_ ? IoStatus::LineLost : IoStatus::Ok;
}

std::string NetSerialPort::LostLineDetail() const { return device_ + " との接続が切れました。"; }

void NetSerialPort::Pump(int timeoutMs) {
    if (fd_ < 0 || lost_) return;
    DropReadInput();
    const bool room = ReadRoom() > 0;
    pollfd p{fd_, static_cast<short>((room ? POLLIN : 0) | (output_.empty() ? 0 : POLLOUT)), 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0) {
        if (errno != EINTR) Lose(SystemErrorText(errno));
        return;
    }
    if (ready == 0) return;
    if (!room && (p.revents & (POLLHUP | POLLERR)) != 0) {
        // The connection is over and its last bytes cannot be taken now:
        // told at once, or every wait here would spin on it.
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        Lose(error != 0 ? SystemErrorText(error) : "the server closed the connection");
        return;
    }
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) ReadAvailable();
    if (!output_.empty()) Flush();
}

// Reads no more than there is room for, so a flood returns to the caller,
// and the window's events, once the buffers are full.
void NetSerialPort::ReadAvailable() {
    char buffer[4096];
    while (!lost_) {
        // A received byte becomes at most one byte of data or of a reply.
        const std::size_t room = std::min(sizeof buffer, ReadRoom());
        if (room == 0) return;
        const ssize_t got = ::recv(fd_, buffer, room, 0);
        if (got > 0) {
            lastHeard_ = Clock::now();
            questionAt_.reset();
            Take(std::string_view(buffer, static_cast<std::size_t>(got)));
            if (static_cast<std::size_t>(got) < room) return;
            continue;
        }
        if (got == 0) {
            Lose("the server closed the connection");
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) Lose(SystemErrorText(errno));
        return;
    }
}

std::size_t NetSerialPort::ReadRoom() const {
    const std::size_t used = Buffered() + kOwnOutputRoom;
    return used < kBufferLimit ? kBufferLimit - used : 0;
}

// What was read goes once it is half the input, so a reader that never quite
// empties the input still frees it, at one byte copied per byte read at most.
void NetSerialPort::DropReadInput() {
    if (inputPos_ == 0 || inputPos_ * 2 < input_.size()) return;
    input_.erase(0, inputPos_);
    inputPos_ = 0;
}

void NetSerialPort::Flush() {
    while (!output_.empty() && !lost_) {
        const ssize_t put = ::send(fd_, output_.data(), output_.size(), MSG_NOSIGNAL);
        if (put > 0) {
            handedToKernel_ += static_cast<std::uint64_t>(put);
            output_.erase(0, static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) Lose(SystemErrorText(errno));
        return;
    }
}

void NetSerialPort::Take(std::string_view bytes) {
    if (!Rfc2217()) {
        input_.append(bytes);
        return;
    }
    std::vector<rfc2217::Received> commands;
    decoder_.Feed(bytes, input_, commands);
    for (const rfc2217::Received& command : commands) {
        if (command.verb != rfc2217::kSb) {
            output_ += negotiation_.Take(command.verb, command.option);
        } else if (command.option == rfc2217::kComPortOption) {
            TakeComPort(command.payload);
        }
    }
    if (!output_.empty()) Flush();
}

void NetSerialPort::TakeComPort(const std::string& payload) {
    using rfc2217::Command;
    if (payload.empty()) return;
    const auto code = static_cast<std::uint8_t>(payload[0]);
    if (code < rfc2217::kServerOffset) return;  // a question to the client: none is answered
    const auto command = static_cast<Command>(code - rfc2217::kServerOffset);
    const std::string value = payload.substr(1);
    switch (command) {
        case Command::NotifyModemState:
            if (!value.empty())
                modem_ = rfc2217::DecodeModemState(static_cast<std::uint8_t>(value[0]));
            break;
        case Command::FlowControlSuspend:
            suspended_ = true;
            break;
        case Command::FlowControlResume:
            suspended_ = false;
            break;
        case Command::SetBaudRate:
            // Answers come in the order asked: the liveness questions' first.
            if (openQuestions_ > 0) {
                --openQuestions_;
                break;
            }
            [[fallthrough]];
        default:
            // Bounded: a server that chatters cannot fill the memory.
            if (answers_.size() < 64) answers_.emplace_back(command, value);
            break;
    }
}

std::optional<std::string> NetSerialPort::Answer(rfc2217::Command command, int nth) const {
    for (const auto& [answered, value] : answers_) {
        if (answered == command && nth-- == 0) return value;
    }
    return std::nullopt;
}

int NetSerialPort::KernelQueued() {
    int unsent = 0;
    if (::ioctl(fd_, TIOCOUTQ, &unsent) != 0) unsent = 0;
    return unsent + static_cast<int>(output_.size());
}

int NetSerialPort::LineQueued(Clock::time_point now) const {
    if (lineFreeAt_ <= now || byteTime_.count() <= 0) return 0;
    return static_cast<int>((lineFreeAt_ - now + byteTime_ - Clock::duration(1)) / byteTime_);
}

void NetSerialPort::CheckHealth() {
    if (fd_ < 0 || lost_) return;
    const Clock::time_point now = Clock::now();

    int unsent = 0;
    if (::ioctl(fd_, TIOCOUTQ, &unsent) != 0) unsent = 0;
    const std::uint64_t acked = handedToKernel_ - static_cast<std::uint64_t>(unsent);
    if (unsent == 0 && output_.empty()) {
        lastProgress_ = now;
    } else if (acked != lastAcked_) {
        lastProgress_ = now;
    } else if (now - lastProgress_ >= kStallLimit) {
        Lose("the server takes no data");
        return;
    }
    lastAcked_ = acked;

    if (!Rfc2217() || !answersQuestions_) return;
    // Bytes left in the socket for want of room were heard all the same.
    int waiting = 0;
    if (ReadRoom() == 0 && ::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) {
        lastHeard_ = now;
        questionAt_.reset();
    }
    if (questionAt_) {
        if (now - *questionAt_ >= kAnswerWait) Lose("the server does not answer");
        return;
    }
    if (now - lastHeard_ >= kQuietBeforeQuestion) {
        // A baud rate of 0 asks for the current one without changing it.
        output_ += rfc2217::ComPortCommand(rfc2217::Command::SetBaudRate, std::string(4, '\0'));
        ++openQuestions_;
        questionAt_ = now;
        Flush();
    }
}

bool CanConnect(const std::string& device, std::chrono::milliseconds limit) {
    const std::optional<NetworkPortAddress> address = ParseNetworkPortName(device);
    if (!address) return false;
    std::string why;
    const int fd = Connect(*address, Clock::now() + limit, why);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace wexal
