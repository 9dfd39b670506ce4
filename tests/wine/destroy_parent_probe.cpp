// The plug-in DLL under a host that destroys its own window before it closes the editor: for one
// and for two instances, the editor's parent goes (DestroyWindow), then the host runs audio, sets
// a parameter, asks for another drawing scale, keeps its message loop and idle calls going,
// closes the editor and opens it again into a fresh window; several times over. Nothing may
// crash, no editor window may be left behind, and the process's handles and GDI and USER objects
// must stay level from one cycle to the next. The run ends with "END OK".
// Usage: destroy_parent_probe PLUGIN.dll
#include "host/aeffect.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCycles = 5;
constexpr int kWarmCycles = 2; // the counts are taken once the first windows and contexts exist
// Under Wine the process's committed memory takes or gives back a block of some 170 MB in any
// cycle (the GL driver keeps memory of a context it deleted for a while): the least of the later
// cycles is compared with the most of the warm-up ones, with that much slack. A GL context leaked
// at every open, or an editor with its context, goes far beyond it in one cycle.
constexpr SIZE_T kMemorySlack = SIZE_T{192} << 20;
const wchar_t kParentClass[] = L"VLMDestroyProbeParent";
const wchar_t kEditorClass[] = L"VLMPluginWindow";

int failures = 0;
// Ticks of the last step begun, for the watchdog; what it was, for its report.
std::atomic<ULONGLONG> stepTime{0};
std::atomic<const char*> stepName{""};

void Step(const char* name) {
    stepName = name;
    stepTime = GetTickCount64();
}

BOOL CALLBACK ReportBox(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t text[512] = {};
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) {
        GetWindowTextW(window, text, 511);
        std::printf("  window \"%ls\"\n", text);
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            GetWindowTextW(child, text, 511);
            std::printf("    \"%ls\"\n", text);
        }
    }
    return TRUE;
}

// A modal box or a hang inside the plug-in would stop the host for good: after 30 s on one step
// the probe says where it stands and what windows it shows, and ends.
DWORD WINAPI Watchdog(void*) {
    for (;;) {
        Sleep(1000);
        if (GetTickCount64() - stepTime.load() > 30000) {
            std::printf("FAIL: stuck for 30 s in: %s\n", stepName.load());
            EnumWindows(&ReportBox, 0);
            std::fflush(stdout);
            ExitProcess(1);
        }
    }
}

void Fail(const char* what, int count, int cycle) {
    std::printf("FAIL: %d instance(s), cycle %d: %s\n", count, cycle, what);
    std::fflush(stdout);
    ++failures;
}

VstIntPtr VLM_VSTCALL Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
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

// The host's message loop and idle calls for about `ms` milliseconds.
void Pump(const std::vector<AEffect*>& effects, int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        for (AEffect* effect : effects) {
            effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        }
        Sleep(10);
    } while (GetTickCount64() < end);
}

HWND NewParent(int slot) {
    HWND parent =
        CreateWindowExW(0, kParentClass, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 400 * slot,
                        1000, 360, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return parent;
}

int EditorsIn(HWND parent) {
    int found = 0;
    for (HWND child = FindWindowExW(parent, nullptr, kEditorClass, nullptr); child != nullptr;
         child = FindWindowExW(parent, child, kEditorClass, nullptr)) {
        ++found;
    }
    return found;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, &CountWindow, count);
    return TRUE;
}

struct Counts {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    int windows = 0;
    SIZE_T committed = 0;
};

template <typename Pick> Counts Each(const Counts& a, const Counts& b, Pick pick) {
    Counts c;
    c.handles = pick(a.handles, b.handles);
    c.gdi = pick(a.gdi, b.gdi);
    c.user = pick(a.user, b.user);
    c.windows = pick(a.windows, b.windows);
    c.committed = pick(a.committed, b.committed);
    return c;
}

Counts Measure() {
    Counts c;
    GetProcessHandleCount(GetCurrentProcess(), &c.handles);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        // Wine leaves PrivateUsage at 0; the commit charge is what it reports.
        c.committed = memory.PagefileUsage;
    }
    c.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    c.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&c.windows));
    return c;
}

