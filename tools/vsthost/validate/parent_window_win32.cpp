// Windows: a top-level window of the validator's own. Mouse input reaches the editor as the
// messages its window procedure would get from the system.
#include "validate/parent_window.h"

#include "host/plugin.h"

#include <windows.h>

#include <chrono>

namespace VLM {

struct CParentWindow::SImpl {
    HWND window = nullptr;
};

namespace {

constexpr wchar_t kClassName[] = L"VsthostValidateFrame";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

void HandlePending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The deepest visible child under (x, y) of `parent`, with the point in its coordinates.
HWND EditorWindowAt(HWND parent, int& x, int& y) {
    HWND current = parent;
    for (int depth = 0; depth < 16; ++depth) {
        POINT p{x, y};
        HWND child = ChildWindowFromPointEx(current, p, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (child == nullptr || child == current) {
            break;
        }
        MapWindowPoints(current, child, &p, 1);
        x = p.x;
        y = p.y;
        current = child;
    }
    return current == parent ? nullptr : current;
}

} // namespace

CParentWindow::CParentWindow(std::unique_ptr<SImpl> state) : impl(std::move(state)) {}

CParentWindow::~CParentWindow() {
    if (impl->window != nullptr) {
        DestroyWindow(impl->window);
        HandlePending();
    }
}

std::unique_ptr<CParentWindow> CParentWindow::Create(int width, int height, std::string& why) {
    if (GetSystemMetrics(SM_CXSCREEN) <= 0) {
        why = "no display";
        return nullptr;
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc); // fails harmlessly when a second window registers it again
    RECT r{0, 0, width > 0 ? width : 400, height > 0 ? height : 300};
    AdjustWindowRectEx(&r, kStyle, FALSE, 0);
    HWND hwnd = CreateWindowExW(0, kClassName, L"vsthost validate", kStyle, 0, 0, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        why = "no window can be created (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    auto impl = std::make_unique<SImpl>();
    impl->window = hwnd;
    return std::unique_ptr<CParentWindow>(new CParentWindow(std::move(impl)));
}

void* CParentWindow::Handle() const {
    return impl->window;
}

void CParentWindow::Pump(CPlugin& plugin, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        HandlePending();
        plugin.Dispatch(effEditIdle);
        if (milliseconds > 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    } while (std::chrono::steady_clock::now() < end);
}

bool CParentWindow::WaitForEditorWindow(CPlugin& plugin, int x, int y, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int ex = x, ey = y;
        if (EditorWindowAt(impl->window, ex, ey) != nullptr) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        Pump(plugin, 20);
    }
}

bool CParentWindow::Drag(CPlugin& plugin, int x, int y, int dy) {
    HWND target = EditorWindowAt(impl->window, x, y);
    if (target == nullptr) {
        return false;
    }
    SendMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    Pump(plugin, 0);
    constexpr int kSteps = 4;
    for (int s = 1; s <= kSteps; ++s) {
        SendMessageW(target, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y + dy * s / kSteps));
        Pump(plugin, 0);
    }
    SendMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(x, y + dy));
    Pump(plugin, 0);
    return true;
}

} // namespace VLM
