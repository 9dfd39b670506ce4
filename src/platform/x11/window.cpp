// The Linux editor window: a child X window of the host's window on a display connection of
// the editor's own, and the Windows-style messages, timer ticks and paints that the portable
// editor expects, all served from the host's idle calls on the thread that opened the editor.
// Its GLX context is in glx.cpp, its text entry in editbox.cpp.
#include "platform/platform.h"
#include "platform/x11/windowid.h"
#include "platform/x11/xwindow.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <locale>
#include <sstream>
#include <vector>

namespace VLM {
namespace Platform {
namespace X11 {

namespace {

constexpr std::uintptr_t kMouseLeftButton = 0x0001; // MK_LBUTTON
// X reports a wheel notch as a press of button 4 (away from the user) or 5 (towards); Windows
// as one message with a distance of 120 per notch.
constexpr int kWheelNotch = 120;
// Windows' defaults: a second press within 400 ms inside a 4 x 4 pixel box is a double click.
constexpr Time kDoubleClickMs = 400;
constexpr int kDoubleClickHalfBox = 2;
constexpr long kInputEvents =
    ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask | StructureNotifyMask;
constexpr unsigned kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

WindowMessageFn windowHandler = nullptr;

// Everything here runs on the thread that opened the editor, so per-thread state needs no lock.
thread_local Display* pendingDisplay = nullptr; // opened by CanOpenEditorWindow, not yet used
thread_local XWindow* current = nullptr;        // the editor that cursor requests concern
thread_local XWindow* captured = nullptr;
thread_local int cursorCount = 0; // ShowCursor's display counter: hidden below 0
thread_local int lastError = 0;
thread_local int trappedError = 0;
thread_local int trapDepth = 0;
// The open editor windows of this thread: the error handler tells their connections' errors
// from the host's by these.
thread_local std::vector<XWindow*> openWindows;
// The handler that was in place when the outermost trap began; errors of connections that are
// not ours go on to it.
std::atomic<XErrorHandler> hostErrorHandler{nullptr};

WindowHandle HandleOf(XWindow* w) {
    return static_cast<XHandle*>(w);
}

int TrapError(Display* display, XErrorEvent* event) {
    const bool ours = std::any_of(openWindows.begin(), openWindows.end(),
                                  [display](const XWindow* w) { return w->display == display; }) ||
                      display == pendingDisplay;
    if (!ours) {
        // Another thread's request on a connection of the host's, while our trap was in place.
        const XErrorHandler host = hostErrorHandler.load(std::memory_order_relaxed);
        return host != nullptr && host != &TrapError ? host(display, event) : 0;
    }
    trappedError = event->error_code;
    // A window destroyed behind our back answers BadWindow, or BadDrawable to GL and drawing.
    if (event->error_code == BadWindow || event->error_code == BadDrawable) {
        for (XWindow* w : openWindows) {
            if (w->display == display && w->id == event->resourceid) {
                w->goneByError = true;
            }
        }
    }
    return 0;
}

void Free(XWindow* w) {
    openWindows.erase(std::remove(openWindows.begin(), openWindows.end(), w), openWindows.end());
    delete w;
}

void Send(XWindow* w, std::uint32_t message, std::uintptr_t wParam, int x, int y);

} // namespace

ErrorTrap::ErrorTrap(Display* d, const XWindow* owner) : display(d), window(owner) {
    previous = XSetErrorHandler(&TrapError);
    if (trapDepth++ == 0) {
        hostErrorHandler.store(previous, std::memory_order_relaxed);
        trappedError = 0;
    }
    // Errors of earlier requests are caught, but not counted as this span's.
    XSync(display, False);
    outer = trappedError;
    trappedError = 0;
}

int ErrorTrap::End() {
    if (display != nullptr) {
        if (window == nullptr || !window->destroyed) {
            XSync(display, False);
        }
        Finish();
    }
    return result;
}

void ErrorTrap::Close() {
    XCloseDisplay(display);
    Finish();
}

void ErrorTrap::Finish() {
    XSetErrorHandler(previous);
    display = nullptr;
    result = trappedError;
    if (result != 0) {
        lastError = result;
    }
    trappedError = --trapDepth > 0 && outer != 0 ? outer : result;
}

Serving::~Serving() {
    if (--w->serving == 0 && w->destroyed) {
        Free(w);
    }
}

void Lose(XWindow* w) {
    if (w->gone || w->destroyed) {
        return;
    }
    w->gone = true;
    w->goneToTell = true;
    w->timerOn = false;
    ErrorTrap trap(w->display, w);
    ReleaseContextOf(w);
    if (captured == w) {
        XUngrabPointer(w->display, CurrentTime);
        captured = nullptr;
    }
}

bool Alive(XWindow* w) {
    if (w == nullptr || w->destroyed) {
        return false;
    }
    if (!w->gone) {
        ErrorTrap trap(w->display, w);
        XEvent event;
        if (w->goneByError || XCheckTypedWindowEvent(w->display, w->id, DestroyNotify, &event)) {
            Lose(w);
        }
    }
    return !w->gone;
}

void TellGone(XWindow* w) {
    if (w->goneToTell && !w->destroyed) {
        w->goneToTell = false;
        Send(w, kMsgDestroy, 0, 0, 0);
    }
}

namespace {

void ApplyCursor(XWindow* w) {
    if (!Alive(w)) {
        return;
    }
    ErrorTrap trap(w->display, w);
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
}

void Send(XWindow* w, std::uint32_t message, std::uintptr_t wParam, int x, int y) {
    if (windowHandler == nullptr || w->destroyed) {
        return;
    }
    const auto lParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                                   static_cast<std::uint32_t>(x & 0xFFFF));
    windowHandler(HandleOf(w), message, wParam, lParam);
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
        if (b.button == Button4 || b.button == Button5) {
            // A notch is no click: it takes no capture and leaves the double-click state alone.
            const int distance = b.button == Button4 ? kWheelNotch : -kWheelNotch;
            const std::uintptr_t keys =
                KeyFlags(b.state) | ((b.state & Button1Mask) != 0 ? kMouseLeftButton : 0);
            const auto high = static_cast<std::uintptr_t>(static_cast<std::uint16_t>(distance));
            Send(w, kMsgMouseWheel, keys | (high << 16), b.x_root, b.y_root);
            break;
        }
        // Buttons 6 and 7 (the horizontal wheel) and the others mean nothing here.
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
        // A wheel notch's release (buttons 4 and 5) adds nothing to its press.
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
    case DestroyNotify:
        // Ours, or the host's window with ours inside it: the server destroys the children
        // of a destroyed window first.
        if (event.xdestroywindow.window == w->id) {
            Lose(w);
        }
        break;
    default:
        break;
    }
}

// A number as the C locale writes it, whatever the host's locale; 0 when there is none.
float ParseDpiNumber(const char* text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    float number = 0.0f;
    return in >> number ? number : 0.0f;
}

} // namespace

} // namespace X11

