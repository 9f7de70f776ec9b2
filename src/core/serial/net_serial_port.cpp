#include "serial/net_serial_port.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/error_text.h"
#include "serial/socket_io.h"

namespace wexal {

namespace {

using Clock = NetSerialPort::Clock;
using socket_io::kNoSocket;
using socket_io::Socket;
using std::chrono::milliseconds;

// The kernel raises this to its minimum (a few kilobytes); what matters is
// that no more than that waits in this computer.
constexpr int kSendBuffer = 1024;
constexpr socket_io::Liveness kLiveness{
    .keepIdleSeconds = 2, .keepIntervalSeconds = 1, .keepCount = 3, .unacknowledgedLimitMs = 5000};
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
    std::vector<socket_io::Address> addresses;
};

// Names are looked up on a thread of their own, so a resolver that does not
// answer cannot hold the open past its limit; the thread ends by itself.
std::shared_ptr<Resolution> Resolve(const NetworkPortAddress& address, Clock::time_point deadline) {
    auto result = std::make_shared<Resolution>();
    std::thread([result, host = address.host, service = address.service] {
        std::vector<socket_io::Address> found;
        const int error = socket_io::Resolve(host, service, found);
        const std::lock_guard lock(result->mutex);
        result->error = error;
        result->addresses = std::move(found);
        result->finished = true;
        result->done.notify_one();
    }).detach();
    std::unique_lock lock(result->mutex);
    if (!result->done.wait_until(lock, deadline, [&] { return result->finished; })) return nullptr;
    return result;
}

Socket ConnectOne(const socket_io::Address& to, Clock::time_point deadline, int& error) {
    const Socket socket = socket_io::OpenStream(to.family, error);
    if (socket == kNoSocket) return kNoSocket;
    socket_io::SetSendBuffer(socket, kSendBuffer);
    error = socket_io::StartConnect(socket, to);
    if (error == 0) return socket;
    if (error == EINPROGRESS) {
        do {
            error = socket_io::AwaitConnect(socket, RemainingMs(deadline));
        } while (error == EINTR);
        if (error == 0) return socket;
    }
    socket_io::Close(socket);
    return kNoSocket;
}

// A connected, non-blocking socket, or kNoSocket with what went wrong.
Socket Connect(const NetworkPortAddress& address, Clock::time_point deadline, std::string& why) {
    const std::shared_ptr<Resolution> names = Resolve(address, deadline);
    if (!names) {
        why = address.host + ": " + SystemErrorText(ETIMEDOUT);
        return kNoSocket;
    }
    if (names->error != 0 || names->addresses.empty()) {
        why = address.host + ": " + socket_io::ResolveErrorText(names->error);
        return kNoSocket;
    }
    int error = ETIMEDOUT;
    for (std::size_t i = 0; i < names->addresses.size() && Clock::now() < deadline; ++i) {
        const Socket socket = ConnectOne(names->addresses[i], deadline, error);
        if (socket != kNoSocket) return socket;
    }
    why = SystemErrorText(error);
    return kNoSocket;
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
    if (IsOpen()) socket_io::Close(socket_);
    socket_ = kNoSocket;
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
    socket_ = Connect(address_, deadline, why);
    if (!IsOpen()) return Status::Error(device + ": " + why);
    socket_io::TuneConnection(socket_, kLiveness);

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
    if (!IsOpen()) return;
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
        socket_io::ShutdownSending(socket_);
        const Clock::time_point drainEnd = Clock::now() + kCloseDrainLimit;
        char sink[4096];
        while (Clock::now() < drainEnd) {
            unsigned happened = 0;
            const socket_io::Result ready =
                socket_io::Poll(socket_, socket_io::kReadable, RemainingMs(drainEnd), happened);
            if (ready.error != 0 || ready.count == 0) break;
            const socket_io::Result got = socket_io::Receive(socket_, sink, sizeof sink);
            if (got.error != 0 || got.count == 0) break;
        }
    }
    socket_io::Close(socket_);
    socket_ = kNoSocket;
    FreeBuffers();
}

std::optional<LineSettings> NetSerialPort::GetSettings() {
    if (!IsOpen()) return std::nullopt;
    return record_;
}

Status NetSerialPort::SetSettings(const LineSettings& settings) {
    if (!IsOpen()) return Status::Error(device_ + ": " + SystemErrorText(EBADF));
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
    if (!IsOpen()) return Status::Error(device_ + ": " + SystemErrorText(EBADF));
    timeouts_ = timeouts;
    return Status::Ok();
}

// The server's buffers are its own; there is nothing to ask for.
Status NetSerialPort::SetQueueSizes(int, int) {
    return !IsOpen() ? Status::Error(device_ + ": " + SystemErrorText(EBADF)) : Status::Ok();
}

