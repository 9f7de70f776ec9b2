#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "config/ini_file.h"
#include "config/settings_keys.h"
#include "config/settings_store.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;

// A settings folder with the files as a shop would have them: Japanese folder
// and names, a few applications configured.
class SettingsFolder {
public:
    SettingsFolder()
        : dir_(fs::temp_directory_path() / ("wexal_bench_" + std::to_string(::getpid()))) {
        fs::create_directories(dir_);
        files_ = {dir_ / "Wexal.INI", dir_ / "OutApp_Sub.ini"};
        Settings s;
        s.DirPath = "/home/nc/金型プログラム/ﾏｼﾆﾝｸﾞｾﾝﾀ1号機";
        s.Port = "COM3";
        s.SendMsg1 = "(ﾁｪｯｸ用)";
        s.EditApp = "/usr/bin/gedit";
        s.OutApp[2] = {"C:\\TOOLS\\VIEW.EXE $A", "Y", "ビューア"};
        s.OutApp[21] = {"/opt/verify/bin/verify $A $C", "Y", "検証"};
        SettingsStore::Save(s, files_);
    }
    ~SettingsFolder() { fs::remove_all(dir_); }

    SettingsFiles files() const { return files_; }
    std::string MainBytes() const {
        std::ifstream in(files_.mainIni, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    fs::path dir_;
    SettingsFiles files_;
};

void BM_ParseAndReadMainIni(benchmark::State& state) {
    const SettingsFolder folder;
    const std::string bytes = folder.MainBytes();
    for (auto _ : state) {
        const IniFile ini = IniFile::Parse(bytes);
        for (const SettingsEntry& entry : kMainEntries)
            benchmark::DoNotOptimize(ini.Read(entry.section, entry.key));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseAndReadMainIni);

void BM_SettingsLoadSaveRoundTrip(benchmark::State& state) {
    const SettingsFolder folder;
    for (auto _ : state) {
        Settings s;
        SettingsFiles files = folder.files();
        SettingsStore::Load(s, files);
        benchmark::DoNotOptimize(SettingsStore::Save(s, files));
    }
}
BENCHMARK(BM_SettingsLoadSaveRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
