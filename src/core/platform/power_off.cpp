#include "platform/power_off.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/error_text.h"
#include "platform/os_file.h"

namespace wexal {

namespace {

Status RecordInstead(const char* logPath, SystemStop how) {
    const int fd = OpenFile(Utf8Path(logPath), O_WRONLY | O_CREAT | O_APPEND | kOpenNoFollow, 0644);
    if (fd < 0) return Status::Error(std::string(logPath) + "\n" + SystemErrorText(errno));
    const std::string line = std::string(SystemStopVerb(how)) + "\n";
    const auto written = ::write(fd, line.data(), static_cast<unsigned>(line.size()));
    const int failure = errno;
    ::close(fd);
    if (written < 0 || static_cast<std::size_t>(written) != line.size()) {
        return Status::Error(std::string(logPath) + "\n" + SystemErrorText(failure));
    }
    return Status::Ok();
}

}  // namespace

const char* SystemStopVerb(SystemStop how) { return how == SystemStop::Halt ? "halt" : "poweroff"; }

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
    return AskTheSystemToStop(how);
}

}  // namespace wexal
