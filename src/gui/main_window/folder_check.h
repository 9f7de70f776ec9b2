#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "files/folder_watch.h"

class QSocketNotifier;
class QTimer;

namespace wexal {

class FileListModel;

// The folder watcher: files created, deleted or renamed in the listed folder
// start a one-second timer, and its tick refreshes the list with the cursor
// kept, so a burst of changes gives one refresh. It never shows a message.
//
// The notification is read on the window's own event loop, so the folder is
// handed over by the window (Follow) and nothing needs a lock; the watch
// ends with the object.
class TFolderCheck : public QObject {
    Q_OBJECT

public:
    // refresh is RefreshFileList(keepCursor); it is not called while list
    // has RefreshSuspended set.
    TFolderCheck(const FileListModel& list, std::function<void()> refresh,
                 QObject* parent = nullptr);
    ~TFolderCheck() override;

    // Watches dirPath from now on (called with every listing); a folder that
    // cannot be watched is tried again at the next call.
    void Follow(const std::string& dirPath);
    bool Watching() const { return watch_.Watching(); }
    const std::string& WatchedFolder() const { return watch_.Folder(); }

    // Ticks of the timer that refreshed the list.
    int RefreshCount() const { return refreshCount_; }

    QTimer* timer = nullptr;

private:
    void WatchLoop();
    void EnableRefreshTimer();
    void OnRefreshTimer();

    const FileListModel& list_;
    std::function<void()> refresh_;
    FolderWatch watch_;  // outlives the notifier on its descriptor
    QSocketNotifier* notifier_ = nullptr;
    int refreshCount_ = 0;
};

}  // namespace wexal