using namespace X11;

unsigned long WindowIdOf(WindowHandle window) {
    if (XWindow* w = ToWindow(window)) {
        return w->id;
    }
    XEditBox* e = ToEdit(window);
    return e != nullptr ? e->id : 0;
}

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
    openWindows.push_back(w);
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
    ErrorTrap trap(display, w);
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
        ErrorTrap closing(display, w);
        closing.Close();
        Free(w);
        return nullptr;
    }
    ErrorTrap cursor(display, w);
    static char noBits[1] = {0};
    const Pixmap empty = XCreateBitmapFromData(display, w->id, noBits, 1, 1);
    XColor black{};
    w->blankCursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
    cursor.End();
    current = w;
    return HandleOf(w);
}

void SetWindowUserData(WindowHandle window, void* data) {
    if (XWindow* w = ToWindow(window)) {
        w->userData = data;
    }
}

void* GetWindowUserData(WindowHandle window) {
    XWindow* w = ToWindow(window);
    return w != nullptr ? w->userData : nullptr;
}

void ShowWindow(WindowHandle window, bool show) {
    if (XEditBox* e = ToEdit(window)) {
        ShowEdit(e, show);
        return;
    }
    XWindow* w = ToWindow(window);
    if (!Alive(w)) {
        return;
    }
    ErrorTrap trap(w->display, w);
    if (show) {
        XMapWindow(w->display, w->id);
    } else {
        XUnmapWindow(w->display, w->id);
    }
}

void UpdateWindow(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (w != nullptr && !w->gone && w->paintPending) {
        w->paintPending = false;
        Send(w, kMsgPaint, 0, 0, 0);
    }
}

void InvalidateWindow(WindowHandle window) {
    if (XWindow* w = ToWindow(window)) {
        w->paintPending = true;
    }
}

void DestroyWindow(WindowHandle window) {
    if (XEditBox* e = ToEdit(window)) {
        DestroyEdit(e, true);
        return;
    }
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed) {
        return;
    }
    if (w->edit != nullptr) {
        // X takes the entry with its parent.
        DestroyEdit(w->edit, false);
    }
    w->timerOn = false;
    if (current == w) {
        current = nullptr;
    }
    {
        // The host may have destroyed its window, and ours with it, before closing the editor;
        // what is left on the server (cursor, colormap) is ours alone, and the connection goes.
        ErrorTrap trap(w->display);
        ReleaseContextOf(w);
        if (captured == w) {
            XUngrabPointer(w->display, CurrentTime);
            captured = nullptr;
        }
        if (Alive(w)) {
            XDestroyWindow(w->display, w->id);
        }
        XFreeCursor(w->display, w->blankCursor);
        if (w->colormap != 0) {
            XFreeColormap(w->display, w->colormap);
        }
        w->destroyed = true;
        trap.Close();
    }
    if (w->visual != nullptr) {
        XFree(w->visual);
        w->visual = nullptr;
    }
    w->display = nullptr;
    if (w->serving == 0) {
        Free(w);
    }
}

