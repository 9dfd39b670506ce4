// The Linux plug-in's module, its compiled-in resources, and the editor window services,
// which answer "no window on this platform" so that the host's open request fails cleanly.
#include "platform/platform.h"

#include "resources/embedded.h"

namespace VLM {
namespace Platform {

namespace {

// Stands for the plug-in library: the compiled-in table belongs to it.
char moduleToken = 0;

wchar_t FoldCase(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Resource names compare without regard to the case of the letters A to Z, as on Windows.
bool SameName(const std::wstring& wanted, const char* stored) {
    std::size_t i = 0;
    for (; i < wanted.size(); ++i) {
        const auto c = static_cast<unsigned char>(stored[i]);
        if (c == 0 || FoldCase(wanted[i]) != FoldCase(static_cast<wchar_t>(c))) {
            return false;
        }
    }
    return stored[i] == 0;
}

} // namespace

ModuleHandle ModuleInstance() {
    return &moduleToken;
}

bool ReadResource(ModuleHandle module, const std::wstring& name, const std::wstring& type,
                  std::vector<std::uint8_t>& bytes) {
    if (module == nullptr || name.empty() || type.empty()) {
        return false;
    }
    for (std::size_t i = 0; i < kEmbeddedResourceCount; ++i) {
        const EmbeddedResource& resource = kEmbeddedResources[i];
        if (SameName(name, resource.name) && SameName(type, resource.type)) {
            if (resource.data == nullptr || resource.size == 0) {
                return false;
            }
            bytes.assign(resource.data, resource.data + resource.size);
            return true;
        }
    }
    return false;
}

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

std::int32_t LastError() {
    return 0;
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

void SelectAllText(WindowHandle) {}
void SetFocus(WindowHandle) {}

} // namespace Platform
} // namespace VLM
