#include "main_window/folder_check.h"

#include <QSocketNotifier>
#include <QTimer>

#include "files/file_list_model.h"

namespace wexal {

TFolderCheck::TFolderCheck(const FileListModel& list, std::function<void()> refresh,
                           QObject* parent)
    : QObject(parent), list_(list), refresh_(std::move(refresh)) {
    timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("FolderCheckTimer"));
    timer->setInterval(1000);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this] { OnRefreshTimer(); });
    if (watch_.Fd() >= 0) {
        notifier_ = new QSocketNotifier(watch_.Fd(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { WatchLoop(); });
    }
}

TFolderCheck::~TFolderCheck() {
    // The notifier goes before the descriptor it watches.
    delete notifier_;
    notifier_ = nullptr;
}

void TFolderCheck::Follow(const std::string& dirPath) {
    // A folder that cannot be watched is simply not followed; nobody is told.
    (void)watch_.Follow(dirPath);
}

void TFolderCheck::WatchLoop() {
    if (watch_.TakeEvents()) EnableRefreshTimer();
}

void TFolderCheck::EnableRefreshTimer() {
    // A timer already running keeps its time: one refresh a second after the
    // first change of a burst, reading every change of that second.
    if (!timer->isActive()) timer->start();
}

void TFolderCheck::OnRefreshTimer() {
    timer->stop();
    if (list_.RefreshSuspended()) return;
    ++refreshCount_;
    refresh_();
}

}  // namespace wexal
