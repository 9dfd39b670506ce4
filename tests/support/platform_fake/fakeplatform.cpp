#include "platform_fake/fakeplatform.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace VLM {
namespace Fake {

namespace {
State* state = nullptr;

// The editor decodes images on a worker thread: what decoding touches (the call record, the
// handle counter and the bitmaps) is guarded.
std::recursive_mutex sharedLock;
using Guard = std::lock_guard<std::recursive_mutex>;

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

Platform::WindowHandle NewHandle() {
    const Guard guard(sharedLock);
    return reinterpret_cast<Platform::WindowHandle>(Get().nextHandle++ * 16);
}

Window* Find(Platform::WindowHandle handle) {
    auto it = Get().windows.find(handle);
    if (it == Get().windows.end() || it->second.destroyed) {
        return nullptr;
    }
    return &it->second;
}

void Record(const char* name) {
    const Guard guard(sharedLock);
    Get().calls.emplace_back(name);
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}
std::uint32_t GetU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
} // namespace

State& Get() {
    if (state == nullptr) {
        state = new State();
        Reset();
    }
    return *state;
}

void Reset() {
    if (state == nullptr) {
        state = new State();
    }
    *state = State();
    AddImage(L"ZEM", 900, 258, 1);
    const wchar_t* faders[] = {L"FADER01[64X18]", L"FADER02[64X18]", L"FADER03[64X18]",
                               L"FADER04[64X18]", L"FADER05[64X18]", L"FADER06[64X18]",
                               L"FADER07[64X18]", L"FADER08[64X18]", L"FADER09[64X18]",
                               L"FADER10[64X18]"};
    std::uint8_t seed = 10;
    for (const wchar_t* name : faders) {
        AddImage(name, 900, 940, seed++);
    }
    AddImage(L"BUTTON[2]", 60, 120, 30);
    AddImage(L"LAMP[2]", 50, 100, 31);
    // The twins at twice the resolution, named as the artwork generator names them.
    AddImage(L"ZEM@2X", 1800, 516, 101);
    seed = 110;
    for (const wchar_t* name : faders) {
        std::wstring twin = name;
        twin.insert(twin.find(L'['), L"@2X");
        AddImage(twin, 1800, 1880, seed++);
    }
    AddImage(L"BUTTON@2X[2]", 120, 240, 130);
    AddImage(L"LAMP@2X[2]", 100, 200, 131);
}

std::vector<std::uint8_t> EncodeImage(std::int32_t width, std::int32_t height, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes = {'F', 'I', 'M', 'G'};
    PutU32(bytes, static_cast<std::uint32_t>(width));
    PutU32(bytes, static_cast<std::uint32_t>(height));
    bytes.push_back(seed);
    // As with real files, other images are mostly of other lengths.
    bytes.resize(bytes.size() + seed, seed);
    return bytes;
}

void AddImage(const std::wstring& name, std::int32_t width, std::int32_t height,
              std::uint8_t seed) {
    Get().resources[Lower(name)] = EncodeImage(width, height, seed);
}

std::intptr_t MouseLParam(std::int32_t x, std::int32_t y) {
    const auto low = static_cast<std::uint16_t>(x);
    const auto high = static_cast<std::uint16_t>(y);
    return static_cast<std::intptr_t>((std::uintptr_t{high} << 16) | low);
}

bool SendWindowMessage(Platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    if (Get().windowHandler == nullptr || Find(window) == nullptr) {
        return false;
    }
    return Get().windowHandler(window, message, wParam, lParam);
}

void TickTimers() {
    const std::vector<Timer> timers = Get().timers;
    for (const Timer& timer : timers) {
        timer.callback(timer.window, timer.id);
    }
}

void SendEditMessage(Platform::WindowHandle edit, std::uint32_t message, std::uintptr_t wParam) {
    Window* w = Find(edit);
    if (w == nullptr) {
        return;
    }
    Platform::EditAction action = Platform::EditAction::PassOn;
    if (w->filter != nullptr) {
        action = w->filter(w->refData, message, wParam);
    }
    w = Find(edit);
    if (w == nullptr || action == Platform::EditAction::Swallow) {
        return;
    }
    if (message == Platform::kMsgChar) {
        if (w->allSelected) {
            w->text.clear();
            w->allSelected = false;
        }
        if (wParam == 8) {
            if (!w->text.empty()) {
                w->text.pop_back();
            }
        } else if (wParam >= 32) {
            w->text.push_back(static_cast<wchar_t>(wParam));
        }
    }
    if (action == Platform::EditAction::PassOnAndDetach) {
        w->filter = nullptr;
        w->refData = nullptr;
    }
}

void TypeText(Platform::WindowHandle edit, const std::wstring& text) {
    for (wchar_t c : text) {
        SendEditMessage(edit, Platform::kMsgChar, static_cast<std::uintptr_t>(c));
    }
}

std::vector<Platform::WindowHandle> LiveWindows(bool edits) {
    std::vector<Platform::WindowHandle> live;
    for (const auto& entry : Get().windows) {
        if (!entry.second.destroyed && entry.second.isEdit == edits) {
            live.push_back(entry.first);
        }
    }
    return live;
}

int CallCount(const std::string& name) {
    return static_cast<int>(std::count(Get().calls.begin(), Get().calls.end(), name));
}

int GLCallCount(const std::string& name) {
    return static_cast<int>(std::count(Get().gl.calls.begin(), Get().gl.calls.end(), name));
}

} // namespace Fake

