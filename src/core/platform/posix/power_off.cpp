#include "platform/power_off.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/error_text.h"

extern char** environ;

namespace wexal {

Status AskTheSystemToStop(SystemStop how) {
    std::string program = "systemctl";
    std::string verb = SystemStopVerb(how);
    char* argv[] = {program.data(), verb.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv, environ);
    if (spawned != 0) return Status::Error("systemctl\n" + SystemErrorText(spawned));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return Status::Error("systemctl\n" + SystemErrorText(errno));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Status::Error("systemctl " + verb + ": " +
                             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    }
    return Status::Ok();
}

}  // namespace wexal
