#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "config/settings.h"

namespace wexal {

// One machine of Machines.ini: a section such as [MC1].
struct MachineConfig {
    std::string name;        // the section's name, as the log shows it
    Settings settings;       // Wexal.INI with the section's own keys laid over it
    std::string sendDir;     // where requested programs are taken from
    std::string receiveDir;  // where punched programs are saved
    bool receiveDirIsSendDir = false;  // the section has no ReceiveDir of its own
    // How long the answer to a request waits for the NC's DC1 (Signal "Y")
    // before it is given up on its abort path: the machine listens again.
    int requestWaitSeconds = 300;
    // How long a receive that has begun may hear nothing before it is cut
    // off (ReceiveIdle); 0: never.
    int receiveIdleSeconds = 10;
    // Everything the machine's behaviour depends on, the device its port
    // names included; a reload leaves a machine whose text is unchanged alone.
    std::string fingerprint;
};

struct MachinesLoad {
    std::vector<MachineConfig> machines;
    // Machines.ini could not be read or names no usable machine: the server
    // cannot start (the text says why).
    std::string error;
    // Said once and otherwise harmless: a section left out, a key ignored.
    std::vector<std::string> notes;
};

// Reads Machines.ini. Each section is a machine. SendDir and ReceiveDir are
// its folders (SendDir defaults to its DirPath, ReceiveDir to SendDir); every
// key of Wexal.INI's [Setting] and [Options] may stand in the section under
// its own name, and a key the section leaves out comes from Wexal.INI, then
// the default. RequestWait (seconds, default 300) limits the wait for the
// NC's DC1 before a requested program goes out. ReceiveIdle (seconds, 0 to
// 3600, default 10; also under [Options] of Wexal.INI) cuts off a receive
// that has gone quiet. AutoSelect is never used:
// nobody is there to type a number.
//
// The file is UTF-8 after a byte-order mark or when it is valid UTF-8 as a
// whole, else cp932. It is refused as a whole (error) for two sections of one
// name in any case, two sections on one port (the device the name resolves
// to), or a section name with control characters or "]".
MachinesLoad LoadMachines(const std::filesystem::path& machinesIni,
                          const std::filesystem::path& mainIni,
                          const std::filesystem::path& programFolder);

// Why the machine cannot work with its folders, "SendDir「…」が無い" and the
// like, ready for "ため、…"; "" when SendDir is a folder it can read and
// ReceiveDir one it can really create a file in.
std::string CheckMachineFolders(const MachineConfig& machine);

}  // namespace wexal
