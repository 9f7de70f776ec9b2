#include "support/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace wexal::test {

namespace {

Display* AsDisplay(void* display) { return static_cast<Display*>(display); }

// A window of the program can go between two requests that name it (a box
// that closes); Xlib's default handler would end the test for that.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

std::string TitleOf(Display* display, ::Window window) {
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::string title;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, netWmName, 0, 4096, False, utf8, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<const char*>(data), items);
        XFree(data);
    }
    return title;
}

}  // namespace

VirtualDisplay::VirtualDisplay() {
    using namespace std::chrono_literals;
    XSetErrorHandler(IgnoreXError);
    for (int number = 90 + ::getpid() % 300; number < 990; ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        if (std::filesystem::exists(socket) || std::filesystem::exists(lock)) continue;
        name_ = ":" + std::to_string(number);
        std::string program = "Xvfb", screen = "-screen", geometry = "0", size = "1024x768x24",
                    nolisten = "-nolisten", tcp = "tcp";
        char* argv[] = {program.data(), name_.data(), screen.data(), geometry.data(),
                        size.data(),    nolisten.data(), tcp.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
        const int spawned = posix_spawnp(&server_, "Xvfb", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            server_ = -1;
            return;
        }
        for (int i = 0; i < 100 && display_ == nullptr; ++i) {
            std::this_thread::sleep_for(50ms);
            if (std::filesystem::exists(socket)) display_ = XOpenDisplay(name_.c_str());
            if (::waitpid(server_, nullptr, WNOHANG) == server_) {
                server_ = -1;
                break;  // lost a race for the number; try the next one
            }
        }
        if (display_ != nullptr || server_ != -1) return;
    }
}

VirtualDisplay::~VirtualDisplay() {
    if (display_ != nullptr) XCloseDisplay(AsDisplay(display_));
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
    }
}

std::vector<VirtualDisplay::Window> VirtualDisplay::Windows() const {
    std::vector<Window> windows;
    if (display_ == nullptr) return windows;
    Display* display = AsDisplay(display_);
    XSync(display, False);
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        return windows;
    }
    for (unsigned int i = 0; i < count; ++i) {
        Window entry;
        entry.title = TitleOf(display, children[i]);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes)) {
            entry.viewable = attributes.map_state == IsViewable;
        }
        windows.push_back(std::move(entry));
    }
    if (children != nullptr) XFree(children);
    return windows;
}

std::vector<std::string> VirtualDisplay::ViewableTitles() const {
    std::vector<std::string> titles;
    for (const Window& window : Windows()) {
        if (window.viewable) titles.push_back(window.title);
    }
    return titles;
}

std::string VirtualDisplay::FocusTitle() const {
    if (display_ == nullptr) return {};
    Display* display = AsDisplay(display_);
    XSync(display, False);
    ::Window focus = 0;
    int revertTo = 0;
    XGetInputFocus(display, &focus, &revertTo);
    if (focus == None || focus == PointerRoot || focus == DefaultRootWindow(display)) return {};
    // The top-level window that holds the focused one.
    for (;;) {
        ::Window root = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, focus, &root, &parent, &children, &count)) return {};
        if (children != nullptr) XFree(children);
        if (parent == root) break;
        focus = parent;
    }
    return TitleOf(display, focus);
}

bool VirtualDisplay::PressKey(const std::string& key) const {
    if (display_ == nullptr) return false;
    Display* display = AsDisplay(display_);
    const KeySym sym = XStringToKeysym(key.c_str());
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
    if (code == 0) return false;
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
    return true;
}

void VirtualDisplay::MovePointer(int x, int y) const {
    if (display_ == nullptr) return;
    Display* display = AsDisplay(display_);
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

}  // namespace wexal::test
