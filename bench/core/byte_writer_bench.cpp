// The byte writer on the fake port with a line-rate queue: how much of the
// line it keeps busy, how fast it stops on the NC's XOFF, and what CPU it
// costs. bench/core/serial_figures.sh prints the figures.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "serial/byte_io.h"
#include "support/link_fixture.h"

namespace {

using namespace std::chrono_literals;
using wexal::MessageIcon;
using wexal::TapeCode;

class QuietMessages : public wexal::MessageService {
public:
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return false; }
    void Tell(const std::string&, const std::string&, MessageIcon) override { ++told; }
    int told = 0;
};

struct Run {
    QuietMessages messages;
    wexal::test::LinkRig rig;

    Run(int baud, wexal::test::FakeClock::Mode mode) : rig(messages, mode) {
        rig.settings.Speed = std::to_string(baud) + ",8,N,1";
        // A system call costs about a microsecond.
        rig.port.SetCallCost(1us);
        rig.OpenForSend(TapeCode::Iso);
    }
    void Send(std::size_t bytes) {
        for (std::size_t i = 0; i < bytes && !rig.link.abortRequested; ++i) {
            wexal::SendChar(rig.link, static_cast<std::uint8_t>('0' + i % 10));
        }
    }
    // Seconds from the first byte handed over to the last one on the wire.
    double LineSeconds() const {
        const auto& w = rig.port.Written();
        return std::chrono::duration<double>(*w.back().onWireAt - w.front().handedAt).count();
    }
};

// Ten seconds of line time at each offered rate, on the virtual clock.
void BM_ByteWriterThroughput(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    double percent = 0;
    for (auto _ : state) {
        Run run(baud, wexal::test::FakeClock::Mode::Virtual);
        const auto bytes = static_cast<std::size_t>(run.rig.port.LineRateBytesPerSecond() * 10);
        run.Send(bytes);
        run.rig.clock.Advance(5s);
        run.rig.port.OutputQueued();  // lets the line run out
        const double achieved = static_cast<double>(bytes) / run.LineSeconds();
        percent = 100.0 * achieved / run.rig.port.LineRateBytesPerSecond();
    }
    state.counters["line_rate_percent"] = percent;
}
BENCHMARK(BM_ByteWriterThroughput)
    ->Arg(1200)->Arg(2400)->Arg(4800)->Arg(9600)->Arg(14400)->Arg(19200)
    ->Unit(benchmark::kMillisecond);

// The NC says XOFF half a second into a send and XON a second later.
void BM_ByteWriterXoffReaction(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    double afterXoff = 0;
    double maxQueued = 0;
    for (auto _ : state) {
        Run run(baud, wexal::test::FakeClock::Mode::Virtual);
        run.rig.port.ScriptInputByte(500ms, 0x93);
        run.rig.port.ScriptInputByte(1500ms, 0x11);
        run.Send(static_cast<std::size_t>(run.rig.port.LineRateBytesPerSecond() * 3));
        afterXoff = static_cast<double>(std::count_if(
            run.rig.port.Written().begin(), run.rig.port.Written().end(), [](const auto& w) {
                return w.handedAt >= 500ms && w.handedAt < 1500ms;
            }));
        maxQueued = run.rig.port.MaxOutputQueued();
    }
    state.counters["bytes_after_xoff"] = afterXoff;
    state.counters["max_driver_queue"] = maxQueued;
}
BENCHMARK(BM_ByteWriterXoffReaction)->Arg(1200)->Arg(4800)->Arg(19200)->Unit(benchmark::kMillisecond);

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Two seconds at 19200 baud in real time: user and system time against the wall.
void BM_ByteWriterCpuAt19200(benchmark::State& state) {
    double percent = 0;
    for (auto _ : state) {
        Run run(19200, wexal::test::FakeClock::Mode::Real);
        const double cpu0 = CpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        run.Send(1920 * 2);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        percent = 100.0 * (CpuSeconds() - cpu0) / wall;
    }
    state.counters["cpu_percent_of_a_core"] = percent;
}
BENCHMARK(BM_ByteWriterCpuAt19200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
