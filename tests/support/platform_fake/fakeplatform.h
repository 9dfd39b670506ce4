// The platform seam and OpenGL as deterministic in-memory doubles for the native unit tests:
// every call is recorded, and each service can be told to fail.
#pragma once

#include "platform/gl.h"
#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace VLM {
namespace Fake {

struct Window {
    Platform::WindowHandle parent = nullptr;
    bool isEdit = false;
    bool visible = false;
    bool destroyed = false;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    void* userData = nullptr;
    std::wstring text;
    std::int32_t fontHeight = 0; // SetEditFont's last height; 0: the default font
    bool allSelected = false;
    Platform::EditMessageFn filter = nullptr;
    void* refData = nullptr;
};

struct Timer {
    Platform::WindowHandle window = nullptr;
    std::uintptr_t id = 0;
    std::uint32_t periodMs = 0;
    Platform::TimerFn callback = nullptr;
};

struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels; // BGRA, stride = width * 4
    std::wstring text;                // what RenderText drew
    bool decoded = false;             // made by DecodeImage from an encoded image
    std::uint8_t seed = 0;
};

// One GL_QUADS primitive: four corners, texture coordinate and vertex each.
struct Quad {
    GLuint texture = 0;
    float u[4] = {}, v[4] = {};
    double x[4] = {}, y[4] = {};
};

struct Upload {
    GLint internalFormat = 0;
    GLsizei width = 0, height = 0;
    GLenum format = 0;
    std::vector<std::uint8_t> pixels; // kept only when GLState::keepPixels is set
};

struct GLState {
    std::vector<std::string> calls; // function names in call order
    std::set<GLuint> liveTextures;
    GLuint nextTexture = 1;
    GLuint bound = 0;
    std::map<GLuint, Upload> uploads;
    std::vector<Quad> quads;
    std::map<GLenum, GLint> texParameters;
    GLenum pendingError = 0;
    // A function named here leaves this error for glGetError at every call.
    std::map<std::string, GLenum> failOn;
    GLint maxTextureSize = 8192;
    std::string vendor = "Fake Vendor";
    std::string renderer = "Fake Renderer";
    std::string version = "1.1 Fake";
    std::string extensions = "GL_EXT_bgra";
    bool keepPixels = false;
    std::vector<double> ortho; // left, right, bottom, top, near, far
    std::vector<GLint> viewport;

    Quad building;
    int corner = 0;
    float u = 0, v = 0;
};

struct State {
    // What the doubles answer.
    bool canOpen = true;
    Platform::ModuleHandle module = reinterpret_cast<Platform::ModuleHandle>(0x1000);
    std::int32_t startupStatus = 0;
    std::map<std::wstring, std::vector<std::uint8_t>> resources; // key: lower-case name
    std::int32_t decodeStatus = 0; // non-zero: every decode fails with it
    std::int32_t createBitmapStatus = 0;
    bool failCreateWindow = false;
    bool failGetDC = false;
    bool failSetPixelFormat = false;
    bool failCreateContext = false;
    bool failMakeCurrent = false;
    bool failCreateEdit = false;
    bool failSubclass = false;
    std::int32_t lastError = 0;
    float charWidth = 7.0f;   // MeasureText: width per character at scale 1
    float lineHeight = 16.0f; // MeasureText: height of the box at scale 1
    float textLeft = 0.0f;
    float textTop = 0.0f;
    // Screen position of the host window's client area, which the editor window sits in.
    Platform::Point hostOrigin{0, 0};
    std::uint64_t clockMs = 1000000; // MonotonicMilliseconds; tests move it on
    float systemDpi = 0.0f;          // SystemDpi's answer (0: the system does not say)

    // What was done.
    std::vector<std::string> calls;
    std::vector<std::wstring> resourceLookups;
    std::vector<std::pair<std::wstring, std::wstring>> messageBoxes; // text, caption
    std::map<Platform::WindowHandle, Window> windows;
    std::uintptr_t nextHandle = 0x100;
    std::vector<Timer> timers;
    Platform::WindowMessageFn windowHandler = nullptr;
    Platform::WindowHandle capture = nullptr;
    Platform::WindowHandle focus = nullptr;
    Platform::Point cursor{500, 400};
    int cursorCounter = 0; // the cursor shows while it is 0 or more
    std::set<Platform::DeviceContextHandle> liveDCs;
    std::set<Platform::GLContextHandle> liveContexts;
    Platform::GLContextHandle currentContext = nullptr;
    std::map<Platform::BitmapHandle, Bitmap> bitmaps;
    int swaps = 0;
    bool imageLibraryRunning = false;
    std::wstring lastMeasured;
    std::vector<float> textScales; // the scale of every MeasureText and RenderText, in order
    std::vector<Platform::WindowHandle> dpiQueries; // the window of every SystemDpi call

    GLState gl;
};

State& Get();
// Back to a fresh state (nothing open, nothing failing), with the editor's artwork in place:
// ZEM 900x258, FADER01[64X18]..FADER10[64X18] 900x940, BUTTON[2] 60x120, LAMP[2] 50x100, and
// their twins at twice the size (ZEM@2X, FADER01@2X[64X18], ...).
void Reset();

// Encoded bytes of an image of the given size; its pixel (x, y) is blue x, green y,
// red `seed`, alpha 255 (all modulo 256) while GLState::keepPixels is set, else 0.
std::vector<std::uint8_t> EncodeImage(std::int32_t width, std::int32_t height,
                                      std::uint8_t seed = 0);
void AddImage(const std::wstring& name, std::int32_t width, std::int32_t height,
              std::uint8_t seed = 0);

// Driving the editor window as the window system would.
std::intptr_t MouseLParam(std::int32_t x, std::int32_t y);
bool SendWindowMessage(Platform::WindowHandle window, std::uint32_t message,
                       std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
void TickTimers();
// A message to the edit box through its subclass, with the edit control's own handling of
// characters when the subclass passes one on.
void SendEditMessage(Platform::WindowHandle edit, std::uint32_t message, std::uintptr_t wParam);
void TypeText(Platform::WindowHandle edit, const std::wstring& text);

// Windows of the given kind that exist (not destroyed).
std::vector<Platform::WindowHandle> LiveWindows(bool edits);
int CallCount(const std::string& name);
int GLCallCount(const std::string& name);

} // namespace Fake
} // namespace VLM
