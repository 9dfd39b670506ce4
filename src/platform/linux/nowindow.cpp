// The editor window services of a build without a window system, which answer "no window on
// this platform" so that the host's open request fails cleanly.
#include "platform/linux/errortext.h"
#include "platform/platform.h"

namespace VLM {
namespace Platform {

bool CanOpenEditorWindow() {
    return false;
}

// Nothing below is reached while CanOpenEditorWindow is false; each answers "none".
void RegisterEditorWindowClass(ModuleHandle, WindowMessageFn) {}

WindowHandle CreateEditorWindow(ModuleHandle, WindowHandle, std::int32_t, std::int32_t) {
    return nullptr;
}

void SetWindowUserData(WindowHandle, void*) {}

void* GetWindowUserData(WindowHandle) {
    return nullptr;
}

void ShowWindow(WindowHandle, bool) {}
void UpdateWindow(WindowHandle) {}
void InvalidateWindow(WindowHandle) {}
void DestroyWindow(WindowHandle) {}
void MoveWindow(WindowHandle, std::int32_t, std::int32_t, std::int32_t, std::int32_t, bool) {}
void PaintWindow(WindowHandle, bool) {}
void SetCapture(WindowHandle) {}
void ReleaseCapture() {}
void StartTimer(WindowHandle, std::uintptr_t, std::uint32_t, TimerFn) {}
void StopTimer(WindowHandle, std::uintptr_t) {}
void ServiceWindow(WindowHandle) {}
int EventSource(WindowHandle) {
    return -1;
}

std::int32_t LastError() {
    return 0;
}

float SystemDpi(WindowHandle) {
    return 0.0f;
}

DeviceContextHandle GetDeviceContext(WindowHandle) {
    return nullptr;
}

void ReleaseDeviceContext(WindowHandle, DeviceContextHandle) {}

bool SetPixelFormat(DeviceContextHandle) {
    return false;
}

GLContextHandle CreateGLContext(DeviceContextHandle) {
    return nullptr;
}

bool MakeGLContextCurrent(DeviceContextHandle, GLContextHandle context) {
    // Detaching is always possible; attaching is not, as there is no context.
    return context == nullptr;
}

GLContextHandle CurrentGLContext() {
    return nullptr;
}

bool DeleteGLContext(GLContextHandle) {
    return false;
}

bool GetCursorPos(Point&) {
    return false;
}

bool ScreenToClient(WindowHandle, Point&) {
    return false;
}

void SetCursorPos(const Point&) {}
void ShowCursor(bool) {}

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

void SetEditFont(WindowHandle, std::int32_t) {}
void SelectAllText(WindowHandle) {}
void SetFocus(WindowHandle) {}

// Without a window system the error box is its text on the standard error stream.
void ShowErrorBox(WindowHandle, const std::wstring& text, const std::wstring& caption) {
    WriteErrorToStderr(text, caption);
}

} // namespace Platform
} // namespace VLM
