// A stand-in host for the equaliser's editor under Wine: it creates a small effect that owns
// a real CDeviceGUI, opens the editor in a top-level window of its own the way a host answers
// effEditOpen, and runs the window's message loop. It logs every automation request that
// reaches the host, one line each on standard output, and takes commands on standard input
// so that a test script can process audio, close and reopen the editor, and read the values.
//
// Output lines:  rect W H | open 0|1 | editor X Y W H (screen) | gl VENDOR | RENDERER | VERSION
//                beginEdit ID | automate ID VALUE | endEdit ID | values V0 .. V11 | final ...
// Commands:      process | open | close | values | set ID VALUE | quit
#include "device/devicegui.h"
#include "host/audioeffectx.h"
#include "platform/gl.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

namespace {

constexpr int kControlCount = 12; // ten faders, the IN button, the IN lamp
constexpr UINT kCommandMessage = WM_APP + 1;
constexpr UINT_PTR kDeadlineTimer = 1;
constexpr int kBlockSize = 64;

void Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

VstIntPtr VLM_VSTCALL HostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                   float opt) {
    switch (opcode) {
    case audioMasterAutomate:
        Log("automate %d %.6f", static_cast<int>(index), static_cast<double>(opt));
        return 0;
    case audioMasterVersion:
        return 2400;
    case audioMasterBeginEdit:
        Log("beginEdit %d", static_cast<int>(index));
        return 1;
    case audioMasterEndEdit:
        Log("endEdit %d", static_cast<int>(index));
        return 1;
    default:
        return 0;
    }
}

// The smallest effect that owns the editor: the controls are the parameter store, and each
// audio block lights the lamp from the IN button as the equaliser does.
class CProbeEffect : public AudioEffectX {
public:
    explicit CProbeEffect(audioMasterCallback host) : AudioEffectX(host, 1, 10) {
        gui = new VLM::CDeviceGUI(this);
        editor = gui;
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing();
    }

    // [audio thread]
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
        for (int channel = 0; channel < 2; ++channel) {
            if (inputs[channel] != outputs[channel]) {
                std::memcpy(outputs[channel], inputs[channel],
                            static_cast<std::size_t>(sampleFrames) * sizeof(float));
            }
        }
        gui->InLamp().SetValue(gui->InButton().Value());
    }
    // [any thread]
    void setParameter(VstInt32 index, float value) override { gui->SetControlValue(index, value); }
    // [any thread]
    float getParameter(VstInt32 index) override { return gui->GetControlValue(index); }

    VLM::CDeviceGUI* Gui() { return gui; }

private:
    VLM::CDeviceGUI* gui = nullptr;
};

CProbeEffect* effect = nullptr;
HWND hostWindow = nullptr;

VstIntPtr Dispatch(VstInt32 opcode, void* ptr) {
    AEffect* record = effect->getAeffect();
    return record->dispatcher(record, opcode, 0, 0, ptr, 0.0f);
}

void LogValues(const char* tag) {
    std::string line = tag;
    char number[32];
    for (int id = 0; id < kControlCount; ++id) {
        std::snprintf(number, sizeof(number), " %.6f",
                      static_cast<double>(effect->Gui()->GetControlValue(id)));
        line += number;
    }
    Log("%s", line.c_str());
}

void OpenEditor() {
    const VstIntPtr opened = Dispatch(effEditOpen, hostWindow);
    Log("open %d", opened != 0 ? 1 : 0);
    HWND child = FindWindowExW(hostWindow, nullptr, L"VLMPluginWindow", nullptr);
    RECT box{};
    if (child != nullptr && GetWindowRect(child, &box)) {
        Log("editor %ld %ld %ld %ld", box.left, box.top, box.right - box.left,
            box.bottom - box.top);
    }
    if (opened != 0) {
        const auto text = [](GLenum name) {
            const GLubyte* value = glGetString(name);
            return value != nullptr ? reinterpret_cast<const char*>(value) : "?";
        };
        Log("gl %s | %s | %s", text(GL_VENDOR), text(GL_RENDERER), text(GL_VERSION));
    }
}

void ProcessBlock() {
    static float left[kBlockSize];
    static float right[kBlockSize];
    float* channels[2] = {left, right};
    AEffect* record = effect->getAeffect();
    record->processReplacing(record, channels, channels, kBlockSize);
    Log("processed");
}

void CloseHost();

void RunCommand(const std::string& line) {
    char name[32] = {};
    int id = 0;
    double value = 0.0;
    if (std::sscanf(line.c_str(), "%31s", name) != 1) {
        return;
    }
    const std::string command = name;
    if (command == "process") {
        ProcessBlock();
    } else if (command == "open") {
        OpenEditor();
    } else if (command == "close") {
        Dispatch(effEditClose, nullptr);
        Log("closed");
    } else if (command == "values") {
        LogValues("values");
    } else if (command == "set" && std::sscanf(line.c_str(), "%*s %d %lf", &id, &value) == 2) {
        AEffect* record = effect->getAeffect();
        record->setParameter(record, id, static_cast<float>(value));
        Log("set %d", id);
    } else if (command == "quit") {
        CloseHost();
    } else {
        Log("unknown %s", command.c_str());
    }
}

// A host closes the editor before the window that holds it.
void CloseHost() {
    Dispatch(effEditClose, nullptr);
    DestroyWindow(hostWindow);
}

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kCommandMessage: {
        auto* line = reinterpret_cast<std::string*>(lParam);
        RunCommand(*line);
        delete line;
        return 0;
    }
    case WM_TIMER:
        if (wParam == kDeadlineTimer) {
            Log("deadline");
            CloseHost();
        }
        return 0;
    case WM_CLOSE:
        CloseHost();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Lines from standard input become messages to the host window, so that every command runs
// on the thread that owns the editor.
void ReadCommands(HWND window) {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!PostMessageW(window, kCommandMessage, 0,
                          reinterpret_cast<LPARAM>(new std::string(line)))) {
            break;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    // Plain line feeds, so that the log reads the same on both sides of Wine.
    _setmode(_fileno(stdout), _O_BINARY);
    int seconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::atoi(argv[i + 1]);
        }
    }
    effect = new CProbeEffect(&HostCallback);

    ERect* rect = nullptr;
    Dispatch(effEditGetRect, &rect);
    if (rect == nullptr) {
        Log("rect none");
        return 1;
    }
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    Log("rect %d %d", width, height);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &HostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"VLMProbeHost";
    RegisterClassExW(&windowClass);
    // The host's window is larger than the editor, so that only the editor measures 900 x 258.
    RECT frame{0, 0, width + 40, height + 40};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    hostWindow = CreateWindowExW(0, L"VLMProbeHost", L"Editor probe", WS_OVERLAPPEDWINDOW, 20, 20,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                 nullptr, instance, nullptr);
    if (hostWindow == nullptr) {
        Log("hostwindow none %lu", GetLastError());
        return 1;
    }
    ShowWindow(hostWindow, SW_SHOW);
    UpdateWindow(hostWindow);
    SetForegroundWindow(hostWindow);
    OpenEditor();
    SetTimer(hostWindow, kDeadlineTimer, static_cast<UINT>(seconds) * 1000u, nullptr);

    std::thread(ReadCommands, hostWindow).detach();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    LogValues("final");
    delete effect;
    std::fflush(stdout);
    // The command reader may still wait on standard input.
    std::_Exit(0);
}