Status NetSerialPort::Purge(PurgeQueues queues) {
    if (!IsOpen()) return Status::Error(device_ + ": " + SystemErrorText(EBADF));
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
    if (!IsOpen()) return std::nullopt;
    Pump(0);
    return hasModemLines_ ? modem_ : std::nullopt;
}

QueueStatus NetSerialPort::GetQueueStatus() {
    QueueStatus status;
    if (!IsOpen()) {
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
    if (!IsOpen()) return {IoStatus::Failed, 0};
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
    if (!IsOpen()) return IoStatus::Failed;
    if (lost_) return IoStatus::LineLost;
    const LineWait wait(OneByteWriteWait(timeouts_), *this);
    lastWriteWaitMs_ = 0;
    while (output_.size() > kMaxPendingOutput) {
        CheckHealth();
        if (lost_) return IoStatus::LineLost;
        const int slice = wait.NextMs(kSliceMs);
        lastWriteWaitMs_ = wait.ElapsedMs();
        if (slice == 0) return IoStatus::TimedOut;
        Pump(slice);
    }
    output_ += Rfc2217() ? rfc2217::EncodeData(byte) : std::string(1, static_cast<char>(byte));
    const Clock::time_point now = Clock::now();
    lineFreeAt_ = std::max(lineFreeAt_, now) + byteTime_;
    Flush();
    return lost_ ? IoStatus::LineLost : IoStatus::Ok;
}

std::string NetSerialPort::LostLineDetail() const { return device_ + " との接続が切れました。"; }

void NetSerialPort::Pump(int timeoutMs) {
    if (!IsOpen() || lost_) return;
    DropReadInput();
    using socket_io::kFailed;
    using socket_io::kHangUp;
    using socket_io::kReadable;
    using socket_io::kWritable;
    const bool room = ReadRoom() > 0;
    unsigned happened = 0;
    const socket_io::Result ready = socket_io::Poll(
        socket_, (room ? kReadable : 0u) | (output_.empty() ? 0u : kWritable), timeoutMs, happened);
    if (ready.error != 0) {
        if (ready.error != EINTR) Lose(SystemErrorText(ready.error));
        return;
    }
    if (ready.count == 0) return;
    if (!room && (happened & (kHangUp | kFailed)) != 0) {
        // The connection is over and its last bytes cannot be taken now:
        // told at once, or every wait here would spin on it.
        const int error = socket_io::PendingError(socket_);
        Lose(error != 0 ? SystemErrorText(error) : "the server closed the connection");
        return;
    }
    if ((happened & (kReadable | kHangUp | kFailed)) != 0) ReadAvailable();
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
        const socket_io::Result got = socket_io::Receive(socket_, buffer, room);
        if (got.error == 0 && got.count > 0) {
            lastHeard_ = Clock::now();
            questionAt_.reset();
            Take(std::string_view(buffer, static_cast<std::size_t>(got.count)));
            if (static_cast<std::size_t>(got.count) < room) return;
            continue;
        }
        if (got.error == 0) {
            Lose("the server closed the connection");
            return;
        }
        if (got.error == EINTR) continue;
        if (got.error != EAGAIN && got.error != EWOULDBLOCK) Lose(SystemErrorText(got.error));
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
        const socket_io::Result put = socket_io::Send(socket_, output_.data(), output_.size());
        if (put.error == 0 && put.count > 0) {
            handedToKernel_ += static_cast<std::uint64_t>(put.count);
            output_.erase(0, static_cast<std::size_t>(put.count));
            continue;
        }
        if (put.error == EINTR) continue;
        if (put.error != 0 && put.error != EAGAIN && put.error != EWOULDBLOCK) {
            Lose(SystemErrorText(put.error));
        }
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
    return socket_io::UnacknowledgedBytes(socket_).value_or(0) + static_cast<int>(output_.size());
}

int NetSerialPort::LineQueued(Clock::time_point now) const {
    if (lineFreeAt_ <= now || byteTime_.count() <= 0) return 0;
    return static_cast<int>((lineFreeAt_ - now + byteTime_ - Clock::duration(1)) / byteTime_);
}

void NetSerialPort::CheckHealth() {
    if (!IsOpen() || lost_) return;
    const Clock::time_point now = Clock::now();

    const int unsent = socket_io::UnacknowledgedBytes(socket_).value_or(0);
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
    if (ReadRoom() == 0 && socket_io::WaitingInput(socket_) > 0) {
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
    const Socket socket = Connect(*address, Clock::now() + limit, why);
    if (socket == kNoSocket) return false;
    socket_io::Close(socket);
    return true;
}

}  // namespace wexal
