// wexal-dnc: the DNC server. Every machine of Machines.ini keeps its port
// open, saves what its NC punches and answers its requests; no window, no
// questions. SIGTERM (Ctrl+C on Windows) ends it (exit 0), SIGHUP re-reads
// Machines.ini. Standard output is a journal nobody has to read: a stalled
// one holds neither a machine nor the end.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dnc/dnc_server.h"
#include "dnc/server_output.h"
#include "platform/os_file.h"
#include "platform/program_folder.h"
#include "platform/server_process.h"

namespace {

constexpr int kCannotStart = 2;
// SIGTERM must end the process within 5 seconds, transfers' abort paths included.
constexpr std::chrono::milliseconds kStopBudget{4500};
// What the last lines may take of those 5 seconds, and of the time before them.
constexpr std::chrono::milliseconds kEndBudget{4700};
constexpr std::chrono::milliseconds kLastLinesBudget{1000};

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

    // Started after TakeServerRequests, so that its thread takes no signal.
    wexal::ServerOutput output(wexal::WriteStandardOutput);
    wexal::DncShared shared;
    shared.programFolder = wexal::ProgramFolder();
    shared.writeLine = [&output](std::string_view line) { output.Post(line); };
    shared.ending = wexal::StopPending;
    if (config.empty()) config = shared.programFolder / "Machines.ini";

    wexal::DncServer server(shared, config);
    if (const std::string error = server.Start(); !error.empty()) {
        (void)output.Drain(kLastLinesBudget);
        std::fprintf(stderr, "wexal-dnc: %s\n", error.c_str());
        return kCannotStart;
    }
    while (wexal::WaitServerRequest() == wexal::ServerRequest::Reload) {
        // A stop that came with the reload, or during it, is not kept waiting.
        if (wexal::StopPending()) break;
        server.Reload();
    }
    const auto stopAsked = std::chrono::steady_clock::now();
    shared.Say("wexal-dnc", "終了します。");
    const bool ended = server.Stop(kStopBudget);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        stopAsked + kEndBudget - std::chrono::steady_clock::now());
    (void)output.Drain(std::clamp(left, std::chrono::milliseconds(0), kLastLinesBudget));
    // A thread that could not end (a device that hangs in the kernel) must
    // not keep the process: the exit does not wait for it. Nor does it wait
    // for an output nobody reads; the writer is left to the exit.
    if (!ended) std::_Exit(0);
    return 0;
}
