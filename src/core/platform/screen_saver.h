#pragma once

namespace wexal {

// The desktop's screen saver, switched off while a transfer runs.
class ScreenSaver {
public:
    virtual ~ScreenSaver() = default;
    virtual void SetEnabled(bool enabled) = 0;
};

}  // namespace wexal
