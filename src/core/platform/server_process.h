#pragma once

#include <string>
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
// The line of a server's usage that says how it is stopped and reloaded.
const char* ServerRequestsHelp();

}  // namespace wexal
