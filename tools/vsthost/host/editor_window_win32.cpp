// Windows: a top-level window of the tool's own whose client area is the plug-in's editor.
#include "host/editor_window.h"

#include "common/errors.h"
#include "host/plugin.h"
#include "os/files.h"
#include "os/utf16_win32.h"

#include <windows.h>

#include <algorithm>

namespace VLM {

struct SEditorWindowAccess {
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Looks for the first picture; the timer behind it stops once it is seen.
    static void CheckFirstFrame(CEditorWindow& w, UINT_PTR timer) {
        w.CheckFirstFrame();
        if (!w.timing || w.firstFrame >= 0.0) {
            KillTimer(static_cast<HWND>(w.window), timer);
        }
    }
    static void CloseEditor(CEditorWindow& w) {
        if (w.editorOpen) {
            w.editorOpen = false;
            w.plugin.Dispatch(effEditClose);
        }
    }
};

namespace {

constexpr wchar_t kClassName[] = L"VsthostEditorFrame";
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT_PTR kEndTimer = 2;
// Looks at the screen every few milliseconds until the editor's first picture shows.
constexpr UINT_PTR kFrameTimer = 3;
constexpr UINT kFrameMilliseconds = 2;
constexpr UINT kIdleMilliseconds = 50;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Used when the plug-in does not tell its size before it is opened.
constexpr int kFallbackWidth = 400;
constexpr int kFallbackHeight = 300;

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

void SetClientSize(HWND hwnd, int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, kStyle, FALSE, 0);
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

LRESULT CALLBACK SEditorWindowAccess::Procedure(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* self = reinterpret_cast<CEditorWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_TIMER:
        if (self != nullptr && wParam == kIdleTimer && self->editorOpen) {
            self->plugin.Dispatch(effEditIdle);
        } else if (wParam == kEndTimer) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        } else if (self != nullptr && wParam == kFrameTimer && self->editorOpen) {
            CheckFirstFrame(*self, kFrameTimer);
        }
        return 0;
    case WM_CLOSE:
        // The editor closes while its parent still exists, as hosts do.
        if (self != nullptr) {
            CloseEditor(*self);
        }
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        if (self != nullptr) {
            self->window = nullptr;
        }
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

std::vector<std::uint32_t> CEditorWindow::SampleRows() {
    std::vector<std::uint32_t> pixels;
    HWND hwnd = static_cast<HWND>(window);
    if (hwnd == nullptr) {
        return pixels;
    }
    if (!editorOpen) {
        // Before the editor opens, the window's own painting is let through first.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    const int left = std::max<int>(origin.x, 0);
    const int right = std::min<int>(origin.x + width, GetSystemMetrics(SM_CXSCREEN));
    if (right <= left) {
        return pixels;
    }
    // The screen's pixels, the editor's child window included, copied row by row into a
    // bitmap of 32-bit pixels.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = right - left;
    info.bmiHeader.biHeight = -1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP row = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (screen != nullptr && memory != nullptr && row != nullptr && bits != nullptr) {
        HGDIOBJ previous = SelectObject(memory, row);
        for (int k = 1; k <= 3; ++k) {
            const int y = origin.y + height * k / 4;
            if (y < 0 || y >= GetSystemMetrics(SM_CYSCREEN)) {
                continue;
            }
            if (!BitBlt(memory, 0, 0, right - left, 1, screen, left, y, SRCCOPY)) {
                pixels.clear();
                break;
            }
            GdiFlush();
            const auto* p = static_cast<const std::uint32_t*>(bits);
            for (int i = 0; i < right - left; ++i) {
                pixels.push_back(p[i] & 0x00FFFFFFu);
            }
        }
        SelectObject(memory, previous);
    }
    if (row != nullptr) {
        DeleteObject(row);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return pixels;
}

CEditorWindow::CEditorWindow(CPlugin& effect, bool timeFirstFrame)
    : plugin(effect), timing(timeFirstFrame) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = SEditorWindowAccess::Procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    if (!ReadRect(plugin, width, height)) {
        width = kFallbackWidth;
        height = kFallbackHeight;
    }
    const std::string name = plugin.Text(effGetEffectName);
    const std::wstring title = Widen("vsthost - " + (name.empty() ? plugin.Path() : name));
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, kStyle, FALSE, 0);
    HWND hwnd =
        CreateWindowExW(0, kClassName, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        throw Exceptions::HostFailure("cannot create the editor window: " + LastErrorText());
    }
    window = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    HostContext().sizeWindow = [hwnd, this](int w, int h) {
        if (w <= 0 || h <= 0) {
            return false;
        }
        width = w;
        height = h;
        SetClientSize(hwnd, w, h);
        return true;
    };
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    if (timing) {
        LearnBackground();
    }

    NoteOpenCall();
    if (plugin.Dispatch(effEditOpen, 0, 0, hwnd) == 0) {
        HostContext().sizeWindow = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
        window = nullptr;
        throw Exceptions::HostFailure("the plug-in's editor did not open (effEditOpen answered 0)");
    }
    editorOpen = true;
    // Some editors know their size only once they are open.
    int w = 0, h = 0;
    if (ReadRect(plugin, w, h) && (w != width || h != height)) {
        width = w;
        height = h;
        SetClientSize(hwnd, w, h);
    }
    CheckFirstFrame();
}

CEditorWindow::~CEditorWindow() {
    HostContext().sizeWindow = nullptr;
    SEditorWindowAccess::CloseEditor(*this);
    if (window != nullptr) {
        HWND hwnd = static_cast<HWND>(window);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
        window = nullptr;
    }
}

void CEditorWindow::Run(double seconds) {
    HWND hwnd = static_cast<HWND>(window);
    SetTimer(hwnd, kIdleTimer, kIdleMilliseconds, nullptr);
    if (seconds > 0.0) {
        SetTimer(hwnd, kEndTimer, static_cast<UINT>(seconds * 1000.0), nullptr);
    }
    if (timing && firstFrame < 0.0) {
        SetTimer(hwnd, kFrameTimer, kFrameMilliseconds, nullptr);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace VLM
