// The Linux editor window: a child X window of the host's window on a display connection of
// the editor's own, a GLX context, and the Windows-style messages, timer ticks and paints that
// the portable editor expects, all served from the host's idle calls on the thread that opened
// the editor.
#include "platform/platform.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>

namespace VLM {
namespace Platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uintptr_t kMouseLeftButton = 0x0001; // MK_LBUTTON
// Windows' defaults: a second press within 400 ms inside a 4 x 4 pixel box is a double click.
constexpr Time kDoubleClickMs = 400;
constexpr int kDoubleClickHalfBox = 2;
constexpr long kInputEvents =
    ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask | StructureNotifyMask;
constexpr unsigned kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

struct XWindow {
    Display* display = nullptr;
    ::Window id = 0;
    Colormap colormap = 0;
    XVisualInfo* visual = nullptr; // null: the server offers no double-buffered RGBA visual
    ::Cursor blankCursor = 0;
    void* userData = nullptr;
    bool timerOn = false;
    std::uintptr_t timerId = 0;
    Clock::duration period{};
    Clock::time_point due{};
    TimerFn timer = nullptr;
    bool paintPending = false;
    bool clickPending = false; // the last press may become the first half of a double click
    Time clickTime = 0;
    int clickX = 0;
    int clickY = 0;
    int serving = 0; // nesting depth of ServiceWindow; the record outlives it
    bool destroyed = false;
};

struct XGLContext {
    Display* display = nullptr;
    GLXContext context = nullptr;
};

WindowMessageFn windowHandler = nullptr;

// Everything here runs on the thread that opened the editor, so per-thread state needs no lock.
thread_local Display* pendingDisplay = nullptr; // opened by CanOpenEditorWindow, not yet used
thread_local XWindow* current = nullptr;        // the editor that cursor requests concern
thread_local XWindow* captured = nullptr;
thread_local XGLContext* currentContext = nullptr;
thread_local int cursorCount = 0; // ShowCursor's display counter: hidden below 0
thread_local int lastError = 0;
thread_local int trappedError = 0;

XWindow* ToWindow(WindowHandle window) {
    return static_cast<XWindow*>(window);
}

int TrapError(Display*, XErrorEvent* event) {
    trappedError = event->error_code;
    return 0;
}

// Xlib's default error handler ends the process; a request that may fail (a parent that is
// not a window, a window the host destroyed) runs under this trap instead.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : display(d) {
        XSync(display, False);
        trappedError = 0;
        previous = XSetErrorHandler(&TrapError);
    }
    ~ErrorTrap() { End(); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    int End() {
        if (display != nullptr) {
            XSync(display, False);
            XSetErrorHandler(previous);
            display = nullptr;
            if (trappedError != 0) {
                lastError = trappedError;
            }
        }
        return trappedError;
    }

private:
    Display* display;
    XErrorHandler previous = nullptr;
};

void ApplyCursor(XWindow* w) {
    if (w == nullptr || w->destroyed) {
        return;
    }
    const ::Cursor shape = cursorCount < 0 ? w->blankCursor : 0;
    if (shape != 0) {
        XDefineCursor(w->display, w->id, shape);
    } else {
        XUndefineCursor(w->display, w->id);
    }
    // During a drag the grab's cursor is the one shown, wherever the pointer is.
    if (captured == w) {
        XChangeActivePointerGrab(w->display, kGrabEvents, shape, CurrentTime);
    }
    XFlush(w->display);
}

void Send(XWindow* w, std::uint32_t message, std::uintptr_t wParam, int x, int y) {
    if (windowHandler == nullptr || w->destroyed) {
        return;
    }
    const auto lParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                                   static_cast<std::uint32_t>(x & 0xFFFF));
    windowHandler(w, message, wParam, lParam);
}

std::uintptr_t KeyFlags(unsigned state) {
    std::uintptr_t flags = 0;
    if ((state & ShiftMask) != 0) {
        flags |= kMouseShift;
    }
    if ((state & ControlMask) != 0) {
        flags |= kMouseControl;
    }
    return flags;
}

void Dispatch(XWindow* w, const XEvent& event) {
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            w->paintPending = true;
        }
        break;
    case ButtonPress: {
        const XButtonEvent& b = event.xbutton;
        if (b.button != Button1) {
            break;
        }
        const std::uintptr_t flags = KeyFlags(b.state) | kMouseLeftButton;
        const bool twice = w->clickPending && b.time - w->clickTime <= kDoubleClickMs &&
                           std::abs(b.x - w->clickX) <= kDoubleClickHalfBox &&
                           std::abs(b.y - w->clickY) <= kDoubleClickHalfBox;
        w->clickPending = !twice;
        w->clickTime = b.time;
        w->clickX = b.x;
        w->clickY = b.y;
        Send(w, twice ? kMsgLButtonDblClk : kMsgLButtonDown, flags, b.x, b.y);
        break;
    }
    case ButtonRelease: {
        const XButtonEvent& b = event.xbutton;
        if (b.button == Button1) {
            Send(w, kMsgLButtonUp, KeyFlags(b.state), b.x, b.y);
        }
        break;
    }
    case MotionNotify: {
        const XMotionEvent& m = event.xmotion;
        const std::uintptr_t buttons = (m.state & Button1Mask) != 0 ? kMouseLeftButton : 0;
        Send(w, kMsgMouseMove, KeyFlags(m.state) | buttons, m.x, m.y);
        break;
    }
    default:
        break;
    }
}

