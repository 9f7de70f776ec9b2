#include "dnc/server_output.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace wexal {

struct ServerOutput::State {
    std::function<bool(std::string_view)> write;
    std::size_t limit;
    std::mutex mutex;
    std::condition_variable changed;
    std::string queued;        // whole lines, each ending in LF
    std::uint64_t unsaid = 0;  // dropped since the last note
    bool writing = false;
    bool gone = false;
    bool ending = false;

    bool Idle() const { return gone || (queued.empty() && unsaid == 0 && !writing); }

    // The writer: whatever waits goes out in one write, the note on dropped
    // lines after it, since those lines came after everything queued.
    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        while (true) {
            changed.wait(lock, [this] { return ending || !queued.empty() || unsaid > 0; });
            if (queued.empty() && unsaid == 0) return;
            std::string batch = std::move(queued);
            queued.clear();
            if (unsaid > 0) {
                batch += DroppedNote(unsaid) + '\n';
                unsaid = 0;
            }
            writing = true;
            lock.unlock();
            const bool written = write(batch);
            lock.lock();
            writing = false;
            if (!written) {
                // Nobody will ever read: later lines are not even queued.
                gone = true;
                queued.clear();
                unsaid = 0;
            }
            changed.notify_all();
            if (gone) return;
        }
    }
};

ServerOutput::ServerOutput(std::function<bool(std::string_view bytes)> write, std::size_t limit)
    : state_(std::make_shared<State>()) {
    state_->write = std::move(write);
    state_->limit = limit;
    // The thread keeps the state alive when it outlasts this object.
    std::thread([state = state_] { state->Run(); }).detach();
}

ServerOutput::~ServerOutput() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->ending = true;
    state_->changed.notify_all();
}

void ServerOutput::Post(std::string_view line) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    State& s = *state_;
    if (s.gone) return;
    if (s.queued.size() + line.size() + 1 > s.limit) {
        ++s.unsaid;
        return;
    }
    s.queued.append(line);
    s.queued += '\n';
    s.changed.notify_all();
}

bool ServerOutput::Drain(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, [this] { return state_->Idle(); });
}

std::string ServerOutput::DroppedNote(std::uint64_t count) {
    return "wexal-dnc: （出力が止まっていた間の " + std::to_string(count) + " 行を省きました）";
}

}  // namespace wexal