void Cycle(const std::vector<AEffect*>& effects, int cycle) {
    const int count = static_cast<int>(effects.size());
    std::vector<HWND> parents(effects.size());
    for (int i = 0; i < count; ++i) {
        parents[i] = NewParent(i);
        Step("effEditOpen");
        if (effects[i]->dispatcher(effects[i], effEditOpen, 0, 0, parents[i], 0.0f) != 1) {
            Fail("the editor did not open", count, cycle);
        }
    }
    Step("idling with the editor open");
    Pump(effects, 100);
    Step("DestroyWindow of the parent");
    for (HWND parent : parents) {
        if (EditorsIn(parent) != 1) {
            Fail("the editor is not in its parent", count, cycle);
        }
        DestroyWindow(parent);
    }

    float left[256] = {};
    float right[256] = {};
    float* channels[2] = {left, right};
    const float factor = cycle % 2 == 0 ? 1.5f : 1.25f;
    const float parameter = 0.25f + 0.0625f * static_cast<float>(cycle);
    Step("audio, a parameter and a scale request after the parent went");
    for (AEffect* effect : effects) {
        for (int block = 0; block < 20; ++block) {
            left[0] = 0.5f;
            effect->processReplacing(effect, channels, channels, 256);
        }
        effect->setParameter(effect, 3, parameter);
        if (effect->dispatcher(effect, effVendorSpecific, kVendorScaleIndex, kVendorScaleValue,
                               nullptr, factor) != 1) {
            Fail("the scale request was refused", count, cycle);
        }
    }
    Step("idling after the parent went");
    Pump(effects, 100);
    Step("effEditClose after the parent went");
    for (AEffect* effect : effects) {
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    }

    for (int i = 0; i < count; ++i) {
        ERect* rect = nullptr;
        effects[i]->dispatcher(effects[i], effEditGetRect, 0, 0, &rect, 0.0f);
        if (rect == nullptr || rect->right - rect->left != static_cast<short>(900 * factor)) {
            Fail("the editor lost the scale the host asked for", count, cycle);
        }
        if (effects[i]->getParameter(effects[i], 3) != parameter) {
            Fail("the editor lost the parameter set after its window went", count, cycle);
        }
        parents[i] = NewParent(i);
        Step("effEditOpen into a fresh parent");
        if (effects[i]->dispatcher(effects[i], effEditOpen, 0, 0, parents[i], 0.0f) != 1) {
            Fail("the editor did not open again", count, cycle);
        }
    }
    Step("idling in the fresh parent");
    Pump(effects, 100);
    Step("effEditClose in the fresh parent");
    for (int i = 0; i < count; ++i) {
        if (EditorsIn(parents[i]) != 1) {
            Fail("the editor is not in its fresh parent", count, cycle);
        }
        effects[i]->dispatcher(effects[i], effEditClose, 0, 0, nullptr, 0.0f);
        if (EditorsIn(parents[i]) != 0) {
            Fail("the editor is left in its parent after closing", count, cycle);
        }
        DestroyWindow(parents[i]);
    }
    Pump(effects, 20);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: destroy_parent_probe PLUGIN.dll\n");
        return 2;
    }
    // A Unix path from the build, as Wine's drive Z: sees it.
    std::string path = argv[1];
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
        for (char& c : path) {
            c = c == '/' ? '\\' : c;
        }
    }
    HMODULE library = LoadLibraryA(path.c_str());
    auto entry = library != nullptr ? reinterpret_cast<VstPluginMainProc>(reinterpret_cast<void*>(
                                          GetProcAddress(library, "VSTPluginMain")))
                                    : nullptr;
    if (entry == nullptr) {
        std::printf("FAIL: %s does not load (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    WNDCLASSEXW parentClass{};
    parentClass.cbSize = sizeof(parentClass);
    parentClass.lpfnWndProc = &DefWindowProcW;
    parentClass.hInstance = GetModuleHandleW(nullptr);
    parentClass.lpszClassName = kParentClass;
    RegisterClassExW(&parentClass);
    Step("start");
    CreateThread(nullptr, 0, &Watchdog, nullptr, 0, nullptr);

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
        Counts warm;
        Counts later;
        for (int cycle = 1; cycle <= kCycles; ++cycle) {
            Cycle(effects, cycle);
            const Counts now = Measure();
            std::printf("%d instance(s), cycle %d: %lu handles, %lu GDI objects, %lu USER "
                        "objects, %d windows, %lu KiB committed\n",
                        count, cycle, now.handles, now.gdi, now.user, now.windows,
                        static_cast<unsigned long>(now.committed / 1024));
            std::fflush(stdout);
            if (now.windows != 0) {
                Fail("windows are left after closing and destroying them", count, cycle);
            }
            if (cycle == 1 || cycle == kWarmCycles + 1) {
                (cycle == 1 ? warm : later) = now;
            } else if (cycle <= kWarmCycles) {
                warm = Each(warm, now, [](auto a, auto b) { return std::max(a, b); });
            } else {
                later = Each(later, now, [](auto a, auto b) { return std::min(a, b); });
            }
        }
        if (later.handles > warm.handles || later.gdi > warm.gdi || later.user > warm.user ||
            later.committed > warm.committed + kMemorySlack) {
            Fail("the process holds more after every later cycle than after any warm-up one", count,
                 kCycles);
        }
        for (AEffect* effect : effects) {
            effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        }
    }
    if (failures != 0) {
        return 1;
    }
    std::printf("END OK\n");
    return 0;
}