void Free(XWindow* w) {
    delete w;
}

} // namespace

bool CanOpenEditorWindow() {
    // Without a display name there is no server to ask, and no reason to try.
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        return false;
    }
    if (pendingDisplay == nullptr) {
        pendingDisplay = XOpenDisplay(nullptr);
    }
    return pendingDisplay != nullptr;
}

void RegisterEditorWindowClass(ModuleHandle, WindowMessageFn handler) {
    windowHandler = handler;
}

WindowHandle CreateEditorWindow(ModuleHandle, WindowHandle parent, std::int32_t width,
                                std::int32_t height) {
    Display* display = pendingDisplay != nullptr ? pendingDisplay : XOpenDisplay(nullptr);
    pendingDisplay = nullptr;
    if (display == nullptr || width <= 0 || height <= 0) {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
        return nullptr;
    }
    auto* w = new XWindow;
    w->display = display;
    const int screen = DefaultScreen(display);
    // The host's window arrives as its XID in the pointer; none means a top-level window.
    const auto parentId = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent));
    const ::Window under = parentId != 0 ? parentId : RootWindow(display, screen);
    int attributes[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    w->visual = glXChooseVisual(display, screen, attributes);

    XSetWindowAttributes set{};
    unsigned long mask = CWEventMask | CWBackPixmap | CWBorderPixel;
    set.event_mask = kInputEvents;
    set.background_pixmap = None;
    set.border_pixel = 0;
    Visual* visual = CopyFromParent;
    int depth = CopyFromParent;
    ErrorTrap trap(display);
    if (w->visual != nullptr) {
        w->colormap =
            XCreateColormap(display, RootWindow(display, screen), w->visual->visual, AllocNone);
        set.colormap = w->colormap;
        mask |= CWColormap;
        visual = w->visual->visual;
        depth = w->visual->depth;
    }
    w->id = XCreateWindow(display, under, 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, depth, InputOutput, visual, mask, &set);
    if (trap.End() != 0) {
        // The parent is no window of this server: nothing was created.
        if (w->colormap != 0) {
            XFreeColormap(display, w->colormap);
        }
        if (w->visual != nullptr) {
            XFree(w->visual);
        }
        XCloseDisplay(display);
        delete w;
        return nullptr;
    }
    static char noBits[1] = {0};
    const Pixmap empty = XCreateBitmapFromData(display, w->id, noBits, 1, 1);
    XColor black{};
    w->blankCursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
    XFlush(display);
    current = w;
    return w;
}

void SetWindowUserData(WindowHandle window, void* data) {
    ToWindow(window)->userData = data;
}

void* GetWindowUserData(WindowHandle window) {
    return window != nullptr ? ToWindow(window)->userData : nullptr;
}

void ShowWindow(WindowHandle window, bool show) {
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed) {
        return;
    }
    if (show) {
        XMapWindow(w->display, w->id);
    } else {
        XUnmapWindow(w->display, w->id);
    }
    XFlush(w->display);
}

void UpdateWindow(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (w != nullptr && w->paintPending) {
        w->paintPending = false;
        Send(w, kMsgPaint, 0, 0, 0);
    }
}

void InvalidateWindow(WindowHandle window) {
    if (window != nullptr) {
        ToWindow(window)->paintPending = true;
    }
}

void DestroyWindow(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed) {
        return;
    }
    w->destroyed = true;
    w->timerOn = false;
    if (captured == w) {
        XUngrabPointer(w->display, CurrentTime);
        captured = nullptr;
    }
    if (current == w) {
        current = nullptr;
    }
    {
        // The host may have destroyed its window, and ours with it, before closing the editor.
        ErrorTrap trap(w->display);
        XDestroyWindow(w->display, w->id);
        XFreeCursor(w->display, w->blankCursor);
        if (w->colormap != 0) {
            XFreeColormap(w->display, w->colormap);
        }
    }
    if (w->visual != nullptr) {
        XFree(w->visual);
        w->visual = nullptr;
    }
    XCloseDisplay(w->display);
    w->display = nullptr;
    if (w->serving == 0) {
        Free(w);
    }
}

void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, bool) {
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed || width <= 0 || height <= 0) {
        return;
    }
    XMoveResizeWindow(w->display, w->id, x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
    XFlush(w->display);
}

void PaintWindow(WindowHandle window, bool swap) {
    XWindow* w = ToWindow(window);
    if (swap && w != nullptr && !w->destroyed) {
        glXSwapBuffers(w->display, w->id);
        XFlush(w->display);
    }
}

void SetCapture(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed) {
        return;
    }
    const ::Cursor shape = cursorCount < 0 ? w->blankCursor : 0;
    XGrabPointer(w->display, w->id, False, kGrabEvents, GrabModeAsync, GrabModeAsync, None, shape,
                 CurrentTime);
    XFlush(w->display);
    captured = w;
}

