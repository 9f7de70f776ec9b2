#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nctools/toolpath.h"
#include "nctools/toolpath_file.h"
#include "nctools/toolpath_store.h"

namespace wexal {

// Reads a program's toolpath on a thread of its own, so that the window
// stays responsive and Esc works on a file of any size; the window takes
// the moves that have arrived on its own thread (Drain) and draws them.
// The reader waits while too many moves are waiting, so memory stays
// bounded whatever the file's size. Destroying it cancels and joins.
class PlotLoader {
public:
    // lineByLine: the operator already said yes to reading a file that is
    // empty or starts with NUL line by line; the reader's question gets that
    // answer, since no box can be shown from its thread.
    PlotLoader(std::filesystem::path path, ToolpathOptions options, bool lineByLine);
    ~PlotLoader();
    PlotLoader(const PlotLoader&) = delete;
    PlotLoader& operator=(const PlotLoader&) = delete;

    // Moves the arrived moves into store; the number moved.
    std::size_t Drain(ToolpathStore& store);
    // Bytes read of the file, 0 to 1.
    double Fraction() const;
    // The reader has ended and every move has been drained.
    bool Finished();
    // After Finished: the run, and the messages the reader would have shown.
    const ToolpathRun& run() const { return run_; }
    std::string Messages();

private:
    class Service;
    class Progress;
    void Run(ToolpathOptions options, bool lineByLine);

    std::filesystem::path path_;
    std::mutex mutex_;
    std::condition_variable room_;
    std::deque<std::vector<ToolMove>> batches_;
    std::size_t queued_ = 0;
    std::string messages_;
    bool ended_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    ToolpathRun run_;
    std::thread thread_;
};

}  // namespace wexal
