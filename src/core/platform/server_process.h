#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a program without a window needs of its process: its arguments as
// UTF-8, and the requests to stop or to re-read its configuration.
namespace wexal {

// The command line's arguments after the program's name, as UTF-8 (on
// Windows from the wide command line, since argv is in the ANSI code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Readies the console for UTF-8 text, where it has a code page of its own,
// and standard output and error for lines that end in LF alone.
void PrepareConsoleOutput();

enum class ServerRequest { Stop, Reload };
// Takes the requests from now on, before any thread starts: SIGTERM and
// SIGINT stop, SIGHUP reloads, and a broken pipe is an error to see, not a
// death. On Windows Ctrl+C, Ctrl+Break, closing the console and logging off
// stop; nothing reloads.
void TakeServerRequests();
// Waits for the next request.
ServerRequest WaitServerRequest();
// True when a stop waits to be taken by WaitServerRequest: what a reload
// looks at so as not to keep the stop waiting.
bool StopPending();
// Puts the bytes out on standard output in full, waiting as long as the
// output holds them; false once it is gone for good (a pipe nobody will read).
// Beside the C library's buffer: a thread stuck here holds no lock of it.
bool WriteStandardOutput(std::string_view bytes);
// The line of a server's usage that says how it is stopped and reloaded.
const char* ServerRequestsHelp();

}  // namespace wexal
