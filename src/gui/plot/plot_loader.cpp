#include "plot/plot_loader.h"

#include <utility>

#include "platform/message_service.h"

namespace wexal {

namespace {

// Moves waiting for the window before the reader waits: a few batches'
// worth, a few megabytes.
constexpr std::size_t kMaxQueuedMoves = 64 * 1024;

}  // namespace

// The reader's boxes: its question gets the answer given before, and what it
// tells is kept for the window's status line.
class PlotLoader::Service : public MessageService {
public:
    Service(PlotLoader& loader, bool yes) : loader_(loader), yes_(yes) {}
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return yes_; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override {
        return false;
    }
    void Tell(const std::string& text, const std::string&, MessageIcon) override {
        const std::lock_guard lock(loader_.mutex_);
        if (!loader_.messages_.empty()) loader_.messages_ += '\n';
        loader_.messages_ += text;
    }
    bool Unattended() const override { return true; }

private:
    PlotLoader& loader_;
    bool yes_;
};

class PlotLoader::Progress : public ToolProgress {
public:
    explicit Progress(PlotLoader& loader) : loader_(loader) {}
    bool Step(std::size_t) override { return !loader_.cancel_.load(); }
    void Reached(std::uint64_t done, std::uint64_t total) override {
        loader_.total_.store(total);
        loader_.done_.store(done);
    }

private:
    PlotLoader& loader_;
};

PlotLoader::PlotLoader(std::filesystem::path path, ToolpathOptions options, bool lineByLine)
    : path_(std::move(path)) {
    thread_ = std::thread([this, options, lineByLine] { Run(options, lineByLine); });
}

PlotLoader::~PlotLoader() {
    cancel_.store(true);
    {
        const std::lock_guard lock(mutex_);
        room_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void PlotLoader::Run(ToolpathOptions options, bool lineByLine) {
    Service service(*this, lineByLine);
    Progress progress(*this);
    ToolpathRun run = ReadToolpathFile(
        path_, options, service,
        [this](const std::vector<ToolMove>& moves) {
            std::unique_lock lock(mutex_);
            room_.wait(lock, [this] { return cancel_.load() || queued_ < kMaxQueuedMoves; });
            if (cancel_.load()) return false;
            batches_.push_back(moves);
            queued_ += moves.size();
            return true;
        },
        &progress);
    const std::lock_guard lock(mutex_);
    run_ = std::move(run);
    ended_ = true;
}

std::size_t PlotLoader::Drain(ToolpathStore& store) {
    std::deque<std::vector<ToolMove>> taken;
    {
        const std::lock_guard lock(mutex_);
        taken.swap(batches_);
        queued_ = 0;
        room_.notify_all();
    }
    std::size_t count = 0;
    for (const std::vector<ToolMove>& batch : taken) {
        store.Add(batch);
        count += batch.size();
    }
    return count;
}

double PlotLoader::Fraction() const {
    const std::uint64_t total = total_.load();
    if (total == 0) return 0;
    return static_cast<double>(done_.load()) / static_cast<double>(total);
}

bool PlotLoader::Finished() {
    const std::lock_guard lock(mutex_);
    return ended_ && batches_.empty();
}

std::string PlotLoader::Messages() {
    const std::lock_guard lock(mutex_);
    return messages_;
}

}  // namespace wexal
