// Linux: an X11 window of the validator's own connection. Mouse input reaches the editor as
// sent events, which most toolkits treat as real ones.
#include "validate/parent_window.h"

#include "host/plugin.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace VLM {

struct CParentWindow::SImpl {
    Display* display = nullptr;
    Window window = 0;
};

namespace {

// A plug-in may destroy its windows at any moment; a request about a window that is gone
// must not end the process, which Xlib's default handler would do.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

void Drain(Display* display) {
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
    }
}

// The deepest window of the editor's tree under (x, y) of the parent, with the point in
// its own coordinates; 0 when the editor has no window.
Window EditorWindowAt(Display* display, Window parent, int& x, int& y) {
    Window current = parent;
    for (int depth = 0; depth < 16; ++depth) {
        Window root = 0, up = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, current, &root, &up, &children, &count) == 0) {
            break;
        }
        Window next = 0;
        // The last child is the topmost one.
        for (unsigned i = count; i-- > 0 && next == 0;) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) != 0 && a.map_state == IsViewable &&
                x >= a.x && y >= a.y && x < a.x + a.width && y < a.y + a.height) {
                next = children[i];
                x -= a.x;
                y -= a.y;
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (next == 0) {
            break;
        }
        current = next;
    }
    return current == parent ? 0 : current;
}

void SendButton(Display* display, Window target, int type, int x, int y) {
    XEvent event{};
    event.xbutton.type = type;
    event.xbutton.display = display;
    event.xbutton.window = target;
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.same_screen = True;
    event.xbutton.button = Button1;
    event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
    XSendEvent(display, target, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask,
               &event);
}

void SendMotion(Display* display, Window target, int x, int y) {
    XEvent event{};
    event.xmotion.type = MotionNotify;
    event.xmotion.display = display;
    event.xmotion.window = target;
    event.xmotion.root = DefaultRootWindow(display);
    event.xmotion.x = x;
    event.xmotion.y = y;
    event.xmotion.same_screen = True;
    event.xmotion.state = Button1Mask;
    XSendEvent(display, target, True, PointerMotionMask | ButtonMotionMask, &event);
}

} // namespace

CParentWindow::CParentWindow(std::unique_ptr<SImpl> state) : impl(std::move(state)) {}

CParentWindow::~CParentWindow() {
    if (impl->display != nullptr) {
        if (impl->window != 0) {
            XDestroyWindow(impl->display, impl->window);
        }
        XCloseDisplay(impl->display);
    }
}

std::unique_ptr<CParentWindow> CParentWindow::Create(int width, int height, std::string& why) {
    auto impl = std::make_unique<SImpl>();
    impl->display = XOpenDisplay(nullptr);
    if (impl->display == nullptr) {
        why = "no display (DISPLAY is not set or its X server does not answer)";
        return nullptr;
    }
    XSetErrorHandler(IgnoreXError);
    Display* d = impl->display;
    const int screen = DefaultScreen(d);
    impl->window = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0,
                                       static_cast<unsigned>(width > 0 ? width : 400),
                                       static_cast<unsigned>(height > 0 ? height : 300), 0,
                                       BlackPixel(d, screen), BlackPixel(d, screen));
    XStoreName(d, impl->window, "vsthost validate");
    XSelectInput(d, impl->window, StructureNotifyMask);
    XMapWindow(d, impl->window);
    XSync(d, False);
    return std::unique_ptr<CParentWindow>(new CParentWindow(std::move(impl)));
}

void* CParentWindow::Handle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(impl->window));
}

void CParentWindow::Pump(CPlugin& plugin, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        Drain(impl->display);
        plugin.Dispatch(effEditIdle);
        if (milliseconds > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } while (std::chrono::steady_clock::now() < end);
}

bool CParentWindow::WaitForEditorWindow(CPlugin& plugin, int x, int y, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        // The editor maps its window on a connection of its own: the server has it once this
        // connection's requests after it are answered.
        XSync(impl->display, False);
        int ex = x, ey = y;
        if (EditorWindowAt(impl->display, impl->window, ex, ey) != 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        Pump(plugin, 20);
    }
}

bool CParentWindow::Drag(CPlugin& plugin, int x, int y, int dy) {
    Display* d = impl->display;
    XSync(d, False);
    const Window target = EditorWindowAt(d, impl->window, x, y);
    if (target == 0) {
        return false;
    }
    SendMotion(d, target, x, y);
    SendButton(d, target, ButtonPress, x, y);
    XFlush(d);
    Pump(plugin, 0);
    constexpr int kSteps = 4;
    for (int s = 1; s <= kSteps; ++s) {
        SendMotion(d, target, x, y + dy * s / kSteps);
        XFlush(d);
        Pump(plugin, 0);
    }
    SendButton(d, target, ButtonRelease, x, y + dy);
    XSync(d, False);
    Pump(plugin, 0);
    return true;
}

} // namespace VLM
