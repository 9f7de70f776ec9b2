#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"
#include "platform/unique_fd.h"

namespace wexal {

// The change notification behind the folder watcher: one folder (not its
// subfolders) watched through inotify for files created, deleted and
// renamed. Content changes, times, attributes and subfolders do not count.
//
// It only reports; the caller waits for Fd() to become readable (a socket
// notifier on the window's event loop) and then calls TakeEvents(). No
// thread is involved, so the folder to watch is handed over by the caller's
// own thread and needs no lock.
class FolderWatch {
public:
    FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Readable while events wait; -1 when the system gave no inotify instance.
    int Fd() const { return fd_.get(); }

    // Watches folder instead of the one before. Failure (no such folder, no
    // permission, no watches left) leaves nothing watched and says why.
    Status Watch(const std::string& folder);
    // Watch(folder) unless that folder is already watched; a watch that ended
    // (the folder went away) is tried again.
    Status Follow(const std::string& folder);
    bool Watching() const { return wd_ >= 0; }
    const std::string& Folder() const { return folder_; }

    // Reads every event waiting, without blocking. True when one of them is a
    // file of the watched folder created, deleted or renamed, or the folder
    // itself deleted or moved away (the watch then ends), or when the kernel
    // dropped events.
    bool TakeEvents();

private:
    void Drop();

    UniqueFd fd_;
    int wd_ = -1;
    std::string folder_;
};

// Whether one inotify event mask is a change of the list: a file (not a
// folder) created, deleted, or moved in or out; the watched folder itself
// deleted or moved; or the queue overflowing.
bool IsFileNameChange(std::uint32_t mask);

}  // namespace wexal