namespace Platform {

using Fake::Find;
using Fake::Get;
using Fake::Record;

ModuleHandle ModuleInstance() {
    return Get().module;
}

bool ReadResource(ModuleHandle module, const std::wstring& name, const std::wstring& type,
                  std::vector<std::uint8_t>& bytes) {
    Record("ReadResource");
    Get().resourceLookups.push_back(name);
    if (module != Get().module || type != L"IMG") {
        return false;
    }
    // Resource names compare without regard to case.
    auto it = Get().resources.find(Fake::Lower(name));
    if (it == Get().resources.end()) {
        return false;
    }
    bytes = it->second;
    return true;
}

std::size_t ResourceSize(ModuleHandle module, const std::wstring& name, const std::wstring& type) {
    Record("ResourceSize");
    if (module != Get().module || type != L"IMG") {
        return 0;
    }
    const auto it = Get().resources.find(Fake::Lower(name));
    return it == Get().resources.end() ? 0 : it->second.size();
}

std::int32_t ImageLibraryStartup(std::uintptr_t& token) {
    Record("ImageLibraryStartup");
    if (Get().startupStatus != 0) {
        return Get().startupStatus;
    }
    Get().imageLibraryRunning = true;
    token = 0xABC;
    return 0;
}

void ImageLibraryShutdown(std::uintptr_t token) {
    Record("ImageLibraryShutdown");
    if (token == 0xABC) {
        Get().imageLibraryRunning = false;
    }
}

Bitmap DecodeImage(const std::uint8_t* bytes, std::size_t size) {
    const Fake::Guard guard(Fake::sharedLock);
    Record("DecodeImage");
    Bitmap result;
    if (Get().decodeStatus != 0) {
        result.status = Get().decodeStatus;
        return result;
    }
    if (bytes == nullptr || size < 13 || std::memcmp(bytes, "FIMG", 4) != 0) {
        result.status = 2; // InvalidParameter
        return result;
    }
    Fake::Bitmap bitmap;
    bitmap.width = static_cast<std::int32_t>(Fake::GetU32(bytes + 4));
    bitmap.height = static_cast<std::int32_t>(Fake::GetU32(bytes + 8));
    bitmap.seed = bytes[12];
    bitmap.decoded = true; // pixels are made when first locked
    result.handle = Fake::NewHandle();
    Get().bitmaps[result.handle] = std::move(bitmap);
    return result;
}

Bitmap CreateBitmap(std::int32_t width, std::int32_t height) {
    const Fake::Guard guard(Fake::sharedLock);
    Record("CreateBitmap");
    Bitmap result;
    if (Get().createBitmapStatus != 0) {
        result.status = Get().createBitmapStatus;
        return result;
    }
    Fake::Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(static_cast<std::size_t>(width) * height * 4, 0xCD);
    result.handle = Fake::NewHandle();
    Get().bitmaps[result.handle] = std::move(bitmap);
    return result;
}

std::int32_t BitmapWidth(BitmapHandle bitmap) {
    const Fake::Guard guard(Fake::sharedLock);
    auto it = Get().bitmaps.find(bitmap);
    return it == Get().bitmaps.end() ? 0 : it->second.width;
}

std::int32_t BitmapHeight(BitmapHandle bitmap) {
    const Fake::Guard guard(Fake::sharedLock);
    auto it = Get().bitmaps.find(bitmap);
    return it == Get().bitmaps.end() ? 0 : it->second.height;
}

bool LockPixels(BitmapHandle bitmap, PixelRows& rows) {
    const Fake::Guard guard(Fake::sharedLock);
    auto it = Get().bitmaps.find(bitmap);
    if (it == Get().bitmaps.end()) {
        return false;
    }
    Fake::Bitmap& b = it->second;
    if (b.decoded && b.pixels.empty()) {
        b.pixels.resize(static_cast<std::size_t>(b.width) * b.height * 4);
        // The pattern costs time in every test; only tests that look at pixels want it.
        for (std::int32_t y = 0; Get().gl.keepPixels && y < b.height; ++y) {
            for (std::int32_t x = 0; x < b.width; ++x) {
                std::uint8_t* p = &b.pixels[(static_cast<std::size_t>(y) * b.width + x) * 4];
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = b.seed;
                p[3] = 255;
            }
        }
    }
    rows.scan0 = it->second.pixels.data();
    rows.width = it->second.width;
    rows.height = it->second.height;
    rows.stride = it->second.width * 4;
    rows.lock = 1;
    return true;
}

void UnlockPixels(BitmapHandle, PixelRows& rows) {
    rows.lock = 0;
}

void DisposeBitmap(BitmapHandle bitmap) {
    const Fake::Guard guard(Fake::sharedLock);
    if (bitmap != nullptr) {
        Get().bitmaps.erase(bitmap);
    }
}

TextBox MeasureText(DeviceContextHandle, const std::wstring& text, float scale) {
    Record("MeasureText");
    Get().lastMeasured = text;
    Get().textScales.push_back(scale);
    TextBox box;
    box.left = Get().textLeft * scale;
    box.top = Get().textTop * scale;
    box.width = Get().charWidth * scale * static_cast<float>(text.size());
    box.height = Get().lineHeight * scale;
    return box;
}

Bitmap RenderText(const std::wstring& text, const TextBox&, std::int32_t width, std::int32_t height,
                  float scale) {
    const Fake::Guard guard(Fake::sharedLock);
    Record("RenderText");
    Get().textScales.push_back(scale);
    Fake::Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(static_cast<std::size_t>(width) * height * 4, 0xFF);
    bitmap.text = text;
    Bitmap result;
    result.handle = Fake::NewHandle();
    Get().bitmaps[result.handle] = std::move(bitmap);
    return result;
}

void ServiceWindow(WindowHandle) {}
int EventSource(WindowHandle) {
    return -1;
}

bool CanOpenEditorWindow() {
    return Get().canOpen;
}

void RegisterEditorWindowClass(ModuleHandle, WindowMessageFn handler) {
    Record("RegisterEditorWindowClass");
    Get().windowHandler = handler;
}

WindowHandle CreateEditorWindow(ModuleHandle, WindowHandle parent, std::int32_t width,
                                std::int32_t height) {
    Record("CreateEditorWindow");
    if (Get().failCreateWindow) {
        return nullptr;
    }
    WindowHandle handle = Fake::NewHandle();
    Fake::Window& w = Get().windows[handle];
    w.parent = parent;
    w.width = width;
    w.height = height;
    return handle;
}

void SetWindowUserData(WindowHandle window, void* data) {
    if (Fake::Window* w = Find(window)) {
        w->userData = data;
    }
}

void* GetWindowUserData(WindowHandle window) {
    Fake::Window* w = Find(window);
    return w != nullptr ? w->userData : nullptr;
}

void ShowWindow(WindowHandle window, bool show) {
    Record(show ? "ShowWindow(show)" : "ShowWindow(hide)");
    Fake::Window* w = Find(window);
    if (w == nullptr) {
        return;
    }
    w->visible = show;
    // Hiding the focused window takes the keyboard focus away, as the window system does.
    if (!show && Get().focus == window) {
        Get().focus = nullptr;
        if (w->isEdit) {
            Fake::SendEditMessage(window, kMsgKillFocus, 0);
        }
    }
}

void UpdateWindow(WindowHandle) {
    Record("UpdateWindow");
}
void InvalidateWindow(WindowHandle) {
    Record("InvalidateWindow");
}

void DestroyWindow(WindowHandle window) {
    Record("DestroyWindow");
    if (Find(window) == nullptr) {
        return;
    }
    // Children first, each told of its end as the window system does.
    for (auto& entry : Get().windows) {
        if (entry.second.parent == window && !entry.second.destroyed) {
            if (Get().focus == entry.first) {
                Get().focus = nullptr;
                Fake::SendEditMessage(entry.first, kMsgKillFocus, 0);
            }
            Fake::SendEditMessage(entry.first, kMsgDestroy, 0);
            entry.second.destroyed = true;
        }
    }
    Find(window)->destroyed = true;
    Get().timers.erase(std::remove_if(Get().timers.begin(), Get().timers.end(),
                                      [&](const Fake::Timer& t) { return t.window == window; }),
                       Get().timers.end());
}

void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, bool) {
    Record("MoveWindow");
    if (Fake::Window* w = Find(window)) {
        w->x = x;
        w->y = y;
        w->width = width;
        w->height = height;
    }
}

