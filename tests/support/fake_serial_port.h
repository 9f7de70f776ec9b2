#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "serial/serial_port.h"
#include "support/fake_clock.h"

namespace wexal::test {

// A serial port in memory for tests and benchmarks. Input arrives as
// scripted, at scripted times; output leaves the driver queue at the line
// rate of the settings made (baud / bits per frame bytes per second); the
// modem lines follow a script; every call that configures the port and every
// byte written is recorded. With driver XON/XOFF on output switched on, the
// XOFF and XON characters in the input hold and release the transmitter and
// are not handed to the reader, as a driver does.
class FakeSerialPort final : public SerialPort {
public:
    using Duration = FakeClock::Duration;

    enum class Call { Open, GetSettings, SetSettings, SetTimeouts, SetQueueSizes, Purge, Write };

    struct WrittenByte {
        std::uint8_t byte = 0;
        Duration handedAt{};               // when WriteByte took it
        std::optional<Duration> onWireAt;  // when its last bit left the line
        int queuedAfter = 0;               // driver queue length just after it was taken
    };

    explicit FakeSerialPort(FakeClock& clock);

    // Script.
    void ScriptInput(Duration at, std::string_view bytes);
    void ScriptInputByte(Duration at, std::uint8_t byte);
    // nullopt: the port has no modem lines and the query fails (as a pseudo-terminal).
    void SetModemStatus(std::optional<ModemStatus> status);
    void ScheduleModemStatus(Duration at, std::optional<ModemStatus> status);
    // From then on reads, writes and queue queries report LineLost.
    void LoseLineAt(Duration at);
    void SetFailing(Call call, bool failing);
    // Time every call into the port costs a virtual clock, as a system call would.
    void SetCallCost(Duration cost) { callCost_ = cost; }
    // The record the driver returns before anything was set.
    void SetDriverSettings(const LineSettings& settings) { settings_ = settings; }
    void SetOutputCapacity(int bytes) { capacity_ = bytes; }

    // Records.
    const std::vector<std::string>& Opened() const { return opened_; }
    int CloseCount() const { return closeCount_; }
    // Every SetSettings call, in order, also those made to fail.
    const std::vector<LineSettings>& SettingsWritten() const { return settingsWritten_; }
    const std::vector<Timeouts>& TimeoutsWritten() const { return timeoutsWritten_; }
    const std::vector<std::pair<int, int>>& QueueSizesRequested() const { return queueSizes_; }
    const std::vector<PurgeQueues>& Purges() const { return purges_; }
    const std::vector<WrittenByte>& Written() const { return written_; }
    std::string WrittenBytes() const;
    int MaxOutputQueued() const { return maxQueued_; }
    int ModemQueries() const { return modemQueries_; }

    // State now (after letting the line run up to the clock's time).
    double LineRateBytesPerSecond() const;
    Duration ByteTime() const;
    int OutputQueued();
    bool OutputHeld();
    FakeClock& clock() { return clock_; }

    Status Open(const std::string& device) override;
    bool IsOpen() const override { return open_; }
    void Close() override;
    std::optional<LineSettings> GetSettings() override;
    Status SetSettings(const LineSettings& settings) override;
    Timeouts GetTimeouts() const override { return timeouts_; }
    Status SetTimeouts(const Timeouts& timeouts) override;
    Status SetQueueSizes(int input, int output) override;
    Status Purge(PurgeQueues queues) override;
    std::optional<ModemStatus> GetModemStatus() override;
    QueueStatus GetQueueStatus() override;
    ReadResult ReadByteWithin(std::optional<int> waitMs) override;
    IoStatus WriteByte(std::uint8_t byte) override;

private:
    Duration Enter();  // charges the call cost and runs the line up to now
    void RunUntil(Duration t);
    void StartNext(Duration at);
    bool Lost(Duration t) const { return lostAt_ && t >= *lostAt_; }
    std::optional<Duration> NextInputAt() const;
    bool Failing(Call call) const { return failing_.count(call) != 0; }

    FakeClock& clock_;
    Duration callCost_{0};
    bool open_ = false;
    int closeCount_ = 0;
    LineSettings settings_;
    Timeouts timeouts_;
    int capacity_ = 4096;

    std::multimap<Duration, std::uint8_t> scriptedInput_;
    std::multimap<Duration, std::optional<ModemStatus>> modemScript_;
    std::optional<ModemStatus> modem_;
    std::optional<Duration> lostAt_;
    std::set<Call> failing_;

    std::deque<std::uint8_t> inputBuffer_;
    std::deque<std::size_t> outputQueue_;  // indices into written_
    std::optional<Duration> headDoneAt_;   // the byte on the wire finishes then
    bool held_ = false;

    std::vector<std::string> opened_;
    std::vector<LineSettings> settingsWritten_;
    std::vector<Timeouts> timeoutsWritten_;
    std::vector<std::pair<int, int>> queueSizes_;
    std::vector<PurgeQueues> purges_;
    std::vector<WrittenByte> written_;
    int maxQueued_ = 0;
    int modemQueries_ = 0;
};

}  // namespace wexal::test
