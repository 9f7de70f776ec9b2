#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/transfer_host.h"
#include "support/fake_clock.h"

namespace wexal::test {

// A window for transfers in tests and benchmarks: keys go down and up at
// scripted times of the fake clock, sleeps move (or sleep on) that clock,
// and everything shown is recorded.
class FakeTransferHost : public TransferHost {
public:
    using Duration = FakeClock::Duration;

    struct Slept {
        Duration at{};
        std::chrono::microseconds length{};
    };

    explicit FakeTransferHost(FakeClock& clock) : clock_(clock) {}

    // An abort key held down from `from` until `until` (nullopt: not released).
    void HoldAbortKey(Duration from, std::optional<Duration> until = std::nullopt);
    void ScriptAutoSelectNumber(std::optional<std::string> number) {
        autoSelectAnswers_.push_back(std::move(number));
    }
    // Runs at every ProcessPendingEvents, as a window's handlers would.
    void OnEvents(std::function<void()> handler) { onEvents_ = std::move(handler); }

    void ProcessPendingEvents() override;
    bool AbortKeyDown() override;
    bool AbortKeyPressed() override;
    void ReleaseAbortKeys() override;
    void SetDsrLamp(bool on) override { dsrLamp = on; }
    void SetCtsLamp(bool on) override { ctsLamp = on; }
    void SetStatusPanel(int index, const std::string& text) override;
    void SetProgressRange(int maximum) override { progressMaximum = maximum; }
    void SetProgressPosition(int position) override { progressPosition = position; }
    void SetMessageLine(const std::string& text, MessageLineColour colour) override;
    void Sleep(std::chrono::microseconds duration) override;
    std::chrono::nanoseconds Now() override { return clock_.Now(); }
    std::optional<std::string> AskAutoSelectNumber() override;

    // Records.
    std::optional<bool> dsrLamp;
    std::optional<bool> ctsLamp;
    std::vector<std::string> statusPanels = std::vector<std::string>(7);
    int progressMaximum = 0;
    int progressPosition = 0;
    std::string messageLine;
    std::optional<MessageLineColour> messageColour;
    std::vector<Slept> sleeps;
    int eventRounds = 0;
    int releases = 0;
    int autoSelectQuestions = 0;
    bool unansweredAutoSelect = false;

private:
    struct Hold {
        Duration from{};
        std::optional<Duration> until;
        bool reported = false;  // its press was seen by AbortKeyPressed
    };
    bool HeldNow(Duration now) const;

    FakeClock& clock_;
    std::vector<Hold> holds_;
    std::deque<std::optional<std::string>> autoSelectAnswers_;
    std::function<void()> onEvents_;
    Duration releasedAt_ = Duration::min();
};

}  // namespace wexal::test
