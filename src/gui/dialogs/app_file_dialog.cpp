#include "dialogs/app_file_dialog.h"

#include <QFile>
#include <QFileDialog>

namespace wexal {

AppFileChooser DesktopAppFileChooser(QWidget* parent) {
    return [parent](const QString& title, const std::string& start) -> std::optional<std::string> {
        const QString chosen = QFileDialog::getOpenFileName(
            parent, title, QFile::decodeName(start.c_str()), QStringLiteral("すべて表示(*)"));
        if (chosen.isEmpty()) return std::nullopt;
        return QFile::encodeName(chosen).toStdString();
    };
}

}  // namespace wexal
