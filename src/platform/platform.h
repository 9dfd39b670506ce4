// The window-system seam of the editor. Everything the portable editor needs from the
// operating system goes through these functions; each backend implements all of them once and
// the final binary picks one at link time: win32/ (Win32, WGL, GDI+), x11/ (an X11 window with
// GLX, over linux/), linux/ (no window: what a headless build needs) and the tests' fake.
//
// Rules for implementations:
// - Thin and dumb: forward to the system call named in the comment and report its result.
//   Decisions (message decoding, hit tests, text filters, message texts) live in the
//   portable code, which hands the backend plain values.
// - No exceptions leave these functions; failures are return values.
// - Handles are opaque pointers; null always means "none" or "failed".
// - Callbacks into the portable code are plain function pointers handed over at
//   registration; a backend may keep them in a static of its own (they never change).
// - Everything runs on the host's user-interface thread unless stated otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VLM {
namespace Platform {

using ModuleHandle = void*;        // HINSTANCE of the plug-in library
using WindowHandle = void*;        // HWND
using DeviceContextHandle = void*; // HDC
using GLContextHandle = void*;     // HGLRC
using BitmapHandle = void*;        // GpBitmap*

// ---------------------------------------------------------------------------------------
// Window messages. The numbers are the Windows ones; a backend for another window system
// translates its events into these before calling the portable handlers.
constexpr std::uint32_t kMsgDestroy = 0x0002;
constexpr std::uint32_t kMsgKillFocus = 0x0008;
constexpr std::uint32_t kMsgPaint = 0x000F;
constexpr std::uint32_t kMsgChar = 0x0102;
constexpr std::uint32_t kMsgTimer = 0x0113;
constexpr std::uint32_t kMsgMouseMove = 0x0200;
constexpr std::uint32_t kMsgLButtonDown = 0x0201;
constexpr std::uint32_t kMsgLButtonUp = 0x0202;
constexpr std::uint32_t kMsgLButtonDblClk = 0x0203;
// wParam: key-state bits in the low word, the signed wheel distance in the high word (120 per
// notch, positive away from the user); lParam: the pointer in screen coordinates.
constexpr std::uint32_t kMsgMouseWheel = 0x020A;

// Key-state bits of a mouse message's wParam.
constexpr std::uint32_t kMouseShift = 0x0004;   // MK_SHIFT
constexpr std::uint32_t kMouseControl = 0x0008; // MK_CONTROL

// The editor window's message handler, written in portable code. The backend's window
// procedure calls it with the raw message, wParam and lParam; true means handled (the
// window procedure returns 0), false means the backend calls DefWindowProcW.
using WindowMessageFn = bool (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam);

// The timer callback, written in portable code: `id` is the id given to StartTimer.
using TimerFn = void (*)(WindowHandle window, std::uintptr_t id);

// What the edit box's subclass procedure does with a message, as decided by portable code.
enum class EditAction {
    Swallow,        // return 0; the edit control never sees the message
    PassOn,         // return DefSubclassProc(...)
    PassOnAndDetach // DefSubclassProc(...), then RemoveWindowSubclass; return its result
};

// The edit box's subclass procedure, written in portable code. `refData` is the pointer
// given to SubclassEditBox.
using EditMessageFn = EditAction (*)(void* refData, std::uint32_t message, std::uintptr_t wParam);

// ---------------------------------------------------------------------------------------
// Module and resources

// The plug-in library's own module instance; null when it cannot be found.
ModuleHandle ModuleInstance();

// Copies the bytes of resource `name` of `type` from `module` into `bytes`
// (FindResourceW, SizeofResource, LoadResource, LockResource). Names compare without
// regard to case; the caller passes them lower-cased. False when the resource is missing,
// empty or unreadable; `bytes` may then hold anything.
bool ReadResource(ModuleHandle module, const std::wstring& name, const std::wstring& type,
                  std::vector<std::uint8_t>& bytes);
// The size in bytes of such a resource, found as ReadResource finds it but without touching its
// bytes (FindResourceW, SizeofResource); 0 when it is missing.
std::size_t ResourceSize(ModuleHandle module, const std::wstring& name, const std::wstring& type);

// ---------------------------------------------------------------------------------------
// Image library (GDI+)

// GdiplusStartup with version 1, no debug callback, background thread and external
// codecs not suppressed. Returns the status (0 = Ok) and stores the token.
std::int32_t ImageLibraryStartup(std::uintptr_t& token);
// GdiplusShutdown with the token from a successful start-up.
void ImageLibraryShutdown(std::uintptr_t token);

// A bitmap and the status of its creation. The handle is null when nothing was created;
// the status then says why (and may be non-zero with a handle, as GDI+ allows).
struct Bitmap {
    BitmapHandle handle = nullptr;
    std::int32_t status = 0;
};

// Decodes an encoded image (PNG) held in memory (GdipCreateBitmapFromStream over a stream
// that owns a copy of the bytes).
Bitmap DecodeImage(const std::uint8_t* bytes, std::size_t size);
// A new 32-bit bitmap of width x height with pixels of its own, content undefined
// (GdipCreateBitmapFromScan0, stride 0, no buffer, PixelFormat32bppARGB).
Bitmap CreateBitmap(std::int32_t width, std::int32_t height);
// Size of a bitmap; 0 for a null handle.
std::int32_t BitmapWidth(BitmapHandle bitmap);
std::int32_t BitmapHeight(BitmapHandle bitmap);

// The locked pixel rows of a bitmap: 32 bits per pixel, bytes blue, green, red, alpha in
// memory, straight (not premultiplied) alpha; row 0 is the top row.
struct PixelRows {
    std::uint8_t* scan0 = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0; // bytes from one row to the next
    std::uintptr_t lock = 0; // backend's bookkeeping for the unlock
};
// Locks the whole bitmap for reading and writing (GdipBitmapLockBits with
// PixelFormat32bppARGB). False on failure; then nothing is to be unlocked.
bool LockPixels(BitmapHandle bitmap, PixelRows& rows);
void UnlockPixels(BitmapHandle bitmap, PixelRows& rows);
// GdipDisposeImage; null does nothing.
void DisposeBitmap(BitmapHandle bitmap);

// Text measuring and drawing in the read-out's font: family "Tahoma", 10.0, regular, unit
// point, text rendering hint 3 (anti-aliased with grid fitting). `scale` is the editor's
// drawing scale (window pixels per layout pixel, 1 to 2): the font size is multiplied by it,
// and boxes and bitmaps are in pixels of that scale. At 1 both are what they always were.
struct TextBox {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};
// GdipMeasureString of the whole text on a graphics object made from `dc`, layout
// rectangle (0, 0, 0, 0), no string format. Statuses are ignored; failure gives zeros.
TextBox MeasureText(DeviceContextHandle dc, const std::wstring& text, float scale);
// A new 32-bit bitmap of width x height, cleared to opaque white, with `text` drawn in opaque
// black, centred horizontally and vertically in `box`. Statuses are ignored.
Bitmap RenderText(const std::wstring& text, const TextBox& box, std::int32_t width,
                  std::int32_t height, float scale);

// ---------------------------------------------------------------------------------------
// Editor window

// Whether this platform can open an editor window at all. When false the editor answers
// the host's open request with false and shows nothing.
bool CanOpenEditorWindow();

// Registers the window class "VLMPluginWindow" (CS_DBLCLKS, arrow cursor, no icon, menu
// or background brush) whose window procedure hands every message to `handler`. Called at
// every open; registering again fails harmlessly and the result is not reported.
void RegisterEditorWindowClass(ModuleHandle module, WindowMessageFn handler);
// CreateWindowExW: extended style 0, class "VLMPluginWindow", empty title, style
// WS_CHILD | WS_CLIPCHILDREN, at (0, 0), width x height, child of `parent`, no menu, no
// creation data. Null on failure (LastError has the code).
WindowHandle CreateEditorWindow(ModuleHandle module, WindowHandle parent, std::int32_t width,
                                std::int32_t height);
// SetWindowLongPtrW / GetWindowLongPtrW with GWLP_USERDATA.
void SetWindowUserData(WindowHandle window, void* data);
void* GetWindowUserData(WindowHandle window);
// ShowWindow with SW_SHOW or SW_HIDE.
void ShowWindow(WindowHandle window, bool show);
void UpdateWindow(WindowHandle window);
// InvalidateRect of the whole client area without erasing.
void InvalidateWindow(WindowHandle window);
void DestroyWindow(WindowHandle window);
// MoveWindow.
void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, bool repaint);
// BeginPaint, SwapBuffers on the paint's device context when `swap`, EndPaint.
void PaintWindow(WindowHandle window, bool swap);
void SetCapture(WindowHandle window);
void ReleaseCapture();
// SetTimer with the id and period; every tick calls `callback` with the window and id.
void StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs, TimerFn callback);
// KillTimer.
void StopTimer(WindowHandle window, std::uintptr_t id);
// Delivers the window's waiting input and paint events and its due timer ticks to the
// handlers. X11 serves them here, from the host's idle call on the thread that opened the
// editor; Windows delivers them through its own message loop, so this does nothing there.
void ServiceWindow(WindowHandle window);
// The file descriptor that becomes readable when the window has events waiting (its X display
// connection), so that a host's run loop can call ServiceWindow when there is something to
// serve; -1 where events come through the system's own message loop or there is no window.
int EventSource(WindowHandle window);
// GetLastError.
std::int32_t LastError();
// The dots per inch the system asks user interfaces to draw at on the screen `window` is on
// (null: the main screen): GetDpiForWindow, looked up in user32 at run time, where the system
// has it and a window is given, else GetDeviceCaps(LOGPIXELSX) of the screen's device context.
// X11: the Xft.dpi resource (XResourceManagerString, XrmGetResource) of the display connection
// CanOpenEditorWindow made, when there is one, else 96 times the GDK_SCALE environment
// variable. 0 when the system does not say.
float SystemDpi(WindowHandle window);

