#include "main_window/focus_return.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace wexal {

namespace {

// A window that takes the keyboard: no menu, tool tip or splash.
bool IsKeyboardWindow(const QWidget* widget) {
    if (!widget->isWindow()) return false;
    switch (widget->windowType()) {
        case Qt::Window:
        case Qt::Dialog:
        case Qt::Sheet:
            return true;
        default:
            return false;
    }
}

QWidget* FirstMainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && IsKeyboardWindow(widget) && !qobject_cast<QDialog*>(widget)) {
            return widget;
        }
    }
    return nullptr;
}

}  // namespace

bool FocusReturn::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::Show && type != QEvent::Hide) || event->spontaneous()) return false;
    auto* window = qobject_cast<QWidget*>(watched);
    if (window == nullptr || !IsKeyboardWindow(window)) return false;
    std::erase_if(openedOver_, [](const auto& entry) { return entry.first.isNull(); });
    auto entry = std::find_if(openedOver_.begin(), openedOver_.end(),
                              [window](const auto& e) { return e.first == window; });
    if (type == QEvent::Show) {
        QWidget* before = QApplication::activeWindow();
        if (before == nullptr || before == window) before = window->parentWidget();
        if (before != nullptr) before = before->window();
        if (entry != openedOver_.end()) {
            entry->second = before;
        } else {
            openedOver_.emplace_back(window, before);
        }
        ActivateLater(window);
    } else {
        QPointer<QWidget> before;
        if (entry != openedOver_.end()) {
            before = entry->second;
            openedOver_.erase(entry);
        }
        ActivateLater(before);
    }
    return false;
}

void FocusReturn::ActivateLater(QWidget* preferred) {
    QTimer::singleShot(0, this, [preferred = QPointer<QWidget>(preferred)] {
        QWidget* target = QApplication::activeModalWidget();
        if (target == nullptr && preferred && preferred->isVisible()) target = preferred;
        if (target == nullptr) target = FirstMainWindow();
        if (target == nullptr) return;
        target->raise();
        target->activateWindow();
    });
}

}  // namespace wexal
