#pragma once

#include <QObject>
#include <QPointer>
#include <utility>
#include <vector>

class QWidget;

namespace wexal {

// Gives the keyboard back to the window that had it when one of our dialogs
// or boxes closes. Without a window manager X lets the focus fall to the
// root window when a focused window is unmapped, and the next key reaches
// nothing; a manager, where there is one, does the same thing itself.
// Installed once on the application, it serves every dialog and box.
class FocusReturn : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Activates the top modal window when one is open, else preferred, else
    // the first visible main window. Deferred, so that a dialog that opens
    // another at once keeps the keyboard for it.
    void ActivateLater(QWidget* preferred);

    // Each open window with the window that was active when it opened.
    std::vector<std::pair<QPointer<QWidget>, QPointer<QWidget>>> openedOver_;
};

}  // namespace wexal