// ---------------------------------------------------------------------------------------
// OpenGL context (GDI and WGL)

// GetDC of the window; null on failure.
DeviceContextHandle GetDeviceContext(WindowHandle window);
// ReleaseDC.
void ReleaseDeviceContext(WindowHandle window, DeviceContextHandle dc);
// ChoosePixelFormat and SetPixelFormat with: size 40, version 1, flags 0x1025
// (PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER | PFD_GENERIC_ACCELERATED),
// PFD_TYPE_RGBA, 32 colour bits, everything else 0. Returns SetPixelFormat's success.
bool SetPixelFormat(DeviceContextHandle dc);
// wglCreateContext; null on failure.
GLContextHandle CreateGLContext(DeviceContextHandle dc);
// wglMakeCurrent; both null detaches the thread's current context.
bool MakeGLContextCurrent(DeviceContextHandle dc, GLContextHandle context);
// wglGetCurrentContext.
GLContextHandle CurrentGLContext();
// wglDeleteContext.
bool DeleteGLContext(GLContextHandle context);

// ---------------------------------------------------------------------------------------
// Cursor
struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
// GetCursorPos (screen coordinates); false on failure.
bool GetCursorPos(Point& position);
// ScreenToClient: a screen position into the window's client coordinates, in place; false on
// failure, and `position` may then hold anything.
bool ScreenToClient(WindowHandle window, Point& position);
// SetCursorPos.
void SetCursorPos(const Point& position);
// ShowCursor(TRUE) or ShowCursor(FALSE): one step of the display counter.
void ShowCursor(bool show);