void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, bool) {
    if (XEditBox* e = ToEdit(window)) {
        MoveEdit(e, x, y, width, height);
        return;
    }
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed || width <= 0 || height <= 0) {
        return;
    }
    // A resize is where a scale request meets a window the host has destroyed: the editor hears
    // of it here, before it would draw into the window.
    Serving serving(w);
    if (Alive(w)) {
        ErrorTrap trap(w->display, w);
        XMoveResizeWindow(w->display, w->id, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        trap.End();
        if (w->goneByError) {
            Lose(w);
        }
    }
    TellGone(w);
}

void PaintWindow(WindowHandle window, bool swap) {
    XWindow* w = ToWindow(window);
    if (swap && Alive(w)) {
        ErrorTrap trap(w->display, w);
        glXSwapBuffers(w->display, w->id);
    }
}

void SetCapture(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (!Alive(w)) {
        return;
    }
    ErrorTrap trap(w->display, w);
    const ::Cursor shape = cursorCount < 0 ? w->blankCursor : 0;
    XGrabPointer(w->display, w->id, False, kGrabEvents, GrabModeAsync, GrabModeAsync, None, shape,
                 CurrentTime);
    captured = w;
}

void ReleaseCapture() {
    if (captured != nullptr) {
        ErrorTrap trap(captured->display, captured);
        XUngrabPointer(captured->display, CurrentTime);
        captured = nullptr;
    }
}

void StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs, TimerFn callback) {
    XWindow* w = ToWindow(window);
    if (w == nullptr) {
        return;
    }
    w->timerOn = true;
    w->timerId = id;
    w->timer = callback;
    w->period = std::chrono::milliseconds(periodMs);
    w->due = Clock::now() + w->period;
}

void StopTimer(WindowHandle window, std::uintptr_t) {
    if (XWindow* w = ToWindow(window)) {
        w->timerOn = false;
    }
}

void ServiceWindow(WindowHandle window) {
    XWindow* w = ToWindow(window);
    if (w == nullptr || w->destroyed) {
        return;
    }
    current = w;
    Serving serving(w);
    // The handlers' drawing (GL included) runs under the trap too: the host may destroy its
    // window between two idle calls, and say so only when it closes the editor.
    ErrorTrap trap(w->display, w);
    while (!w->destroyed && !w->gone && XPending(w->display) > 0) {
        XEvent event;
        XNextEvent(w->display, &event);
        if (w->edit != nullptr && event.xany.window == w->edit->id) {
            DispatchEdit(w->edit, event);
        } else {
            Dispatch(w, event);
        }
    }
    if (!w->destroyed && w->goneByError) {
        Lose(w);
    }
    if (!w->destroyed && !w->gone && w->timerOn && w->timer != nullptr) {
        const Clock::time_point now = Clock::now();
        if (now >= w->due) {
            // One tick per idle call however late it comes, and the cadence kept from the
            // schedule rather than from the late call.
            w->due += w->period;
            if (w->due <= now) {
                w->due = now + w->period;
            }
            w->timer(HandleOf(w), w->timerId);
        }
    }
    if (!w->destroyed && !w->gone && w->paintPending) {
        w->paintPending = false;
        Send(w, kMsgPaint, 0, 0, 0);
    }
    trap.End();
    if (!w->destroyed && w->goneByError) {
        Lose(w);
    }
    TellGone(w);
}

int EventSource(WindowHandle window) {
    XWindow* w = ToWindow(window);
    return w != nullptr && !w->destroyed ? ConnectionNumber(w->display) : -1;
}

std::int32_t LastError() {
    return lastError;
}

// Xft.dpi is one per display; the window given is the host's (an XID, no handle of ours). Only
// the connection CanOpenEditorWindow made for the coming window is asked: a connection of its
// own, closed at once, could be the server's last client and make it reset under the window
// about to open.
float SystemDpi(WindowHandle) {
    float dpi = 0.0f;
    if (pendingDisplay != nullptr) {
        if (const char* resources = XResourceManagerString(pendingDisplay)) {
            XrmInitialize();
            if (XrmDatabase database = XrmGetStringDatabase(resources)) {
                char* type = nullptr;
                XrmValue value{};
                if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) != 0 &&
                    value.addr != nullptr) {
                    dpi = ParseDpiNumber(value.addr);
                }
                XrmDestroyDatabase(database);
            }
        }
    }
    if (!(dpi > 0.0f)) {
        const char* scale = std::getenv("GDK_SCALE");
        dpi = scale != nullptr ? 96.0f * ParseDpiNumber(scale) : 0.0f;
    }
    return dpi;
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

bool ScreenToClient(WindowHandle window, Point& position) {
    XWindow* w = ToWindow(window);
    if (!Alive(w)) {
        return false;
    }
    ErrorTrap trap(w->display, w);
    int x = 0, y = 0;
    ::Window child = 0;
    if (XTranslateCoordinates(w->display, DefaultRootWindow(w->display), w->id, position.x,
                              position.y, &x, &y, &child) == False) {
        return false;
    }
    position.x = x;
    position.y = y;
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

} // namespace Platform
} // namespace VLM
