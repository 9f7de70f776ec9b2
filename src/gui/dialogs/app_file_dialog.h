#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace wexal {

// The open-file dialog in which a program is chosen: its title and start
// folder in, the chosen file's path out (nullopt when cancelled). Tests
// put their own in its place.
using AppFileChooser =
    std::function<std::optional<std::string>(const QString& title, const std::string& start)>;

// The title of that dialog, and where it starts: the top folder, where a
// drive's top folder stood.
inline constexpr const char* kAppFileDialogTitle = "ｱﾌﾟﾘｹｰｼｮﾝ設定";
inline constexpr const char* kAppFileDialogStart = "/";

// The desktop's open-file dialog over parent. Programs have no extension
// here, so every file is offered.
AppFileChooser DesktopAppFileChooser(QWidget* parent);

}  // namespace wexal
