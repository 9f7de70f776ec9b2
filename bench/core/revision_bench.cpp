#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/atomic_file.h"
#include "revisions/file_lock.h"
#include "revisions/revision_store.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;

fs::path BenchFolder(const char* what) {
    const fs::path dir = fs::temp_directory_path() /
                         (std::string("wexal_revision_bench_") + what + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// A program of mb megabytes whose last line says which version it is.
void WriteProgram(const fs::path& path, std::size_t mb, int version) {
    std::ofstream out(path, std::ios::binary);
    const std::string line = "N0001 G01 X123.456 Y-78.901 Z-1.000 F1200\n";
    std::string block;
    while (block.size() < (std::size_t{1} << 20)) block += line;
    block.resize(std::size_t{1} << 20);
    for (std::size_t i = 0; i < mb; ++i) out << block;
    out << "(VERSION " << version << ")\n";
}

// Replacing a program of mb megabytes by another of a different size: the
// old one is kept by a hard link, so the keeping costs the same at any size.
// `sameSize` makes the new program as long as the old one, so that it is
// compared byte for byte before anything is kept.
void Replace(benchmark::State& state, bool sameSize) {
    const auto mb = static_cast<std::size_t>(state.range(0));
    const fs::path dir = BenchFolder(sameSize ? "compare" : "link");
    const fs::path file = dir / "BIG.NC";
    const fs::path incoming = dir / ".incoming";
    WriteProgram(file, mb, 0);
    const RevisionPolicy policy = RevisionPolicyOf(3);
    int version = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // 1 and 2 digits alternate: a new size, unless sizes are to match.
        ++version;
        WriteProgram(incoming, mb, sameSize ? 10 + version % 90 : version % 2 ? 5 : 55);
        state.ResumeTiming();
        const Replacement replaced = ReplaceKeepingRevision(file, incoming, policy, [&] {
            std::error_code error;
            fs::rename(incoming, file, error);
            return error.value();
        });
        if (!replaced.ok() || replaced.revision.empty()) state.SkipWithError("nothing kept");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mb) << 20);
    fs::remove_all(dir);
}

void BM_KeepRevisionByLink(benchmark::State& state) { Replace(state, false); }
void BM_KeepRevisionAfterComparing(benchmark::State& state) { Replace(state, true); }

// Where hard links do not work (FAT, some shares) the revision is a copy.
void BM_KeepRevisionByCopy(benchmark::State& state) {
    const auto mb = static_cast<std::size_t>(state.range(0));
    const fs::path dir = BenchFolder("copy");
    WriteProgram(dir / "BIG.NC", mb, 0);
    for (auto _ : state) {
        const fs::path copy = dir / "copy.NC";
        if (revision_parts::CopyRevision(dir / "BIG.NC", copy) != 0) state.SkipWithError("copy");
        state.PauseTiming();
        fs::remove(copy);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mb) << 20);
    fs::remove_all(dir);
}

BENCHMARK(BM_KeepRevisionByLink)->ArgName("MB")->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeepRevisionAfterComparing)
    ->ArgName("MB")
    ->Arg(1)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeepRevisionByCopy)->ArgName("MB")->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

// Two processes replacing one file `replacements` times between them, each
// write whole and flushed as the window and the server write: the time of one
// replacement, and a failure if a single program is missing at the end.
void BM_TwoProcessesReplaceOneFile(benchmark::State& state) {
    const int replacements = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const fs::path dir = BenchFolder("race");
        const fs::path file = dir / "O1234.NC";
        const auto write = [&](const std::string& who) {
            const RevisionPolicy all = RevisionPolicyOf(1 << 30, who);
            bool ok = true;
            for (int i = 0; i < replacements / 2; ++i) {
                ok = WriteFileAtomically(file, who + std::to_string(i), LinkMode::Follow, all) &&
                     ok;
            }
            return ok;
        };
        const pid_t child = ::fork();
        if (child == 0) ::_exit(write("B") ? 0 : 1);
        const bool parentOk = write("A");
        int status = 0;
        ::waitpid(child, &status, 0);
        state.PauseTiming();
        std::set<std::string> kept = {ReadRegularFile(file, 1 << 20).bytes};
        for (const Revision& revision : ListRevisions(file).revisions) {
            kept.insert(ReadRegularFile(revision.path, 1 << 20).bytes);
        }
        if (!parentOk || status != 0 || kept.size() != static_cast<std::size_t>(replacements)) {
            state.SkipWithError("a program was lost or a write failed");
        }
        fs::remove_all(dir);
        state.ResumeTiming();
    }
    state.counters["per_replacement"] = benchmark::Counter(
        static_cast<double>(replacements), benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}

BENCHMARK(BM_TwoProcessesReplaceOneFile)
    ->ArgName("N")
    ->Arg(20)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
