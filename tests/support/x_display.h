#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace wexal::test {

// A private Xvfb server, without a window manager, for tests that check what
// the window system sees (titles as _NET_WM_NAME, which windows are mapped,
// which has the keyboard). ok() is false when Xvfb is not installed.
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
    // The title of the top-level window that has the keyboard; empty when
    // the focus is on the root window or nowhere.
    std::string FocusTitle() const;
    // A real key press and release (XTest), as an operator types it: it
    // reaches whatever has the focus. key is a keysym name ("Return", "f").
    bool PressKey(const std::string& key) const;
    // Puts the pointer where it is over no window of the program's.
    void MovePointer(int x, int y) const;

private:
    pid_t server_ = -1;
    std::string name_;
    void* display_ = nullptr;  // Display*, kept out of the header
};

}  // namespace wexal::test
