#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "programs/file_loader.h"
#include "serial/send_engine.h"
#include "support/fake_send_panel.h"
#include "support/link_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;
using namespace std::chrono_literals;

class YesMessages : public MessageService {
public:
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return true; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return true; }
    void Tell(const std::string&, const std::string&, MessageIcon) override {}
};

// An NC program of about the given size: numbered lines as a CAM system writes them.
std::string Program(std::size_t bytes) {
    std::string text = "%\r\nO1000(BENCH)\r\n";
    for (int n = 1; text.size() < bytes; ++n) {
        text += "N" + std::to_string(n) + "G01X" + std::to_string(n % 997) + ".125Y-" +
                std::to_string(n % 313) + ".5F300\r\n";
    }
    return text + "M30\r\n%\r\n";
}

class Folder {
public:
    Folder() : dir_(fs::temp_directory_path() / ("wexal_send_bench_" + std::to_string(getpid()))) {
        fs::create_directories(dir_);
        setenv("WEXAL_POWEROFF_LOG", (dir_ / "poweroff.log").c_str(), 1);
    }
    ~Folder() { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return name;
    }
    const fs::path& path() const { return dir_; }

private:
    fs::path dir_;
};

// One minute of line time at the line's rate, sent against an NC that takes
// bytes at that rate (the fake port on a virtual clock). Reports the transfer
// against the line's own time and the CPU the engine spends per second of it.
void BM_SendOneMinuteProgram(benchmark::State& bench) {
    const int baud = static_cast<int>(bench.range(0));
    const std::string speed = std::to_string(baud) + (baud == 19200 ? ",8,N,1" : ",8,N,2");
    const double bitsPerByte = baud == 19200 ? 10.0 : 11.0;
    const auto bytes = static_cast<std::size_t>(60.0 * baud / bitsPerByte);
    Folder folder;
    YesMessages messages;
    const std::string name = folder.Write("O1000.NC", Program(bytes));

    double transferSeconds = 0;
    double lineSeconds = 0;
    double cpuSeconds = 0;
    std::size_t sent = 0;
    for (auto _ : bench) {
        test::LinkRig rig(messages);
        rig.settings.Speed = speed;
        rig.settings.Signal = "Y";
        rig.settings.DirPath = folder.path().string();
        rig.port.ScriptInput(20ms, "\x11");
        test::FakeSendPanel panel;
        SendEnvironment env;
        env.link = &rig.link;
        env.panel = &panel;
        env.log = TransferLog(folder.path() / "Wexal.log");
        SendState state = PrepareSend(folder.path().string(), name,
                                      LoadProgram(folder.path().string(), name, messages),
                                      {}, false, false);

        const std::clock_t cpuStart = std::clock();
        const SendOutcome outcome = SendFiles(state, env);
        const std::clock_t cpuEnd = std::clock();
        if (outcome != SendOutcome::Completed) bench.SkipWithError("send did not complete");

        // From the first byte taken to the last one off the wire: what the
        // driver still held when the last byte came goes out at the line rate.
        const auto& written = rig.port.Written();
        const double byteSeconds = bitsPerByte / baud;
        const double first = std::chrono::duration<double>(written.front().handedAt).count();
        const double last = std::chrono::duration<double>(written.back().handedAt).count() +
                            written.back().queuedAfter * byteSeconds;
        transferSeconds += last - first;
        lineSeconds += static_cast<double>(written.size()) * byteSeconds;
        cpuSeconds += static_cast<double>(cpuEnd - cpuStart) / CLOCKS_PER_SEC;
        sent += written.size();
    }
    bench.counters["bytes_per_s"] = sent / transferSeconds;
    bench.counters["line_bytes_per_s"] = baud / bitsPerByte;
    bench.counters["time_over_line_pct"] = (transferSeconds / lineSeconds - 1.0) * 100.0;
    bench.counters["cpu_of_transfer_pct"] = cpuSeconds / transferSeconds * 100.0;
}
BENCHMARK(BM_SendOneMinuteProgram)->Arg(4800)->Arg(9600)->Arg(19200)->Unit(benchmark::kMillisecond);

// The view of a 10 MB program: opening it and indexing all of it, and
// reaching line i to highlight it.
class TenMegabytes {
public:
    TenMegabytes() : name_(folder_.Write("BIG.NC", Program(10 * 1024 * 1024))) {}
    SendView Load() {
        return SendView(LoadProgram(folder_.path().string(), name_, messages_).program);
    }

private:
    Folder folder_;
    YesMessages messages_;
    std::string name_;
};

void BM_LoadTenMegabyteView(benchmark::State& bench) {
    TenMegabytes file;
    for (auto _ : bench) {
        const SendView view = file.Load();
        benchmark::DoNotOptimize(view.LineCount());
    }
}
BENCHMARK(BM_LoadTenMegabyteView)->Unit(benchmark::kMillisecond);

void BM_LineOfTenMegabyteView(benchmark::State& bench) {
    TenMegabytes file;
    const SendView view = file.Load();
    const auto index = static_cast<std::size_t>(bench.range(0));
    if (index >= view.LineCount()) bench.SkipWithError("program too short");
    for (auto _ : bench) benchmark::DoNotOptimize(view.Line(index));
}
BENCHMARK(BM_LineOfTenMegabyteView)->Arg(0)->Arg(199999);

}  // namespace
