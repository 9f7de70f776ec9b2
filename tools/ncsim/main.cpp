// ncsim: plays an NC machine tool on a pseudo-terminal (see ncsim --help).
#include <cstdio>
#include <string>
#include <vector>

#include "modes.h"
#include "options.h"
#include "pty_port.h"
#include "report.h"

int main(int argc, char** argv) {
    using namespace ncsim;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<Options> options = ParseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        return 2;
    }
    if (options->mode == Options::Mode::Help) {
        std::fputs(kHelpText, stdout);
        return 0;
    }

    InstallStopHandlers();
    PtyPort port;
    if (!port.Open(options->line, error)) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        return 1;
    }
    if (!options->linkPath.empty() && !port.MakeLink(options->linkPath, error)) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        return 1;
    }
    if (!options->pathFile.empty() &&
        !WriteWholeFile(options->pathFile, port.slavePath() + "\n", error)) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", port.slavePath().c_str());
    std::fflush(stdout);

    Report report;
    int status = options->mode == Options::Mode::Receive ? RunReceive(*options, port, report)
                                                         : RunPunch(*options, port, report);
    port.RemoveLink();
    if (options->reportFile.empty()) {
        std::fputs(report.Text().c_str(), stdout);
    } else if (!WriteWholeFile(options->reportFile, report.Text(), error)) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        status = 1;
    }
    return status;
}
