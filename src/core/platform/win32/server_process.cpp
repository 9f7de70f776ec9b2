#include "platform/server_process.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/windows_error.h"

namespace wexal {

namespace {

HANDLE StopEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI OnConsoleEvent(DWORD) {
    SetEvent(StopEvent());
    // Closing the console gives the process a few seconds only after the
    // handler returns: stay here until the server has stopped and exits.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int, char**) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

// Lines end in LF alone, as on POSIX, so scripts read the same bytes from
// either build.
void PrepareConsoleOutput() {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void TakeServerRequests() {
    StopEvent();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ServerRequest WaitServerRequest() {
    WaitForSingleObject(StopEvent(), INFINITE);
    return ServerRequest::Stop;
}

bool StopPending() { return WaitForSingleObject(StopEvent(), 0) == WAIT_OBJECT_0; }

bool WriteStandardOutput(std::string_view bytes) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
        // A console whose text is being selected holds this call; only the
        // writer thread waits.
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(out, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

const char* ServerRequestsHelp() {
    return "  Ctrl+C で終了（転送中は中止）。Machines.ini を変えたときは起動し直します。\n";
}

}  // namespace wexal
