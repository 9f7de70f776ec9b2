#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace wexal::test {

// A private Xvfb server for tests that check what the window system sees
// (titles as _NET_WM_NAME, which windows are mapped). ok() is false when
// Xvfb is not installed.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool ok() const { return display_ != nullptr; }
    const std::string& name() const { return name_; }  // for DISPLAY

    struct Window {
        std::string title;  // _NET_WM_NAME
        bool viewable = false;
    };
    // The top-level windows of every client, in stacking order.
    std::vector<Window> Windows() const;
    // The titles of the mapped top-level windows.
    std::vector<std::string> ViewableTitles() const;

private:
    pid_t server_ = -1;
    std::string name_;
    void* display_ = nullptr;  // Display*, kept out of the header
};

}  // namespace wexal::test
