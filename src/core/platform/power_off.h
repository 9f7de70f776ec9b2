#pragma once

#include "platform/status.h"

namespace wexal {

// How the machine is stopped after a transfer that ends the program.
enum class SystemStop {
    Halt,      // shut down without switching off
    PowerOff,  // shut down and switch off
};

// Prepares the power-off after a transfer. With WinVer (a machine that cannot
// switch itself off) it requests the shutdown without power-off at once and
// returns false; otherwise it returns true and the caller requests the
// power-off. On Linux the right to stop the machine is logind's to grant, so
// there is nothing to enable beforehand.
bool ShutDownPC(bool winVer);

// Asks logind to stop the machine (systemctl, started directly, never through
// a shell). When WEXAL_POWEROFF_LOG names a file, a line "halt" or "poweroff"
// is appended to it instead, so that runs and tests never stop the machine.
Status RequestSystemStop(SystemStop how);

// The OS's own request, without the log of WEXAL_POWEROFF_LOG: systemctl on
// Linux, ExitWindowsEx on Windows.
Status AskTheSystemToStop(SystemStop how);
// "halt" or "poweroff".
const char* SystemStopVerb(SystemStop how);

}  // namespace wexal
