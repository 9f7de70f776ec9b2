// ncsim: plays an NC machine tool on a pseudo-terminal or a TCP port (see ncsim --help).
#include <cstdio>
#include <string>
#include <vector>

#include "modes.h"
#include "options.h"
#include "pty_port.h"
#include "tcp_line.h"
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
    PtyPort pty;
    TcpLine tcp;
    Line* line = &pty;
    std::string where;
    if (!options->serveUrl.empty()) {
        if (!tcp.Listen(options->serveUrl, error)) {
            std::fprintf(stderr, "ncsim: %s\n", error.c_str());
            return 1;
        }
        line = &tcp;
        where = tcp.Url();
    } else {
        if (!pty.Open(options->line, error)) {
            std::fprintf(stderr, "ncsim: %s\n", error.c_str());
            return 1;
        }
        if (!options->linkPath.empty() && !pty.MakeLink(options->linkPath, error)) {
            std::fprintf(stderr, "ncsim: %s\n", error.c_str());
            return 1;
        }
        where = pty.slavePath();
    }
    if (!options->pathFile.empty() && !WriteWholeFile(options->pathFile, where + "\n", error)) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", where.c_str());
    std::fflush(stdout);

    Report report;
    int status = 0;
    switch (options->mode) {
        case Options::Mode::Receive:
            status = RunReceive(*options, *line, report);
            break;
        case Options::Mode::Request:
            status = RunRequest(*options, *line, report);
            break;
        default:
            status = RunPunch(*options, *line, report);
            break;
    }
    report.Add("peer_line", line->PeerLine());
    pty.RemoveLink();
    if (options->reportFile.empty()) {
        std::fputs(report.Text().c_str(), stdout);
    } else if (!WriteWholeFile(options->reportFile, report.Text(), error)) {
        std::fprintf(stderr, "ncsim: %s\n", error.c_str());
        status = 1;
    }
    return status;
}
