// What the Linux editor's window (window.cpp), its GLX context (glx.cpp) and its text entry
// (editbox.cpp) share: the records behind the window handles, the error trap every X request
// runs under, and the few calls one part makes of another. All of it is used only on the thread
// that opened the editor.
#pragma once

#include "platform/platform.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace VLM {
namespace Platform {
namespace X11 {

using Clock = std::chrono::steady_clock;

// What a window handle points to: an editor window or a text entry.
struct XHandle {
    explicit XHandle(bool edit) : isEdit(edit) {}
    const bool isEdit;
};

struct XWindow;

// The text entry: a child window of the editor holding one line, drawn with Cairo, fed by the
// key presses of its own window while it has the keyboard focus.
struct XEditBox : XHandle {
    XEditBox() : XHandle(true) {}
    XWindow* editor = nullptr;
    ::Window id = 0;
    int width = 0;
    int height = 0;
    int fontPixels = 0; // SetEditFont's height; 0: the read-out's own size
    bool shown = false;
    bool focused = false;
    ::Window previousFocus = 0; // whose focus to give back
    int previousRevert = RevertToParent;
    std::wstring text;
    std::size_t caret = 0;
    bool allSelected = false;
    EditMessageFn filter = nullptr;
    void* refData = nullptr;
};

struct XWindow : XHandle {
    XWindow() : XHandle(false) {}
    XEditBox* edit = nullptr; // the editor's text entry, if it has one
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
    int serving = 0; // nesting depth of calls that may destroy it; the record outlives them
    bool destroyed = false;
    // The server has destroyed the window (the host destroyed it, or its parent): nothing is
    // asked of it any more, and the editor hears so once, as a destroy message.
    bool gone = false;
    bool goneByError = false; // an X error said so; taken up after the request that failed
    bool goneToTell = false;  // the destroy message is still to be sent
};

inline XWindow* ToWindow(WindowHandle window) {
    auto* handle = static_cast<XHandle*>(window);
    return handle != nullptr && !handle->isEdit ? static_cast<XWindow*>(handle) : nullptr;
}

inline XEditBox* ToEdit(WindowHandle window) {
    auto* handle = static_cast<XHandle*>(window);
    return handle != nullptr && handle->isEdit ? static_cast<XEditBox*>(handle) : nullptr;
}

// Xlib's default error handler ends the process, and the host's window (and ours with it) may
// be destroyed at any moment by another client: every request of ours runs under this trap,
// which catches the errors of our connections and puts the previous handler back at its end,
// so the process-wide handler is the host's again whenever we return. Traps nest.
class ErrorTrap {
public:
    // `owner`: the window whose connection this is, when a call under the trap may close it.
    explicit ErrorTrap(Display* d, const XWindow* owner = nullptr);
    ~ErrorTrap() { End(); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // Waits for the server's answer to every request made under the trap; its first error.
    int End();
    // Closes the connection under the trap, for the errors its last requests may still bring.
    void Close();

private:
    void Finish();

    Display* display;
    const XWindow* window;
    int outer = 0; // the enclosing trap's error so far
    int result = 0;
    XErrorHandler previous = nullptr;
};

// Keeps a window's record while a call that may destroy it (through the editor's handlers) is
// still using it.
class Serving {
public:
    explicit Serving(XWindow* window) : w(window) { ++w->serving; }
    ~Serving();
    Serving(const Serving&) = delete;
    Serving& operator=(const Serving&) = delete;

private:
    XWindow* w;
};

// The window (window.cpp).

// The window is gone from the server: its context is let go at once, so that no GL call reaches
// it, and the pointer grab with it.
void Lose(XWindow* w);
// Whether the window still exists, as the server says now: a round trip brings the news of a
// destruction by another client (its DestroyNotify, which every editor window selects, or an
// error of an earlier request on it).
bool Alive(XWindow* w);
// The editor hears of its window's end once; it closes itself in answer, as to a destroy
// message from any window system. The caller holds the record (Serving).
void TellGone(XWindow* w);

// The GLX context (glx.cpp).

// Lets go of the current context if it was made current on `w`; the caller holds a trap.
void ReleaseContextOf(const XWindow* w);

// The text entry (editbox.cpp).

// An event of the entry's own window, taken from the editor's connection.
void DispatchEdit(XEditBox* e, XEvent& event);
void ShowEdit(XEditBox* e, bool show);
void MoveEdit(XEditBox* e, int x, int y, int width, int height);
// `destroyWindow` false: X takes the entry's window with its parent's.
void DestroyEdit(XEditBox* e, bool destroyWindow);

} // namespace X11
} // namespace Platform
} // namespace VLM
