#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "files/copy_move.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;

class Unattended : public CopyMoveHost {
public:
    bool Progress(const std::string&, std::uint64_t, std::uint64_t) override { return true; }
    ReplaceChoice AskReplace(const std::string&) override { return ReplaceChoice::Yes; }
};

// One file of `mb` megabytes copied into another folder (after the first
// round over the copy it made before). The copy runs in a child process, so that the peak memory
// reported is the copy's own: it stays the same whatever the file's size.
void BM_CopyFile(benchmark::State& state) {
    const auto mb = static_cast<std::size_t>(state.range(0));
    const fs::path dir =
        fs::temp_directory_path() / ("wexal_copy_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    {
        std::ofstream out(dir / "src" / "BIG.NC", std::ios::binary);
        const std::string line = "N0001 G01 X123.456 Y-78.901 Z-1.000 F1200\n";
        std::string block;
        while (block.size() < (std::size_t{1} << 20)) block += line;
        block.resize(std::size_t{1} << 20);
        for (std::size_t i = 0; i < mb; ++i) out << block;
    }
    long peakKb = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            Unattended host;
            const CopyMoveResult result =
                CopyOrMove({(dir / "src" / "BIG.NC").string()}, (dir / "dst").string(), true, host);
            ::_exit(result.outcome == CopyMoveOutcome::Done ? 0 : 1);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("copy failed");
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mb) << 20);
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
    fs::remove_all(dir);
}

BENCHMARK(BM_CopyFile)
    ->ArgName("MB")
    ->Arg(8)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
