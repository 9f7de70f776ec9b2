// The comparison of two programs by the core alone, for
// bench/core/compare_bench.sh: the time and peak memory of the process are
// the comparison's.
//   compare_run make LINES A B     A, and B with 1% of its lines changed and
//                                  0.25% each inserted and deleted, in runs
//   compare_run every7 LINES A B   A, and B with every 7th line changed
//   compare_run core A B           CompareLines and CountChanges, as the window
//   compare_run stop A B SECONDS   the stop asked after SECONDS: how long the
//                                  comparison takes to return after it
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "revisions/compare_programs.h"
#include "revisions/program_diff.h"

namespace {

using namespace wexal;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A lathe or mill program as CAM writes it: mostly moves, each its own, and
// now and then a line that repeats throughout (coolant, a retract).
class Lines {
public:
    explicit Lines(std::uint32_t seed) : state_(seed) {}

    std::string Next() {
        const std::uint32_t kind = Random(20);
        if (kind == 0) return "G00Z5.\n";
        if (kind == 1) return "M08\n";
        return "G01X" + Number() + "Y" + Number() + (kind < 5 ? "Z" + Number() : "") +
               (kind == 5 ? "F" + std::to_string(100 + Random(900)) : "") + "\n";
    }
    std::uint32_t Random(std::uint32_t below) {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % below;
    }

private:
    std::string Number() {
        const std::uint32_t n = Random(400000);
        return (Random(4) == 0 ? "-" : "") + std::to_string(n / 1000) + "." +
               std::to_string(n % 1000);
    }
    std::uint32_t state_;
};

int Make(long lines, bool every7, const char* aPath, const char* bPath) {
    std::ofstream a(aPath, std::ios::binary), b(bPath, std::ios::binary);
    Lines source(12345), inserted(999), edits(777);
    for (long i = 0; i < lines; ++i) {
        const std::string line = source.Next();
        a << line;
        if (every7) {
            b << (i % 7 == 6 ? "(CHANGED)" + line : line);
            continue;
        }
        // Per 1,000 lines: 10 changed, 2.5 inserted and 2.5 deleted, in runs
        // of one to four lines.
        const std::uint32_t roll = edits.Random(1000);
        if (roll < 10) {
            b << "(CHANGED)" << line;
        } else if (roll == 10) {
            for (std::uint32_t k = 1 + edits.Random(4); k-- > 0;) b << inserted.Next();
            b << line;
        } else if (roll == 11) {
            for (std::uint32_t k = edits.Random(4); k-- > 0 && i + 1 < lines; ++i) {
                a << source.Next();
            }
        } else {
            b << line;
        }
    }
    return a && b ? 0 : 1;
}

// Read as the window reads them.
struct Programs {
    std::shared_ptr<const ComparedProgram> a, b;
};

bool Read(const char* aPath, const char* bPath, Programs& programs) {
    ProgramToCompare a = ReadProgramToCompare(aPath);
    ProgramToCompare b = ReadProgramToCompare(bPath);
    for (const ProgramToCompare* read : {&a, &b}) {
        if (!read->error.empty()) std::fprintf(stderr, "compare_run: %s\n", read->error.c_str());
    }
    programs.a = std::move(a.program);
    programs.b = std::move(b.program);
    return programs.a && programs.b;
}

int Core(const char* aPath, const char* bPath) {
    Programs programs;
    if (!Read(aPath, bPath, programs)) return 2;
    const auto start = Clock::now();
    const Comparison comparison =
        CompareLines(programs.a->lines().text, programs.b->lines().text, {});
    const DiffCounts counts = CountChanges(comparison);
    const double took = Seconds(Clock::now() - start);
    std::printf("%zu and %zu lines: added %zu, removed %zu, changed %zu; compared in %.3f s\n",
                programs.a->lines().text.size(), programs.b->lines().text.size(), counts.added,
                counts.removed, counts.changed, took);
    return comparison.error.empty() ? 0 : 2;
}

int Stop(const char* aPath, const char* bPath, double after) {
    Programs programs;
    if (!Read(aPath, bPath, programs)) return 2;
    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> askedAt{0};
    std::atomic<bool> done{false};
    const auto start = Clock::now();
    std::thread asker([&] {
        const auto when = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(after));
        while (!done.load() && Clock::now() < when) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (done.load()) return;
        askedAt = Clock::now().time_since_epoch().count();
        stop = true;
    });
    // When the comparison first saw the flag, apart from when it returned.
    Clock::time_point seen{};
    const Comparison comparison =
        CompareLines(programs.a->lines().text, programs.b->lines().text, {}, [&] {
            if (!stop.load()) return false;
            if (seen == Clock::time_point{}) seen = Clock::now();
            return true;
        });
    const auto end = Clock::now();
    done = true;
    asker.join();
    if (!stop.load()) {
        std::printf("%zu lines compared in %.3f s, before the stop was asked\n",
                    programs.a->lines().text.size(), Seconds(end - start));
        return 0;
    }
    const Clock::time_point asked{Clock::duration(askedAt.load())};
    std::printf(
        "%zu and %zu lines: stop asked after %.3f s; seen %.6f s and returned %.6f s later (%s)\n",
        programs.a->lines().text.size(), programs.b->lines().text.size(), Seconds(asked - start),
        Seconds(seen - asked), Seconds(end - asked),
        comparison.error.empty() ? "finished" : "stopped");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if ((command == "make" || command == "every7") && argc == 5) {
        return Make(std::atol(argv[2]), command == "every7", argv[3], argv[4]);
    }
    if (command == "core" && argc == 4) return Core(argv[2], argv[3]);
    if (command == "stop" && argc == 5) return Stop(argv[2], argv[3], std::atof(argv[4]));
    std::fputs("usage: compare_run make|every7 LINES A B | core A B | stop A B SECONDS\n", stderr);
    return 2;
}
