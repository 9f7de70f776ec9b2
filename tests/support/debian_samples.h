#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Debian's sample programs of a CNC controller (linuxcnc-uspace), fetched with
// apt-get download as the tests run, so that tools meet real programs that no
// one here wrote. Nothing of them is kept in the repository.
namespace wexal::test {

struct SamplePrograms {
    std::string package;
    std::vector<std::filesystem::path> files;  // sorted; read-only for the tests
    std::string skip;   // why there are none, when the archive cannot be reached
    std::string error;  // why there are none, when the package came but is unusable
};

// Fetched once a process and unpacked into a temporary folder that goes at
// its end: the programs by their extension (.nc, .ngc, .tap, ...).
const SamplePrograms& DebianSamplePrograms();

}  // namespace wexal::test
