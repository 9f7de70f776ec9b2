// wexal-dnc: the DNC server. Every machine of Machines.ini keeps its port
// open, saves what its NC punches and answers its requests; no window, no
// questions. SIGTERM ends it (exit 0), SIGHUP re-reads Machines.ini.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dnc/dnc_server.h"
#include "platform/program_folder.h"

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
               "  (REQ 名前) や (DRIP 名前) の要求に送信で応えます。\n"
               "  SIGTERM で終了（転送中は中止）、SIGHUP で Machines.ini を読み直します。\n",
               to);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path config;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
        if (arg == "--config" && i + 1 < argc) {
            config = argv[++i];
        } else if (arg.starts_with("--config=")) {
            config = std::string(arg.substr(9));
        } else {
            std::fprintf(stderr, "wexal-dnc: 引数が正しくありません: %s\n", argv[i]);
            return Usage(stderr, kCannotStart);
        }
    }

    // The signals are taken by this thread alone, at sigwait; every machine's
    // thread inherits the mask.
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGTERM);
    sigaddset(&wanted, SIGINT);
    sigaddset(&wanted, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &wanted, nullptr);
    // A network port or the journal that goes away is an error to see, not a death.
    signal(SIGPIPE, SIG_IGN);

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
        int signal = 0;
        if (sigwait(&wanted, &signal) != 0) continue;
        if (signal == SIGHUP) {
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
