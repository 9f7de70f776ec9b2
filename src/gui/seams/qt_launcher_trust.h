#pragma once

#include "platform/desktop_shortcut.h"

namespace wexal {

// GNOME's desktop starts a launcher only once its metadata says "trusted";
// gio sets that where it is installed. Other desktops need nothing more.
class QtLauncherTrust : public LauncherTrust {
public:
    void MarkTrusted(const std::filesystem::path& launcher) override;
};

}  // namespace wexal
