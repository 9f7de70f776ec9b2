#pragma once

#include <cstdint>

#include "platform/screen_saver.h"

namespace wexal {

// The freedesktop screen-saver inhibit over D-Bus; where no session bus or
// no screen saver answers, switching is silently skipped.
class QtScreenSaver : public ScreenSaver {
public:
    ~QtScreenSaver() override;
    void SetEnabled(bool enabled) override;

private:
    std::uint32_t cookie_ = 0;
    bool inhibited_ = false;
};

}  // namespace wexal
