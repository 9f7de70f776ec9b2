#pragma once

#include <QObject>
#include <functional>
#include <string>

class QMenu;
class QWidget;
class QPoint;

namespace wexal {

// PopupMenu2: the mounted volumes with their kinds, one item each.
class DriveMenu : public QObject {
    Q_OBJECT

public:
    using Choose = std::function<void(const std::string& mountPoint)>;
    DriveMenu(QWidget* parent, Choose choose);
    ~DriveMenu() override;

    void Build();
    void Popup(const QPoint& at);
    QMenu* menu() const { return menu_; }

private:
    QMenu* menu_;
    Choose choose_;
};

}  // namespace wexal
