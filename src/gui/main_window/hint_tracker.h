#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace wexal {

// Shows the hint of the element under the mouse: the element's own "hint"
// property or, failing that, the nearest enclosing element's; an element
// without any clears it. Watches the whole application, so controls created
// later are covered too.
class HintTracker : public QObject {
public:
    HintTracker(QWidget* window, std::function<void(const QString&)> show);
    ~HintTracker() override;

    static QString HintOf(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void(const QString&)> show_;
};

}  // namespace wexal
