#include "support/fake_transfer_host.h"

namespace wexal::test {

void FakeTransferHost::HoldAbortKey(Duration from, std::optional<Duration> until) {
    holds_.push_back({from, until, false});
}

bool FakeTransferHost::HeldNow(Duration now) const {
    for (const Hold& hold : holds_) {
        if (hold.from > releasedAt_ && hold.from <= now && (!hold.until || now < *hold.until)) {
            return true;
        }
    }
    return false;
}

void FakeTransferHost::ProcessPendingEvents() {
    ++eventRounds;
    if (onEvents_) onEvents_();
}

bool FakeTransferHost::AbortKeyDown() { return HeldNow(clock_.Now()); }

bool FakeTransferHost::AbortKeyPressed() {
    const Duration now = clock_.Now();
    bool pressed = HeldNow(now);
    for (Hold& hold : holds_) {
        if (hold.from > releasedAt_ && hold.from <= now && !hold.reported) {
            hold.reported = true;
            pressed = true;
        }
    }
    return pressed;
}

void FakeTransferHost::ReleaseAbortKeys() {
    ++releases;
    releasedAt_ = clock_.Now();
}

void FakeTransferHost::SetStatusPanel(int index, const std::string& text) {
    if (index >= 0 && index < static_cast<int>(statusPanels.size())) statusPanels[index] = text;
}

void FakeTransferHost::SetMessageLine(const std::string& text, MessageLineColour colour) {
    messageLine = text;
    messageColour = colour;
}

void FakeTransferHost::Sleep(std::chrono::microseconds duration) {
    sleeps.push_back({clock_.Now(), duration});
    clock_.Advance(duration);
}

std::optional<std::string> FakeTransferHost::AskAutoSelectNumber() {
    ++autoSelectQuestions;
    if (autoSelectAnswers_.empty()) {
        unansweredAutoSelect = true;
        return std::nullopt;
    }
    std::optional<std::string> answer = std::move(autoSelectAnswers_.front());
    autoSelectAnswers_.pop_front();
    return answer;
}

}  // namespace wexal::test
