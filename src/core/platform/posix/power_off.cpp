#include "platform/power_off.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/error_text.h"

extern char** environ;

namespace wexal {

namespace {

const char* VerbOf(SystemStop how) { return how == SystemStop::Halt ? "halt" : "poweroff"; }

Status RecordInstead(const char* logPath, SystemStop how) {
    const int fd = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return Status::Error(std::string(logPath) + "\n" + SystemErrorText(errno));
    const std::string line = std::string(VerbOf(how)) + "\n";
    const ssize_t written = write(fd, line.data(), line.size());
    const int failure = errno;
    close(fd);
    if (written != static_cast<ssize_t>(line.size())) {
        return Status::Error(std::string(logPath) + "\n" + SystemErrorText(failure));
    }
    return Status::Ok();
}

Status RunSystemctl(SystemStop how) {
    std::string program = "systemctl";
    std::string verb = VerbOf(how);
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

}  // namespace

bool ShutDownPC(bool winVer) {
    if (winVer) {
        (void)RequestSystemStop(SystemStop::Halt);
        return false;
    }
    return true;
}

Status RequestSystemStop(SystemStop how) {
    if (const char* logPath = std::getenv("WEXAL_POWEROFF_LOG"); logPath && *logPath) {
        return RecordInstead(logPath, how);
    }
    return RunSystemctl(how);
}

}  // namespace wexal
