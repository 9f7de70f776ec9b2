// Loading and saving large settings files through SettingsStore: time must
// grow linearly with the file. Peak memory: bench/core/ini_size.sh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/settings_store.h"
#include "ini_samples.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;

enum Content : std::int64_t { kBlankLines = 0, kRealistic = 1 };

class LargeSettingsFolder {
public:
    LargeSettingsFolder(std::size_t size, std::int64_t content)
        : dir_(fs::temp_directory_path() / ("wexal_size_bench_" + std::to_string(::getpid()))) {
        fs::create_directories(dir_);
        files_.mainIni = dir_ / "Wexal.INI";
        files_.outAppIni = dir_ / "OutApp_Sub.ini";
        const std::string text =
            content == kBlankLines ? bench::BlankLinesIni(size) : bench::RealisticIni(size);
        std::ofstream(files_.mainIni, std::ios::binary)
            .write(text.data(), static_cast<std::streamsize>(text.size()));
        bytes_ = text.size();
    }
    ~LargeSettingsFolder() { fs::remove_all(dir_); }

    SettingsFiles& files() { return files_; }
    std::size_t bytes() const { return bytes_; }

private:
    fs::path dir_;
    SettingsFiles files_;
    std::size_t bytes_ = 0;
};

void SetLabel(benchmark::State& state) {
    state.SetLabel(state.range(1) == kBlankLines ? "blank lines" : "realistic");
}

void BM_SettingsLoadLarge(benchmark::State& state) {
    LargeSettingsFolder folder(static_cast<std::size_t>(state.range(0)) << 20, state.range(1));
    for (auto _ : state) {
        Settings s;
        SettingsStore::Load(s, folder.files());
        benchmark::DoNotOptimize(s.Port);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * folder.bytes()));
    SetLabel(state);
}

void BM_SettingsSaveLarge(benchmark::State& state) {
    LargeSettingsFolder folder(static_cast<std::size_t>(state.range(0)) << 20, state.range(1));
    Settings s;
    SettingsStore::Load(s, folder.files());
    for (auto _ : state) {
        const Status saved = SettingsStore::Save(s, folder.files());
        if (!saved) state.SkipWithError(saved.message.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * folder.bytes()));
    SetLabel(state);
}

// Sizes in MB. The CI smoke run leaves out the 50 MB cases (bench/CMakeLists.txt).
void Sizes(benchmark::internal::Benchmark* b) {
    for (std::int64_t mb : {1, 50}) {
        for (std::int64_t content : {kBlankLines, kRealistic}) b->Args({mb, content});
    }
    b->ArgNames({"MB", "realistic"})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_SettingsLoadLarge)->Apply(Sizes);
BENCHMARK(BM_SettingsSaveLarge)->Apply(Sizes);

}  // namespace
