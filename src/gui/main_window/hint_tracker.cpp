#include "main_window/hint_tracker.h"

#include <QApplication>
#include <QEvent>
#include <QVariant>
#include <QWidget>

namespace wexal {

HintTracker::HintTracker(QWidget* window, std::function<void(const QString&)> show)
    : QObject(window), window_(window), show_(std::move(show)) {
    qApp->installEventFilter(this);
}

HintTracker::~HintTracker() { qApp->removeEventFilter(this); }

QString HintTracker::HintOf(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const QVariant hint = widget->property("hint");
        if (hint.isValid() && !hint.toString().isEmpty()) return hint.toString();
        if (widget->isWindow()) break;
    }
    return {};
}

bool HintTracker::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Enter && type != QEvent::Leave) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_) return false;
    // Leaving an element puts the mouse over its parent, which gets no Enter
    // of its own; a sibling entered next overrides this at once.
    const QWidget* under = type == QEvent::Enter ? widget : widget->parentWidget();
    show_(HintOf(under));
    return false;
}

}  // namespace wexal
