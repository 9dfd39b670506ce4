// Linux: a top-level X window of the tool's own, on its own display connection, whose inside is
// the plug-in's editor. The editor gets the window's XID and is idled every 20 ms on this
// thread, as Linux hosts do.
#include "host/editor_window.h"

#include "common/errors.h"
#include "host/plugin.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <thread>

namespace VLM {
namespace {

constexpr auto kIdlePeriod = std::chrono::milliseconds(20);
// How often the screen is looked at between idle calls until the first picture shows.
constexpr auto kFramePoll = std::chrono::milliseconds(2);
// Used when the plug-in does not tell its size before it is opened.
constexpr int kFallbackWidth = 400;
constexpr int kFallbackHeight = 300;

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
    gInterrupted = 1;
}

struct SFrame {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteWindow = 0;
    bool closed = false;
};

bool ReadRect(CPlugin& plugin, int& width, int& height) {
    ERect* rect = nullptr;
    plugin.Dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
        return false;
    }
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return true;
}

void SetSize(SFrame& frame, int width, int height) {
    XResizeWindow(frame.display, frame.window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    XSetWMNormalHints(frame.display, frame.window, &hints);
    XFlush(frame.display);
}

// The frame's own events: only the window manager's close request matters.
void Drain(SFrame& frame) {
    while (XPending(frame.display) > 0) {
        XEvent event;
        XNextEvent(frame.display, &event);
        if (event.type == ClientMessage &&
            static_cast<Atom>(event.xclient.data.l[0]) == frame.deleteWindow) {
            frame.closed = true;
        }
    }
}

void DestroyFrame(SFrame* frame) {
    if (frame == nullptr) {
        return;
    }
    if (frame->display != nullptr) {
        XDestroyWindow(frame->display, frame->window);
        XCloseDisplay(frame->display);
    }
    delete frame;
}

} // namespace

std::vector<std::uint32_t> CEditorWindow::SampleRows() {
    std::vector<std::uint32_t> pixels;
    auto* frame = static_cast<SFrame*>(window);
    if (frame == nullptr) {
        return pixels;
    }
    // The screen's pixels, the editor's child window included; only what lies on the screen is
    // asked for, as anything beyond it would be an X error.
    Display* d = frame->display;
    const int screen = DefaultScreen(d);
    Window child = 0;
    int x = 0, y = 0;
    if (!XTranslateCoordinates(d, frame->window, RootWindow(d, screen), 0, 0, &x, &y, &child)) {
        return pixels;
    }
    const int left = std::max(x, 0);
    const int right = std::min(x + width, DisplayWidth(d, screen));
    for (int k = 1; k <= 3 && right > left; ++k) {
        const int row = y + height * k / 4;
        if (row < 0 || row >= DisplayHeight(d, screen)) {
            continue;
        }
        XImage* image = XGetImage(d, RootWindow(d, screen), left, row,
                                  static_cast<unsigned>(right - left), 1, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return {};
        }
        for (int i = 0; i < right - left; ++i) {
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, i, 0)));
        }
        XDestroyImage(image);
    }
    return pixels;
}

CEditorWindow::CEditorWindow(CPlugin& effect, bool timeFirstFrame)
    : plugin(effect), timing(timeFirstFrame) {
    // An interruption from the moment the editor can show, not only once Run starts: a caller
    // that ends the tool as soon as it sees the window still gets its report. Run puts the
    // default handlers back.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    if (!ReadRect(plugin, width, height)) {
        width = kFallbackWidth;
        height = kFallbackHeight;
    }
    auto* frame = new SFrame;
    frame->display = XOpenDisplay(nullptr);
    if (frame->display == nullptr) {
        // No X server: the plug-in is still asked, with no parent, and must refuse cleanly.
        delete frame;
        if (plugin.Dispatch(effEditOpen, 0, 0, nullptr) == 0) {
            throw Exceptions::HostFailure(
                "the plug-in's editor did not open (effEditOpen answered 0; no display: DISPLAY "
                "is not set or its X server does not answer)");
        }
        editorOpen = true;
        return;
    }
    Display* d = frame->display;
    const int screen = DefaultScreen(d);
    frame->window = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0,
                                        static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        0, BlackPixel(d, screen), BlackPixel(d, screen));
    const std::string name = plugin.Text(effGetEffectName);
    const std::string title = "vsthost - " + (name.empty() ? plugin.Path() : name);
    XStoreName(d, frame->window, title.c_str());
    frame->deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, frame->window, &frame->deleteWindow, 1);
    XSelectInput(d, frame->window, StructureNotifyMask);
    SetSize(*frame, width, height);
    XMapWindow(d, frame->window);
    XSync(d, False);
    window = frame;
    HostContext().sizeWindow = [frame, this](int w, int h) {
        if (w <= 0 || h <= 0) {
            return false;
        }
        width = w;
        height = h;
        SetSize(*frame, w, h);
        return true;
    };

    if (timing) {
        LearnBackground();
    }

    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(frame->window));
    NoteOpenCall();
    if (plugin.Dispatch(effEditOpen, 0, 0, parent) == 0) {
        HostContext().sizeWindow = nullptr;
        DestroyFrame(frame);
        window = nullptr;
        throw Exceptions::HostFailure("the plug-in's editor did not open (effEditOpen answered 0)");
    }
    editorOpen = true;
    // Some editors know their size only once they are open.
    int w = 0, h = 0;
    if (ReadRect(plugin, w, h) && (w != width || h != height)) {
        width = w;
        height = h;
        SetSize(*frame, w, h);
    }
    CheckFirstFrame();
}

CEditorWindow::~CEditorWindow() {
    HostContext().sizeWindow = nullptr;
    // The editor closes while its parent still exists, as hosts do.
    if (editorOpen) {
        editorOpen = false;
        plugin.Dispatch(effEditClose);
    }
    DestroyFrame(static_cast<SFrame*>(window));
    window = nullptr;
}

void CEditorWindow::Run(double seconds) {
    auto* frame = static_cast<SFrame*>(window);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(seconds > 0.0 ? seconds : 1.0e9));
    auto next = start;
    while (gInterrupted == 0 && (frame == nullptr || !frame->closed) &&
           std::chrono::steady_clock::now() < end) {
        if (frame != nullptr) {
            Drain(*frame);
        }
        if (editorOpen) {
            plugin.Dispatch(effEditIdle);
        }
        next += kIdlePeriod;
        CheckFirstFrame();
        while (timing && firstFrame < 0.0 && std::chrono::steady_clock::now() + kFramePoll < next) {
            std::this_thread::sleep_for(kFramePoll);
            CheckFirstFrame();
        }
        std::this_thread::sleep_until(next);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace VLM