void ReleaseCapture() {
    if (captured != nullptr) {
        XUngrabPointer(captured->display, CurrentTime);
        XFlush(captured->display);
        captured = nullptr;
    }
}

void StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs, TimerFn callback) {
    XWindow* w = ToWindow(window);
    w->timerOn = true;
    w->timerId = id;
    w->timer = callback;
    w->period = std::chrono::milliseconds(periodMs);
    w->due = Clock::now() + w->period;
}

void StopTimer(WindowHandle window, std::uintptr_t) {
    if (window != nullptr) {
        ToWindow(window)->timerOn = false;
    }
}

void ServiceWindow(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed) {
        return;
    }
    current = w;
    ++w->serving;
    while (!w->destroyed && XPending(w->display) > 0) {
        XEvent event;
        XNextEvent(w->display, &event);
        Dispatch(w, event);
    }
    if (!w->destroyed && w->timerOn && w->timer != nullptr) {
        const Clock::time_point now = Clock::now();
        if (now >= w->due) {
            // One tick per idle call however late it comes, and the cadence kept from the
            // schedule rather than from the late call.
            w->due += w->period;
            if (w->due <= now) {
                w->due = now + w->period;
            }
            w->timer(w, w->timerId);
        }
    }
    if (!w->destroyed && w->paintPending) {
        w->paintPending = false;
        Send(w, kMsgPaint, 0, 0, 0);
    }
    if (--w->serving == 0 && w->destroyed) {
        Free(w);
    }
}

std::int32_t LastError() {
    return lastError;
}

DeviceContextHandle GetDeviceContext(WindowHandle window) {
    return window;
}

void ReleaseDeviceContext(WindowHandle, DeviceContextHandle) {}

bool SetPixelFormat(DeviceContextHandle dc) {
    // X fixes a window's visual when it is created; here only the outcome is reported.
    return dc != nullptr && ToWindow(dc)->visual != nullptr;
}

GLContextHandle CreateGLContext(DeviceContextHandle dc) {
    XWindow* w = ToWindow(dc);
    if (w == nullptr || w->destroyed || w->visual == nullptr) {
        return nullptr;
    }
    ErrorTrap trap(w->display);
    GLXContext context = glXCreateContext(w->display, w->visual, nullptr, True);
    if (trap.End() != 0 || context == nullptr) {
        if (context != nullptr) {
            glXDestroyContext(w->display, context);
        }
        return nullptr;
    }
    return new XGLContext{w->display, context};
}

bool MakeGLContextCurrent(DeviceContextHandle dc, GLContextHandle context) {
    auto* c = static_cast<XGLContext*>(context);
    XWindow* w = ToWindow(dc);
    if (c == nullptr) {
        if (currentContext != nullptr) {
            glXMakeCurrent(currentContext->display, None, nullptr);
            currentContext = nullptr;
        }
        return true;
    }
    if (w == nullptr || w->destroyed) {
        return false;
    }
    if (glXMakeCurrent(w->display, w->id, c->context) == False) {
        return false;
    }
    currentContext = c;
    return true;
}

GLContextHandle CurrentGLContext() {
    if (currentContext != nullptr && glXGetCurrentContext() == currentContext->context) {
        return currentContext;
    }
    return nullptr;
}

bool DeleteGLContext(GLContextHandle context) {
    auto* c = static_cast<XGLContext*>(context);
    if (c == nullptr) {
        return false;
    }
    if (currentContext == c) {
        glXMakeCurrent(c->display, None, nullptr);
        currentContext = nullptr;
    }
    glXDestroyContext(c->display, c->context);
    delete c;
    return true;
}

bool GetCursorPos(Point& position) {
    if (current == nullptr) {
        return false;
    }
    ::Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned state = 0;
    if (XQueryPointer(current->display, DefaultRootWindow(current->display), &root, &child, &rootX,
                      &rootY, &x, &y, &state) == False) {
        return false;
    }
    position.x = rootX;
    position.y = rootY;
    return true;
}

void SetCursorPos(const Point& position) {
    if (current != nullptr) {
        XWarpPointer(current->display, None, DefaultRootWindow(current->display), 0, 0, 0, 0,
                     position.x, position.y);
        XFlush(current->display);
    }
}

void ShowCursor(bool show) {
    cursorCount += show ? 1 : -1;
    ApplyCursor(current);
}

// The native text entry is not there yet: the editor then opens none.
WindowHandle CreateEditBox(ModuleHandle, WindowHandle, std::int32_t, std::int32_t, std::int32_t,
                           std::int32_t) {
    return nullptr;
}

bool SubclassEditBox(WindowHandle, EditMessageFn, void*) {
    return false;
}

void SetWindowText(WindowHandle, const std::wstring&) {}

std::wstring GetWindowText(WindowHandle, std::size_t) {
    return std::wstring();
}

void SelectAllText(WindowHandle) {}
void SetFocus(WindowHandle) {}

} // namespace Platform
} // namespace VLM
