// The editor's child window, its OpenGL context, the timer, the mouse and cursor, and the
// native edit box.
#include "platform/win32/win32.h"

namespace VLM {
namespace Platform {

namespace {

const wchar_t kWindowClass[] = L"VLMPluginWindow";

// The portable handlers never change once handed over, so one of each serves every editor.
WindowMessageFn windowHandler = nullptr;
TimerFn timerHandler = nullptr;
EditMessageFn editFilter = nullptr;
// The editor window whose WM_DESTROY is being handled: the portable code answers it by closing
// the editor, and a window is not destroyed again from inside its own destruction.
HWND destroying = nullptr;

// No C++ exception may unwind through the system's frames that called us.
LRESULT CALLBACK EditorWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WindowMessageFn handler = windowHandler;
    const HWND outer = destroying;
    if (message == WM_DESTROY) {
        destroying = hwnd;
    }
    bool handled = false;
    try {
        handled = handler != nullptr && handler(hwnd, message, wParam, lParam);
    } catch (...) {
        handled = true;
    }
    destroying = outer;
    return handled ? 0 : DefWindowProcW(hwnd, message, wParam, lParam);
}

VOID CALLBACK EditorTimerProc(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    const TimerFn handler = timerHandler;
    try {
        if (handler != nullptr) {
            handler(hwnd, id);
        }
    } catch (...) {
    }
}

// Where an edit box keeps the font SetEditFont made for it, which goes with the box.
const wchar_t kEditFontProperty[] = L"VLMEditFont";

void DeleteEditFont(HWND edit) {
    if (HANDLE font = RemovePropW(edit, kEditFontProperty)) {
        DeleteObject(static_cast<HGDIOBJ>(font));
    }
}

LRESULT CALLBACK EditSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR refData) {
    if (message == WM_DESTROY) {
        DeleteEditFont(hwnd);
    }
    EditAction action = EditAction::PassOn;
    try {
        if (editFilter != nullptr) {
            action = editFilter(reinterpret_cast<void*>(refData), message, wParam);
        }
    } catch (...) {
        action = EditAction::Swallow;
    }
    switch (action) {
    case EditAction::Swallow:
        return 0;
    case EditAction::PassOnAndDetach: {
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        RemoveWindowSubclass(hwnd, &EditSubclassProc, id);
        return result;
    }
    case EditAction::PassOn:
    default:
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
}

} // namespace

bool CanOpenEditorWindow() {
    return true;
}

void RegisterEditorWindowClass(ModuleHandle module, WindowMessageFn handler) {
    windowHandler = handler;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &EditorWindowProc;
    windowClass.hInstance = ToHinstance(module);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
}

WindowHandle CreateEditorWindow(ModuleHandle module, WindowHandle parent, std::int32_t width,
                                std::int32_t height) {
    return CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, width, height,
                           ToHwnd(parent), nullptr, ToHinstance(module), nullptr);
}

void SetWindowUserData(WindowHandle window, void* data) {
    SetWindowLongPtrW(ToHwnd(window), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
}

void* GetWindowUserData(WindowHandle window) {
    return reinterpret_cast<void*>(GetWindowLongPtrW(ToHwnd(window), GWLP_USERDATA));
}

void ShowWindow(WindowHandle window, bool show) {
    ::ShowWindow(ToHwnd(window), show ? SW_SHOW : SW_HIDE);
}

void UpdateWindow(WindowHandle window) {
    ::UpdateWindow(ToHwnd(window));
}

void InvalidateWindow(WindowHandle window) {
    InvalidateRect(ToHwnd(window), nullptr, FALSE);
}

void DestroyWindow(WindowHandle window) {
    if (ToHwnd(window) != destroying) {
        ::DestroyWindow(ToHwnd(window));
    }
}

void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, bool repaint) {
    ::MoveWindow(ToHwnd(window), x, y, width, height, repaint ? TRUE : FALSE);
}

void PaintWindow(WindowHandle window, bool swap) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(ToHwnd(window), &paint);
    if (swap && dc != nullptr) {
        SwapBuffers(dc);
    }
    EndPaint(ToHwnd(window), &paint);
}

void SetCapture(WindowHandle window) {
    ::SetCapture(ToHwnd(window));
}

void ReleaseCapture() {
    ::ReleaseCapture();
}

void StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs, TimerFn callback) {
    timerHandler = callback;
    SetTimer(ToHwnd(window), id, periodMs, &EditorTimerProc);
}

void StopTimer(WindowHandle window, std::uintptr_t id) {
    KillTimer(ToHwnd(window), id);
}

void ServiceWindow(WindowHandle) {}
int EventSource(WindowHandle) {
    return -1;
}

std::int32_t LastError() {
    return static_cast<std::int32_t>(GetLastError());
}

float SystemDpi(WindowHandle window) {
    // Windows 10 1607 and later; earlier systems have one DPI for every screen.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(ToHwnd(window))) {
            return static_cast<float>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return 0.0f;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<float>(dpi);
}

DeviceContextHandle GetDeviceContext(WindowHandle window) {
    return GetDC(ToHwnd(window));
}

void ReleaseDeviceContext(WindowHandle window, DeviceContextHandle dc) {
    ReleaseDC(ToHwnd(window), ToHdc(dc));
}

bool SetPixelFormat(DeviceContextHandle dc) {
    static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the pixel format request is 40 bytes");
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags =
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER | PFD_GENERIC_ACCELERATED;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 32;
    const int format = ChoosePixelFormat(ToHdc(dc), &request);
    return ::SetPixelFormat(ToHdc(dc), format, &request) != FALSE;
}

GLContextHandle CreateGLContext(DeviceContextHandle dc) {
    return wglCreateContext(ToHdc(dc));
}

bool MakeGLContextCurrent(DeviceContextHandle dc, GLContextHandle context) {
    return wglMakeCurrent(ToHdc(dc), ToHglrc(context)) != FALSE;
}

GLContextHandle CurrentGLContext() {
    return wglGetCurrentContext();
}

bool DeleteGLContext(GLContextHandle context) {
    return wglDeleteContext(ToHglrc(context)) != FALSE;
}

bool GetCursorPos(Point& position) {
    POINT point{};
    if (!::GetCursorPos(&point)) {
        return false;
    }
    position.x = point.x;
    position.y = point.y;
    return true;
}

void SetCursorPos(const Point& position) {
    ::SetCursorPos(position.x, position.y);
}

bool ScreenToClient(WindowHandle window, Point& position) {
    POINT point{position.x, position.y};
    if (!::ScreenToClient(ToHwnd(window), &point)) {
        return false;
    }
    position.x = point.x;
    position.y = point.y;
    return true;
}

std::uint64_t MonotonicMilliseconds() {
    return GetTickCount64();
}

void ShowCursor(bool show) {
    ::ShowCursor(show ? TRUE : FALSE);
}

WindowHandle CreateEditBox(ModuleHandle module, WindowHandle parent, std::int32_t x, std::int32_t y,
                           std::int32_t width, std::int32_t height) {
    return CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_CENTER, x, y, width, height,
                           ToHwnd(parent), nullptr, ToHinstance(module), nullptr);
}

bool SubclassEditBox(WindowHandle edit, EditMessageFn filter, void* refData) {
    editFilter = filter;
    return SetWindowSubclass(ToHwnd(edit), &EditSubclassProc, 0,
                             reinterpret_cast<DWORD_PTR>(refData)) != FALSE;
}

void SetWindowText(WindowHandle window, const std::wstring& text) {
    SetWindowTextW(ToHwnd(window), text.c_str());
}

std::wstring GetWindowText(WindowHandle window, std::size_t maxChars) {
    std::wstring buffer(maxChars + 1, L'\0');
    const int copied =
        GetWindowTextW(ToHwnd(window), buffer.data(), static_cast<int>(buffer.size()));
    buffer.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return buffer;
}

void SetEditFont(WindowHandle edit, std::int32_t pixelHeight) {
    HWND hwnd = ToHwnd(edit);
    HFONT font = nullptr;
    if (pixelHeight > 0) {
        font = CreateFontW(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    }
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    DeleteEditFont(hwnd);
    if (font != nullptr) {
        SetPropW(hwnd, kEditFontProperty, font);
    }
}

void SelectAllText(WindowHandle edit) {
    SendMessageW(ToHwnd(edit), EM_SETSEL, 0, -1);
}

void SetFocus(WindowHandle window) {
    ::SetFocus(ToHwnd(window));
}

} // namespace Platform
} // namespace VLM
