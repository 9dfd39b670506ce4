// A host that destroys its own window before it closes the editor, as toolkits do when they tear
// down a plug-in's frame: for one and for two instances, the editor's parent (or the editor's own
// window) goes, then the host runs audio, sets a parameter, asks for another drawing scale, keeps
// idling, closes the editor and opens it again into a fresh window. No error handler is installed
// here, so an X error of the plug-in's connection reaching Xlib would end the process as it ends
// a real host; after every call into the plug-in the process-wide handlers must be the ones it
// found. The run ends with "END OK".
// Usage: destroy_parent PLUGIN.so (DISPLAY set)
#include "host/aeffect.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

int failures = 0;
XErrorHandler defaultError = nullptr;
XIOErrorHandler defaultIOError = nullptr;

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterCanDo:
        return ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0;
    case audioMasterSizeWindow:
        return 1;
    default:
        return 0;
    }
}

// Xlib's handlers as the plug-in left them after `step`; putting the defaults back while asking
// keeps the next step honest.
void CheckHandlers(const char* sequence, const char* step) {
    const XErrorHandler error = XSetErrorHandler(nullptr);
    const XIOErrorHandler io = XSetIOErrorHandler(nullptr);
    if (error != defaultError || io != defaultIOError) {
        std::printf("FAIL: %s: %s left Xlib's %s handler changed\n", sequence, step,
                    error != defaultError ? "error" : "I/O error");
        ++failures;
    }
}

VstIntPtr Call(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
               float opt, const char* sequence, const char* step) {
    const VstIntPtr result = effect->dispatcher(effect, opcode, index, value, ptr, opt);
    CheckHandlers(sequence, step);
    return result;
}

void* AsParent(Window window) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
}

Window NewParent(Display* display, int slot) {
    const Window parent =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 450 * slot, 1800, 516, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    return parent;
}

// The mapped children of `parent`: the editor's window once it is open.
int MappedChildren(Display* display, Window parent, Window* first = nullptr) {
    Window root = 0, up = 0;
    Window* children = nullptr;
    unsigned count = 0;
    int found = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) != 0) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) != 0 && a.map_state == IsViewable) {
                if (found++ == 0 && first != nullptr) {
                    *first = children[i];
                }
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
    }
    return found;
}