void PaintWindow(WindowHandle, bool swap) {
    Record("PaintWindow");
    if (swap) {
        ++Get().swaps;
    }
}

void SetCapture(WindowHandle window) {
    Record("SetCapture");
    Get().capture = window;
}

void ReleaseCapture() {
    Record("ReleaseCapture");
    Get().capture = nullptr;
}

void StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs, TimerFn callback) {
    Record("StartTimer");
    if (Find(window) == nullptr) {
        return;
    }
    for (Fake::Timer& t : Get().timers) {
        if (t.window == window && t.id == id) {
            t.periodMs = periodMs;
            t.callback = callback;
            return;
        }
    }
    Get().timers.push_back(Fake::Timer{window, id, periodMs, callback});
}

void StopTimer(WindowHandle window, std::uintptr_t id) {
    Record("StopTimer");
    Get().timers.erase(
        std::remove_if(Get().timers.begin(), Get().timers.end(),
                       [&](const Fake::Timer& t) { return t.window == window && t.id == id; }),
        Get().timers.end());
}

std::int32_t LastError() {
    return Get().lastError;
}

float SystemDpi(WindowHandle window) {
    Get().dpiQueries.push_back(window);
    return Get().systemDpi;
}

DeviceContextHandle GetDeviceContext(WindowHandle window) {
    Record("GetDeviceContext");
    if (Get().failGetDC || Find(window) == nullptr) {
        return nullptr;
    }
    DeviceContextHandle dc = Fake::NewHandle();
    Get().liveDCs.insert(dc);
    return dc;
}