// ---------------------------------------------------------------------------------------
// Clock

// Milliseconds of a monotonic clock with an arbitrary start (GetTickCount64;
// clock_gettime(CLOCK_MONOTONIC) elsewhere).
std::uint64_t MonotonicMilliseconds();

// ---------------------------------------------------------------------------------------
// Text entry (the system's EDIT control, subclassed through the common controls)

// CreateWindowExW of class "EDIT": extended style 0, empty text, style WS_CHILD | ES_CENTER
// only, at (x, y) with width x height, child of `parent`. Null on failure.
WindowHandle CreateEditBox(ModuleHandle module, WindowHandle parent, std::int32_t x, std::int32_t y,
                           std::int32_t width, std::int32_t height);
// SetWindowSubclass with subclass id 0; the subclass procedure asks `filter` what to do
// with each message and acts on the answer. False on failure.
bool SubclassEditBox(WindowHandle edit, EditMessageFn filter, void* refData);
// SetWindowTextW.
void SetWindowText(WindowHandle window, const std::wstring& text);
// GetWindowTextW into a buffer of maxChars + 1; at most maxChars characters come back.
std::wstring GetWindowText(WindowHandle window, std::size_t maxChars);
// WM_SETFONT (redrawing) of a new font `pixelHeight` pixels high (CreateFontW with height
// -pixelHeight, normal weight, default character set, face "Tahoma"); 0 gives the edit box its
// default font back. The edit box keeps the font until it is destroyed or given another.
void SetEditFont(WindowHandle edit, std::int32_t pixelHeight);
// SendMessageW with EM_SETSEL from 0 to -1.
void SelectAllText(WindowHandle edit);
// SetFocus.
void SetFocus(WindowHandle window);

// ---------------------------------------------------------------------------------------
// Messages and text

// MessageBoxW with MB_OK | MB_ICONERROR; returns when the user closed it.
void ShowErrorBox(WindowHandle owner, const std::wstring& text, const std::wstring& caption);

// 8-bit text of the system's code page (CP_ACP on Windows, UTF-8 elsewhere) to wide text
// and back. Null, empty or unconvertible text gives an empty result.
std::wstring AnsiToWide(const char* text);
std::string WideToAnsi(const std::wstring& text);

} // namespace Platform
} // namespace VLM
