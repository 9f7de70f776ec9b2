// wexal-dnc: the DNC server. Every machine of Machines.ini keeps its port
// open, saves what its NC punches and answers its requests; no window, no
// questions. SIGTERM (Ctrl+C on Windows) ends it (exit 0), SIGHUP re-reads
// Machines.ini.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dnc/dnc_server.h"
#include "platform/os_file.h"
#include "platform/program_folder.h"
#include "platform/server_process.h"

namespace {

constexpr int kCannotStart = 2;
// SIGTERM must end the process within 5 seconds, transfers' abort paths included.
constexpr std::chrono::milliseconds kStopBudget{4500};

void WriteOut(std::string_view line) {
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int Usage(FILE* to, int status) {
    std::fputs("使い方: wexal-dnc [--config Machines.ini]\n"
               "  プログラムフォルダの Machines.ini（または --config のファイル）の機械ごとに\n"
               "  ポートを開いたまま、ＮＣが出力したプログラムを受信して保存し、\n"
               "  (REQ 名前) や (DRIP 名前) の要求に送信で応えます。\n",
               to);
    std::fputs(wexal::ServerRequestsHelp(), to);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    wexal::PrepareConsoleOutput();
    const std::vector<std::string> args = wexal::Utf8Arguments(argc, argv);
    std::filesystem::path config;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
        if (arg == "--config" && i + 1 < args.size()) {
            config = wexal::Utf8Path(args[++i]);
        } else if (arg.starts_with("--config=")) {
            config = wexal::Utf8Path(arg.substr(9));
        } else {
            std::fprintf(stderr, "wexal-dnc: 引数が正しくありません: %s\n", args[i].c_str());
            return Usage(stderr, kCannotStart);
        }
    }

    // Before any machine's thread starts, so that each inherits it.
    wexal::TakeServerRequests();

    wexal::DncShared shared;
    shared.programFolder = wexal::ProgramFolder();
    shared.writeLine = WriteOut;
    if (config.empty()) config = shared.programFolder / "Machines.ini";

    wexal::DncServer server(shared, config);
    if (const std::string error = server.Start(); !error.empty()) {
        std::fprintf(stderr, "wexal-dnc: %s\n", error.c_str());
        return kCannotStart;
    }
    while (true) {
        if (wexal::WaitServerRequest() == wexal::ServerRequest::Reload) {
            server.Reload();
            continue;
        }
        shared.Say("wexal-dnc", "終了します。");
        const bool ended = server.Stop(kStopBudget);
        std::fflush(stdout);
        // A thread that could not end (a device that hangs in the kernel)
        // must not keep the process: the exit does not wait for it.
        if (!ended) std::_Exit(0);
        return 0;
    }
}