void ReleaseDeviceContext(WindowHandle, DeviceContextHandle dc) {
    Record("ReleaseDeviceContext");
    Get().liveDCs.erase(dc);
}

bool SetPixelFormat(DeviceContextHandle) {
    Record("SetPixelFormat");
    return !Get().failSetPixelFormat;
}

GLContextHandle CreateGLContext(DeviceContextHandle dc) {
    Record("CreateGLContext");
    if (Get().failCreateContext || Get().liveDCs.count(dc) == 0) {
        return nullptr;
    }
    GLContextHandle context = Fake::NewHandle();
    Get().liveContexts.insert(context);
    return context;
}

bool MakeGLContextCurrent(DeviceContextHandle, GLContextHandle context) {
    Record("MakeGLContextCurrent");
    if (context == nullptr) {
        Get().currentContext = nullptr;
        return true;
    }
    if (Get().failMakeCurrent || Get().liveContexts.count(context) == 0) {
        return false;
    }
    Get().currentContext = context;
    return true;
}

GLContextHandle CurrentGLContext() {
    return Get().currentContext;
}

bool DeleteGLContext(GLContextHandle context) {
    Record("DeleteGLContext");
    if (Get().currentContext == context) {
        Get().currentContext = nullptr;
    }
    return Get().liveContexts.erase(context) != 0;
}

