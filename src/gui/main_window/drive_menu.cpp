#include "main_window/drive_menu.h"

#include <QMenu>
#include <QStyle>
#include <QWidget>

#include "platform/volumes.h"

namespace wexal {

namespace {

QStyle::StandardPixmap IconFor(VolumeKind kind) {
    switch (kind) {
        case VolumeKind::Removable:
            return QStyle::SP_DriveFDIcon;
        case VolumeKind::Network:
            return QStyle::SP_DriveNetIcon;
        case VolumeKind::CdRom:
            return QStyle::SP_DriveCDIcon;
        case VolumeKind::RamDisk:
            return QStyle::SP_ComputerIcon;
        case VolumeKind::Fixed:
            break;
    }
    return QStyle::SP_DriveHDIcon;
}

}  // namespace

DriveMenu::DriveMenu(QWidget* parent, Choose choose)
    : QObject(parent), menu_(new QMenu(parent)), choose_(std::move(choose)) {
    menu_->setObjectName(QStringLiteral("PopupMenu2"));
}

DriveMenu::~DriveMenu() = default;

void DriveMenu::Build() {
    menu_->clear();
    int index = 0;
    for (const Volume& volume : MountedVolumes()) {
        // Volumes have no drive letters here; the first 26 get A to Z as
        // accelerators so the menu still works from the keyboard.
        QString caption;
        if (index < 26) caption = QStringLiteral("&%1  ").arg(QChar('A' + index));
        caption += QString::fromStdString(volume.mountPoint) + QStringLiteral(" ") +
                   QString::fromStdString(VolumeKindText(volume.kind));
        QAction* item =
            menu_->addAction(menu_->style()->standardIcon(IconFor(volume.kind)), caption);
        const std::string mountPoint = volume.mountPoint;
        connect(item, &QAction::triggered, this, [this, mountPoint] { choose_(mountPoint); });
        ++index;
    }
}

void DriveMenu::Popup(const QPoint& at) { menu_->popup(at); }

}  // namespace wexal
