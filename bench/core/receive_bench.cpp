#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "serial/receive_engine.h"
#include "serial/tape_code.h"
#include "support/fake_clock.h"
#include "support/fake_serial_port.h"
#include "support/fake_transfer_host.h"
#include "support/link_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;
using namespace std::chrono_literals;

class NullMessages : public MessageService {
public:
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return false; }
    void Tell(const std::string&, const std::string&, MessageIcon) override { ++told; }
    int told = 0;
};

using test::ForwardingPort;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::size_t CountLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

// 100,000 program lines in ten programs of 10,000, punched in ISO at 19200
// baud (8N1, 10 bits a byte) on the fake port with its virtual clock. Counters:
// line_s the time the bytes take on the line, cpu_s the process CPU time the
// receive used, cpu_pct their ratio; complete is 1 when every program file
// holds its lines.
void BM_Receive100kLinesAt19200(benchmark::State& state) {
    constexpr int kPrograms = 10;
    constexpr int kLinesPerProgram = 10'000;
    const fs::path dir = fs::temp_directory_path() / ("wexal_rbench_" + std::to_string(::getpid()));
    for (auto _ : state) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        test::FakeClock clock;
        test::FakeSerialPort port(clock);
        test::FakeTransferHost host(clock);
        NullMessages messages;
        NoReceivePanel panel;
        Settings settings;
        settings.DirPath = dir.string();
        settings.Speed = "19200,8,N,1";
        settings.Signal = "N";
        settings.Add_No = "N";
        settings.StartChar = "Y";
        settings.EndChar = "Y";
        SerialLink link;
        link.env.settings = &settings;
        link.env.host = &host;
        link.env.messages = &messages;
        link.env.createPort = [&port](const std::string&) {
            return std::make_unique<ForwardingPort>(port);
        };
        port.SetModemStatus(ModemStatus{true, true, false, true});

        std::string tape = "%\n";
        for (int p = 0; p < kPrograms; ++p) {
            tape += "O" + std::to_string(1000 + p) + "\n";
            for (int i = 1; i < kLinesPerProgram; ++i)
                tape += "G1X" + std::to_string(i % 1000) + ".5\n";
        }
        tape += "%\n";
        const auto byteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 19200);
        auto at = std::chrono::nanoseconds(1ms);
        for (const char c : tape) {
            port.ScriptInputByte(at, IsoEncode(static_cast<std::uint8_t>(c)));
            at += byteTime;
        }

        ReceiveEnvironment env;
        env.link = &link;
        env.panel = &panel;
        const double cpuBefore = ProcessCpuSeconds();
        const ReceiveResult result = ReceiveFile(ReceiveRequest{}, env);
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        const double lineSeconds = std::chrono::duration<double>(at).count();

        bool complete = result.end == ReceiveEnd::Completed &&
                        result.completedFiles.size() == static_cast<std::size_t>(kPrograms);
        for (int p = 0; p < kPrograms && complete; ++p) {
            const fs::path file = dir / ("O" + std::to_string(1000 + p) + ".NC");
            complete = CountLines(file) == static_cast<std::size_t>(kLinesPerProgram) + 2;
        }
        state.counters["line_s"] = lineSeconds;
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_pct"] = 100.0 * cpu / lineSeconds;
        state.counters["complete"] = complete ? 1 : 0;
        if (!complete) state.SkipWithError("the received programs are not complete");
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_Receive100kLinesAt19200)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