bool GetCursorPos(Point& position) {
    Record("GetCursorPos");
    position = Get().cursor;
    return true;
}

void SetCursorPos(const Point& position) {
    Record("SetCursorPos");
    Get().cursor = position;
}

void ShowCursor(bool show) {
    Record(show ? "ShowCursor(show)" : "ShowCursor(hide)");
    Get().cursorCounter += show ? 1 : -1;
}

bool ScreenToClient(WindowHandle window, Point& position) {
    Record("ScreenToClient");
    const Fake::Window* w = Find(window);
    if (w == nullptr) {
        return false;
    }
    position.x -= Get().hostOrigin.x + w->x;
    position.y -= Get().hostOrigin.y + w->y;
    return true;
}

std::uint64_t MonotonicMilliseconds() {
    return Get().clockMs;
}

WindowHandle CreateEditBox(ModuleHandle, WindowHandle parent, std::int32_t x, std::int32_t y,
                           std::int32_t width, std::int32_t height) {
    Record("CreateEditBox");
    if (Get().failCreateEdit || Find(parent) == nullptr) {
        return nullptr;
    }
    WindowHandle handle = Fake::NewHandle();
    Fake::Window& w = Get().windows[handle];
    w.parent = parent;
    w.isEdit = true;
    w.x = x;
    w.y = y;
    w.width = width;
    w.height = height;
    return handle;
}

bool SubclassEditBox(WindowHandle edit, EditMessageFn filter, void* refData) {
    Record("SubclassEditBox");
    Fake::Window* w = Find(edit);
    if (w == nullptr || Get().failSubclass) {
        return false;
    }
    w->filter = filter;
    w->refData = refData;
    return true;
}

void SetWindowText(WindowHandle window, const std::wstring& text) {
    if (Fake::Window* w = Find(window)) {
        w->text = text;
        w->allSelected = false;
    }
}

std::wstring GetWindowText(WindowHandle window, std::size_t maxChars) {
    Fake::Window* w = Find(window);
    if (w == nullptr) {
        return std::wstring();
    }
    return w->text.substr(0, maxChars);
}

void SetEditFont(WindowHandle edit, std::int32_t pixelHeight) {
    Record("SetEditFont");
    if (Fake::Window* w = Find(edit)) {
        w->fontHeight = pixelHeight;
    }
}

void SelectAllText(WindowHandle edit) {
    if (Fake::Window* w = Find(edit)) {
        w->allSelected = true;
    }
}

void SetFocus(WindowHandle window) {
    Record("SetFocus");
    const WindowHandle previous = Get().focus;
    Get().focus = window;
    if (previous != nullptr && previous != window) {
        Fake::Window* w = Find(previous);
        if (w != nullptr && w->isEdit) {
            Fake::SendEditMessage(previous, kMsgKillFocus, 0);
        }
    }
}

void ShowErrorBox(WindowHandle, const std::wstring& text, const std::wstring& caption) {
    Record("ShowErrorBox");
    Get().messageBoxes.emplace_back(text, caption);
}

std::wstring AnsiToWide(const char* text) {
    if (text == nullptr) {
        return std::wstring();
    }
    // The fake's code page is Latin-1: every byte is the character of the same number.
    std::wstring wide;
    for (const char* p = text; *p != 0; ++p) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    }
    return wide;
}

std::string WideToAnsi(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        if (static_cast<unsigned long>(c) > 0xFF) {
            return std::string();
        }
        narrow.push_back(static_cast<char>(c));
    }
    return narrow;
}

} // namespace Platform
} // namespace VLM
