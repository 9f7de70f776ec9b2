#include "files/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error_text.h"

namespace wexal {

namespace {

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

bool IsFileNameChange(std::uint32_t mask) {
    if ((mask & IN_Q_OVERFLOW) != 0) return true;
    if ((mask & kSelfEvents) != 0) return true;
    return (mask & kNameEvents) != 0 && (mask & IN_ISDIR) == 0;
}

FolderWatch::FolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

Status FolderWatch::Watch(const std::string& folder) {
    if (!fd_) return Status::Error(SystemErrorText(EMFILE));
    const int wd =
        ::inotify_add_watch(fd_.get(), folder.c_str(), kNameEvents | kSelfEvents | IN_ONLYDIR);
    if (wd < 0) {
        const int error = errno;
        Drop();
        return Status::Error(SystemErrorText(error));
    }
    // The same folder under another name (a link) gives back the same
    // descriptor; removing the old one would then remove the new one.
    if (wd_ >= 0 && wd_ != wd) ::inotify_rm_watch(fd_.get(), wd_);
    wd_ = wd;
    folder_ = folder;
    return Status::Ok();
}

Status FolderWatch::Follow(const std::string& folder) {
    if (Watching() && folder == folder_) return Status::Ok();
    return Watch(folder);
}

void FolderWatch::Drop() {
    if (wd_ >= 0) ::inotify_rm_watch(fd_.get(), wd_);
    wd_ = -1;
    folder_.clear();
}

bool FolderWatch::TakeEvents() {
    if (!fd_) return false;
    bool changed = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            // Events of a folder watched before are late news.
            if (event.wd != wd_ && (event.mask & IN_Q_OVERFLOW) == 0) continue;
            if (IsFileNameChange(event.mask)) changed = true;
            if ((event.mask & IN_IGNORED) != 0) {
                wd_ = -1;  // the kernel ended the watch itself
            } else if ((event.mask & IN_MOVE_SELF) != 0) {
                // The watch would follow the folder to its new place; the list
                // names the path, which is watched again at the next refresh.
                Drop();
            }
        }
    }
    return changed;
}

}  // namespace wexal
