// Two instances of the Linux plug-in with their editors open at once on one thread, as a host
// shows two equalisers, closed and opened again: each editor is one 900 x 258 child of its own
// parent, and none is left after closing. Then effEditClose in the middle of a fader drag: the
// host's gesture ends, and the pointer grab goes with the editor's connection.
// Usage: two_editors PLUGIN.so (DISPLAY set)
#include "host/aeffect.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace {

int beginEdits = 0;
int endEdits = 0;

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    beginEdits += opcode == audioMasterBeginEdit ? 1 : 0;
    endEdits += opcode == audioMasterEndEdit ? 1 : 0;
    return opcode == audioMasterVersion ? 2400 : 0;
}

Window FirstChild(Display* display, Window parent) {
    Window root = 0, up = 0, child = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) != 0 && count > 0) {
        child = children[0];
    }
    if (children != nullptr) {
        XFree(children);
    }
    return child;
}

// A press of the left button at (x, y) of `target`, as the X server would deliver it.
void SendPress(Display* display, Window target, int x, int y) {
    XEvent event{};
    event.xbutton.type = ButtonPress;
    event.xbutton.display = display;
    event.xbutton.window = target;
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.same_screen = True;
    event.xbutton.button = Button1;
    XSendEvent(display, target, True, ButtonPressMask, &event);
    XFlush(display);
}

// The mapped 900 x 258 children of `parent`.
int EditorChildren(Display* display, Window parent) {
    Window root = 0, up = 0;
    Window* children = nullptr;
    unsigned count = 0;
    int found = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) != 0) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) != 0 && a.width == 900 &&
                a.height == 258 && a.map_state == IsViewable) {
                ++found;
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
    }
    return found;
}

using Clock = std::chrono::steady_clock;

// A loaded machine may take a while for what the server and the editors do between two idle
// calls, so the checks wait on their condition up to this long.
constexpr auto kDeadline = std::chrono::seconds(20);

// Idles the editors every 20 ms, at least `ticks` times and then until `done` holds or the
// deadline has passed; answers whether `done` held.
template <typename Done> bool IdleUntil(AEffect* const* effects, int count, int ticks, Done done) {
    const auto end = Clock::now() + kDeadline;
    for (int tick = 0;; ++tick) {
        if (tick >= ticks && (done() || Clock::now() >= end)) {
            return done();
        }
        for (int i = 0; i < count; ++i) {
            effects[i]->dispatcher(effects[i], effEditIdle, 0, 0, nullptr, 0.0f);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: two_editors PLUGIN.so\n");
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    auto* entry =
        library != nullptr
            ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, "VSTPluginMain"))
            : nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (entry == nullptr || display == nullptr) {
        std::fprintf(stderr, "SKIP: %s\n", entry == nullptr ? dlerror() : "no X display");
        return 77;
    }
    AEffect* effects[2] = {};
    Window parents[2] = {};
    for (int i = 0; i < 2; ++i) {
        effects[i] = entry(&Host);
        effects[i]->dispatcher(effects[i], effOpen, 0, 0, nullptr, 0.0f);
        parents[i] =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 300 * i, 900, 258, 0, 0, 0);
        XMapWindow(display, parents[i]);
    }
    XSync(display, False);
    int failures = 0;
    for (int round = 1; round <= 3; ++round) {
        for (int i = 0; i < 2; ++i) {
            void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(parents[i]));
            if (effects[i]->dispatcher(effects[i], effEditOpen, 0, 0, parent, 0.0f) != 1) {
                std::printf("FAIL: round %d: editor %d did not open\n", round, i + 1);
                ++failures;
            }
        }
        const bool settled = IdleUntil(effects, 2, 10, [&] {
            return EditorChildren(display, parents[0]) == 1 &&
                   EditorChildren(display, parents[1]) == 1;
        });
        for (int i = 0; i < 2; ++i) {
            const int shown = EditorChildren(display, parents[i]);
            if (shown != 1) {
                std::printf("FAIL: round %d: parent %d holds %d editors, expected 1%s\n", round,
                            i + 1, shown, settled ? "" : " (still so after 20 s)");
                ++failures;
            }
        }
        for (AEffect* effect : effects) {
            effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
        }
        XSync(display, False);
        for (int i = 0; i < 2; ++i) {
            const int left = EditorChildren(display, parents[i]);
            if (left != 0) {
                std::printf("FAIL: round %d: parent %d keeps %d editors after closing\n", round,
                            i + 1, left);
                ++failures;
            }
        }
    }

    // A press on band 1's fader starts a drag, and the host closes the editor before the release.
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(parents[0]));
    effects[0]->dispatcher(effects[0], effEditOpen, 0, 0, parent, 0.0f);
    effects[0]->dispatcher(effects[0], effEditIdle, 0, 0, nullptr, 0.0f);
    XSync(display, False);
    SendPress(display, FirstChild(display, parents[0]), 166, 131);
    const bool pressed = IdleUntil(effects, 1, 1, [] { return beginEdits > 0; });
    const int begun = beginEdits;
    effects[0]->dispatcher(effects[0], effEditClose, 0, 0, nullptr, 0.0f);
    if (begun != 1 || endEdits != 1) {
        std::printf("FAIL: close during a drag: %d begin and %d end of edit, expected 1 and 1%s\n",
                    begun, endEdits, pressed ? "" : " (no begin after 20 s)");
        ++failures;
    }
    // The server lets the editor's grab go once it has seen the editor's connection close.
    int grab = GrabNotViewable;
    const auto end = Clock::now() + kDeadline;
    for (;;) {
        grab = XGrabPointer(display, parents[1], False, ButtonPressMask, GrabModeAsync,
                            GrabModeAsync, None, None, CurrentTime);
        if (grab == GrabSuccess || Clock::now() >= end) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (grab != GrabSuccess) {
        std::printf("FAIL: close during a drag left the pointer grabbed (XGrabPointer: %d, "
                    "still after 20 s)\n",
                    grab);
        ++failures;
    }
    XUngrabPointer(display, CurrentTime);

    for (AEffect* effect : effects) {
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    XCloseDisplay(display);
    if (failures == 0) {
        std::printf("PASS: two editors at once, opened and closed 3 times; a close during a drag "
                    "ends the gesture and gives the pointer back\n");
    }
    return failures == 0 ? 0 : 1;
}
