#include "support/debian_samples.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "support/test_env.h"

namespace wexal::test {

namespace fs = std::filesystem;

namespace {

bool ProgramExtension(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".nc" || extension == ".ngc" || extension == ".tap" ||
           extension == ".cnc" || extension == ".gcode" || extension == ".gc";
}

SamplePrograms Fetch(const fs::path& dir) {
    SamplePrograms samples;
    samples.package = "linuxcnc-uspace";
    if (std::system("command -v apt-get >/dev/null && command -v dpkg >/dev/null") != 0) {
        samples.skip = "apt-get or dpkg missing: no Debian samples";
        return samples;
    }
    const std::string in = "cd '" + dir.string() + "' && ";
    const std::string download =
        in + "timeout 25 apt-get download " + samples.package + " >download.log 2>&1";
    if (std::system(download.c_str()) != 0) {
        // The package lists may be old or missing: renewed once.
        const std::string update =
            "timeout 25 apt-get update >'" + (dir / "update.log").string() + "' 2>&1";
        if (std::system(update.c_str()) != 0 || std::system(download.c_str()) != 0) {
            samples.skip = "the Debian archive cannot be reached within 25 s: " +
                           ReadFileBytes(dir / "download.log").substr(0, 300);
            return samples;
        }
    }
    if (std::system((in + "dpkg -x " + samples.package + "_*.deb x").c_str()) != 0) {
        samples.error = "dpkg -x failed on " + samples.package;
        return samples;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir / "x")) {
        if (entry.is_regular_file() && ProgramExtension(entry.path())) {
            samples.files.push_back(entry.path());
        }
    }
    std::sort(samples.files.begin(), samples.files.end());
    return samples;
}

}  // namespace

const SamplePrograms& DebianSamplePrograms() {
    // The folder lives as long as the process, so each test of a run that
    // wants the samples takes the same download.
    static const TempDir dir;
    static const SamplePrograms samples = Fetch(dir.path());
    return samples;
}

}  // namespace wexal::test
