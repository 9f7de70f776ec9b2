// Time and peak memory of one settings load or save, for bench/core/ini_size.sh.
//   ini_size make <blank|realistic> <megabytes> <file>
//   ini_size <load|save> <file>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "config/settings_store.h"
#include "ini_samples.h"

namespace {

long PeakRssKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ini_size make <blank|realistic> <megabytes> <file>\n"
                 "       ini_size <load|save> <file>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace wexal;
    if (argc == 5 && std::string_view(argv[1]) == "make") {
        const std::size_t size = std::strtoull(argv[3], nullptr, 10) << 20;
        const std::string text = std::string_view(argv[2]) == "blank" ? bench::BlankLinesIni(size)
                                                                      : bench::RealisticIni(size);
        std::ofstream(argv[4], std::ios::binary)
            .write(text.data(), static_cast<std::streamsize>(text.size()));
        return 0;
    }
    if (argc != 3) return Usage();
    const std::string_view op = argv[1];
    if (op != "load" && op != "save") return Usage();

    const std::filesystem::path file = argv[2];
    SettingsFiles files;
    files.mainIni = file;
    files.outAppIni = file.parent_path() / "OutApp_Sub.ini";
    Settings s;
    // A save starts from what a load gave, as at the end of a session; only
    // the save itself is timed, but the peak covers both.
    if (op == "save") SettingsStore::Load(s, files);
    const long baseKiB = PeakRssKiB();
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    if (op == "load") {
        SettingsStore::Load(s, files);
    } else {
        ok = static_cast<bool>(SettingsStore::Save(s, files));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %s: %.3f s, peak RSS %.1f MB (%.1f MB before)%s\n", op.data(),
                file.filename().c_str(), seconds, PeakRssKiB() / 1024.0, baseKiB / 1024.0,
                ok ? "" : " FAILED");
    return ok ? 0 : 1;
}
