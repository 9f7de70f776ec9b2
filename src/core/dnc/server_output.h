#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace wexal {

// The server's standard output, which nobody may be reading: a stuck
// journal, a terminal paused with Ctrl+S, a pipe into a program that hangs.
// Lines are handed to a writer thread through a bounded queue, so a machine
// never waits for the output; a line that finds the queue full is dropped and
// counted, and once the output takes lines again the count is said in a line
// of its own, where the dropped lines would have stood.
class ServerOutput {
public:
    // write: puts the bytes out in full, waiting as long as the output holds
    // them back; false once the output is gone for good (a closed pipe).
    // limit: how many bytes may wait for the output.
    explicit ServerOutput(std::function<bool(std::string_view bytes)> write,
                          std::size_t limit = kDefaultLimit);
    // Never waits for the output: a writer stuck on it is left to the exit.
    ~ServerOutput();
    ServerOutput(const ServerOutput&) = delete;
    ServerOutput& operator=(const ServerOutput&) = delete;

    // One line (UTF-8, no line end); from any thread, never blocking.
    void Post(std::string_view line);
    // Waits up to `limit` until everything posted (and the note on dropped
    // lines) has been written; false when the output still holds it.
    bool Drain(std::chrono::milliseconds limit);
    // Enough for hours of a shop's lines while a terminal is paused.
    static constexpr std::size_t kDefaultLimit = 64 * 1024;

    // "wexal-dnc: （出力が止まっていた間の N 行を省きました）"
    static std::string DroppedNote(std::uint64_t count);

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace wexal