void Idle(const std::vector<AEffect*>& effects, int times, const char* sequence) {
    for (int tick = 0; tick < times; ++tick) {
        for (AEffect* effect : effects) {
            Call(effect, effEditIdle, 0, 0, nullptr, 0.0f, sequence, "effEditIdle");
        }
        // Longer than the redraw period, so that every idle call has a tick to serve.
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

enum Steps : unsigned { kAudio = 1, kParameter = 2, kScale = 4 };

struct Sequence {
    const char* name;
    bool ownWindow; // the host destroys the editor's window itself rather than its parent
    unsigned steps;
};

// What the plug-in holds of a host's edits once its window is gone: the parameter and the size
// at the requested scale, also after opening again.
void CheckState(AEffect* effect, const Sequence& s, float parameter, short width) {
    if ((s.steps & kParameter) != 0 && effect->getParameter(effect, 3) != parameter) {
        std::printf("FAIL: %s: parameter 3 is %g, expected %g\n", s.name,
                    static_cast<double>(effect->getParameter(effect, 3)),
                    static_cast<double>(parameter));
        ++failures;
    }
    ERect* rect = nullptr;
    Call(effect, effEditGetRect, 0, 0, &rect, 0.0f, s.name, "effEditGetRect");
    if (rect == nullptr || rect->right - rect->left != width) {
        std::printf("FAIL: %s: the editor is %d wide, expected %d\n", s.name,
                    rect != nullptr ? rect->right - rect->left : -1, width);
        ++failures;
    }
}

// `width`: the editor's width at the scale the host asked for last, kept across sequences.
void Run(Display* display, const std::vector<AEffect*>& effects, const Sequence& s, int round,
         short& width) {
    const int n = static_cast<int>(effects.size());
    std::vector<Window> parents(n);
    for (int i = 0; i < n; ++i) {
        parents[i] = NewParent(display, i);
        if (Call(effects[i], effEditOpen, 0, 0, AsParent(parents[i]), 0.0f, s.name,
                 "effEditOpen") != 1) {
            std::printf("FAIL: %s: editor %d did not open\n", s.name, i + 1);
            ++failures;
        }
    }
    Idle(effects, 3, s.name);
    for (int i = 0; i < n; ++i) {
        Window editor = 0;
        if (MappedChildren(display, parents[i], &editor) != 1) {
            std::printf("FAIL: %s: editor %d is not shown in its parent\n", s.name, i + 1);
            ++failures;
        }
        XDestroyWindow(display, s.ownWindow && editor != 0 ? editor : parents[i]);
    }
    XSync(display, False);

    float left[2 * 256] = {};
    float right[2 * 256] = {};
    float* channels[2] = {left, right};
    const float parameter = 0.25f + 0.125f * static_cast<float>(round % 4);
    const float factor = round % 2 == 0 ? 1.5f : 2.0f;
    for (AEffect* effect : effects) {
        if ((s.steps & kAudio) != 0) {
            for (int block = 0; block < 20; ++block) {
                left[0] = 0.5f;
                effect->processReplacing(effect, channels, channels, 256);
            }
            CheckHandlers(s.name, "processReplacing");
        }
        if ((s.steps & kParameter) != 0) {
            effect->setParameter(effect, 3, parameter);
            CheckHandlers(s.name, "setParameter");
        }
        if ((s.steps & kScale) != 0 &&
            Call(effect, effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, factor,
                 s.name, "the scale request") != 1) {
            std::printf("FAIL: %s: the scale request was refused\n", s.name);
            ++failures;
        }
    }
    Idle(effects, 4, s.name);
    for (AEffect* effect : effects) {
        Call(effect, effEditClose, 0, 0, nullptr, 0.0f, s.name, "effEditClose");
    }
    XSync(display, False);
    if (!s.ownWindow) {
        parents.assign(n, 0);
    }

    if ((s.steps & kScale) != 0) {
        width = static_cast<short>(900 * factor);
    }
    for (int i = 0; i < n; ++i) {
        CheckState(effects[i], s, parameter, width);
        if (parents[i] != 0) {
            XDestroyWindow(display, parents[i]);
        }
        parents[i] = NewParent(display, i);
        if (Call(effects[i], effEditOpen, 0, 0, AsParent(parents[i]), 0.0f, s.name,
                 "effEditOpen again") != 1) {
            std::printf("FAIL: %s: editor %d did not open again\n", s.name, i + 1);
            ++failures;
        }
    }
    Idle(effects, 3, s.name);
    for (int i = 0; i < n; ++i) {
        if (MappedChildren(display, parents[i]) != 1) {
            std::printf("FAIL: %s: editor %d is not shown after opening again\n", s.name, i + 1);
            ++failures;
        }
        CheckState(effects[i], s, parameter, width);
        Call(effects[i], effEditClose, 0, 0, nullptr, 0.0f, s.name, "effEditClose again");
        XDestroyWindow(display, parents[i]);
    }
    XSync(display, False);
    std::printf("%s, %d instance(s): done\n", s.name, n);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: destroy_parent PLUGIN.so\n");
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
    // Asking for the handlers puts Xlib's defaults in place, which end the process on an error.
    defaultError = XSetErrorHandler(nullptr);
    defaultIOError = XSetIOErrorHandler(nullptr);

    const Sequence sequences[] = {
        {"parent destroyed, then audio and a parameter", false, kAudio | kParameter},
        {"parent destroyed, then a scale request", false, kScale},
        {"parent destroyed, then audio, a parameter and a scale request", false,
         kAudio | kParameter | kScale},
        {"editor window destroyed, then audio, a parameter and a scale request", true,
         kAudio | kParameter | kScale},
    };
    int round = 0;
    for (int count = 1; count <= 2; ++count) {
        std::vector<AEffect*> effects;
        for (int i = 0; i < count; ++i) {
            AEffect* effect = entry(&Host);
            effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
            effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
            effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
            effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
            effects.push_back(effect);
        }
        short width = 900;
        for (const Sequence& s : sequences) {
            Run(display, effects, s, round++, width);
        }
        for (AEffect* effect : effects) {
            effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
            Call(effect, effClose, 0, 0, nullptr, 0.0f, "the end", "effClose");
        }
    }
    XCloseDisplay(display);
    if (failures != 0) {
        return 1;
    }
    std::printf("END OK\n");
    return 0;
}
