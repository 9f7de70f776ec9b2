#include "support/fake_serial_port.h"

#include <algorithm>
#include <cmath>

namespace wexal::test {

namespace {

using Duration = FakeSerialPort::Duration;

Status Refused(const char* what) { return Status::Error(std::string("fake port: ") + what); }

constexpr Duration kNever = Duration::max();

// The end of a wait of waitMs from now; kNever for a wait without limit.
Duration DeadlineAfter(Duration now, std::optional<int> waitMs) {
    return waitMs ? now + std::chrono::milliseconds(*waitMs) : kNever;
}

}  // namespace

FakeSerialPort::FakeSerialPort(FakeClock& clock) : clock_(clock) {
    // A connected machine: every line on until a test says otherwise.
    modem_ = ModemStatus{.cts = true, .dsr = true, .ring = false, .rlsd = true};
}

void FakeSerialPort::ScriptInput(Duration at, std::string_view bytes) {
    for (const char c : bytes) scriptedInput_.emplace(at, static_cast<std::uint8_t>(c));
}

void FakeSerialPort::ScriptInputByte(Duration at, std::uint8_t byte) {
    scriptedInput_.emplace(at, byte);
}

void FakeSerialPort::SetModemStatus(std::optional<ModemStatus> status) { modem_ = status; }

void FakeSerialPort::ScheduleModemStatus(Duration at, std::optional<ModemStatus> status) {
    modemScript_.emplace(at, status);
}

void FakeSerialPort::LoseLineAt(Duration at) { lostAt_ = at; }

void FakeSerialPort::SetFailing(Call call, bool failing) {
    if (failing) {
        failing_.insert(call);
    } else {
        failing_.erase(call);
    }
}

std::string FakeSerialPort::WrittenBytes() const {
    std::string bytes;
    for (const WrittenByte& w : written_) bytes.push_back(static_cast<char>(w.byte));
    return bytes;
}

double FakeSerialPort::LineRateBytesPerSecond() const {
    return settings_.baud / BitsPerFrame(settings_);
}

Duration FakeSerialPort::ByteTime() const {
    const double seconds = BitsPerFrame(settings_) / settings_.baud;
    return Duration(static_cast<Duration::rep>(std::llround(seconds * 1e9)));
}

int FakeSerialPort::OutputQueued() {
    RunUntil(clock_.Now());
    return static_cast<int>(outputQueue_.size());
}

bool FakeSerialPort::OutputHeld() {
    RunUntil(clock_.Now());
    return held_;
}

Duration FakeSerialPort::Enter() {
    if (clock_.mode() == FakeClock::Mode::Virtual) clock_.Advance(callCost_);
    const Duration now = clock_.Now();
    RunUntil(now);
    return now;
}

void FakeSerialPort::StartNext(Duration at) {
    if (!headDoneAt_ && !held_ && !outputQueue_.empty()) headDoneAt_ = at + ByteTime();
}

// Lets the line run: input arrives, modem lines change and queued bytes go
// out, in the order of their times, up to t.
void FakeSerialPort::RunUntil(Duration t) {
    while (true) {
        const Duration input = scriptedInput_.empty() ? kNever : scriptedInput_.begin()->first;
        const Duration modem = modemScript_.empty() ? kNever : modemScript_.begin()->first;
        const Duration done = headDoneAt_.value_or(kNever);
        const Duration next = std::min({input, modem, done});
        if (next == kNever || next > t) return;

        if (modem == next) {
            modem_ = modemScript_.begin()->second;
            modemScript_.erase(modemScript_.begin());
        } else if (done == next) {
            written_[outputQueue_.front()].onWireAt = done;
            outputQueue_.pop_front();
            headDoneAt_.reset();
            StartNext(done);
        } else {
            const std::uint8_t byte = scriptedInput_.begin()->second;
            scriptedInput_.erase(scriptedInput_.begin());
            if (settings_.outputXonXoff && byte == settings_.xoffChar) {
                held_ = true;
            } else if (settings_.outputXonXoff && byte == settings_.xonChar) {
                held_ = false;
                StartNext(input);
            } else {
                inputBuffer_.push_back(byte);
            }
        }
    }
}

std::optional<Duration> FakeSerialPort::NextInputAt() const {
    if (scriptedInput_.empty()) return std::nullopt;
    return scriptedInput_.begin()->first;
}

Status FakeSerialPort::Open(const std::string& device) {
    Enter();
    opened_.push_back(device);
    if (Failing(Call::Open)) return Refused("open failed");
    open_ = true;
    return Status::Ok();
}

void FakeSerialPort::Close() {
    if (!open_) return;
    open_ = false;
    ++closeCount_;
}

std::optional<LineSettings> FakeSerialPort::GetSettings() {
    Enter();
    if (!open_ || Failing(Call::GetSettings)) return std::nullopt;
    return settings_;
}

Status FakeSerialPort::SetSettings(const LineSettings& settings) {
    Enter();
    settingsWritten_.push_back(settings);
    if (!open_) return Refused("not open");
    if (Failing(Call::SetSettings)) return Refused("settings refused");
    if (settings.baud <= 0 || settings.dataBits < 5 || settings.dataBits > 8) {
        return Refused("line format out of range");
    }
    settings_ = settings;
    return Status::Ok();
}

Status FakeSerialPort::SetTimeouts(const Timeouts& timeouts) {
    Enter();
    timeoutsWritten_.push_back(timeouts);
    if (!open_) return Refused("not open");
    if (Failing(Call::SetTimeouts)) return Refused("time-outs refused");
    timeouts_ = timeouts;
    return Status::Ok();
}

Status FakeSerialPort::SetQueueSizes(int input, int output) {
    Enter();
    queueSizes_.emplace_back(input, output);
    if (!open_) return Refused("not open");
    if (Failing(Call::SetQueueSizes)) return Refused("queue sizes refused");
    return Status::Ok();
}

Status FakeSerialPort::Purge(PurgeQueues queues) {
    Enter();
    purges_.push_back(queues);
    if (!open_) return Refused("not open");
    if (Failing(Call::Purge)) return Refused("purge refused");
    if (queues != PurgeQueues::Output) inputBuffer_.clear();
    if (queues != PurgeQueues::Input) {
        outputQueue_.clear();
        headDoneAt_.reset();
    }
    return Status::Ok();
}

std::optional<ModemStatus> FakeSerialPort::GetModemStatus() {
    const Duration now = Enter();
    ++modemQueries_;
    if (!open_ || Lost(now)) return std::nullopt;
    return modem_;
}

QueueStatus FakeSerialPort::GetQueueStatus() {
    const Duration now = Enter();
    if (!open_) return {IoStatus::Failed, 0, 0};
    if (Lost(now)) return {IoStatus::LineLost, 0, 0};
    return {IoStatus::Ok, static_cast<int>(outputQueue_.size()),
            static_cast<int>(inputBuffer_.size())};
}

ReadResult FakeSerialPort::ReadByteWithin(std::optional<int> waitMs) {
    Duration now = Enter();
    if (!open_) return {IoStatus::Failed, 0};
    const Duration deadline = DeadlineAfter(now, waitMs);
    while (true) {
        // A hang-up discards what the driver still held, as a tty's does.
        if (Lost(now)) return {IoStatus::LineLost, 0};
        while (!inputBuffer_.empty()) {
            const std::uint8_t byte = inputBuffer_.front();
            inputBuffer_.pop_front();
            if (byte != 0 || !settings_.discardNul) return {IoStatus::Ok, byte};
        }
        if (now >= deadline) return {IoStatus::TimedOut, 0};
        // Sleep until the next thing that could end the wait.
        Duration wake = deadline;
        if (const auto input = NextInputAt()) wake = std::min(wake, *input);
        if (lostAt_) wake = std::min(wake, *lostAt_);
        if (wake == kNever) return {IoStatus::Failed, 0};  // nothing would ever come
        clock_.SleepUntil(wake);
        now = std::max(clock_.Now(), wake);
        RunUntil(now);
    }
}

IoStatus FakeSerialPort::WriteByte(std::uint8_t byte) {
    Duration now = Enter();
    if (!open_ || Failing(Call::Write)) return IoStatus::Failed;
    const Duration deadline = DeadlineAfter(now, OneByteWriteWait(timeouts_));
    // A full driver queue blocks the writer until a byte has left.
    while (static_cast<int>(outputQueue_.size()) >= capacity_) {
        if (Lost(now)) return IoStatus::LineLost;
        if (now >= deadline) return IoStatus::TimedOut;
        Duration wake = deadline;
        if (headDoneAt_) wake = std::min(wake, *headDoneAt_);
        if (const auto input = NextInputAt(); held_ && input) wake = std::min(wake, *input);
        if (lostAt_) wake = std::min(wake, *lostAt_);
        if (wake == kNever) return IoStatus::Failed;  // the queue would never move
        clock_.SleepUntil(wake);
        now = std::max(clock_.Now(), wake);
        RunUntil(now);
    }
    if (Lost(now)) return IoStatus::LineLost;
    outputQueue_.push_back(written_.size());
    written_.push_back({byte, now, std::nullopt, static_cast<int>(outputQueue_.size())});
    maxQueued_ = std::max(maxQueued_, static_cast<int>(outputQueue_.size()));
    StartNext(now);
    return IoStatus::Ok;
}

}  // namespace wexal::test
