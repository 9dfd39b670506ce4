// The Windows platform backend against the real system under Wine: resources of the module,
// GDI+ decoding and text, the editor window class and its message hand-over, the timer, the
// OpenGL context and the subclassed edit box.
#include "platform/win32/win32.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace VLM::Platform;
namespace P = VLM::Platform;

struct Message {
    WindowHandle window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};
std::vector<Message> received;

// The portable editor's part: mouse messages are handled, everything else goes on.
bool RecordMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) {
    received.push_back(Message{window, message, wParam, lParam});
    return message >= kMsgMouseMove && message <= kMsgLButtonDblClk;
}

std::vector<std::pair<WindowHandle, std::uintptr_t>> ticks;
void RecordTick(WindowHandle window, std::uintptr_t id) {
    ticks.emplace_back(window, id);
}

struct EditState {
    int seen = 0;
    void* refData = nullptr;
};
EditAction FilterEdit(void* refData, std::uint32_t message, std::uintptr_t wParam) {
    auto* state = static_cast<EditState*>(refData);
    ++state->seen;
    state->refData = refData;
    if (message == kMsgChar && wParam == 'x') {
        return EditAction::Swallow;
    }
    return message == WM_APP ? EditAction::PassOnAndDetach : EditAction::PassOn;
}

std::vector<int> PixelAt(BitmapHandle bitmap, int x, int y) {
    PixelRows rows;
    if (!LockPixels(bitmap, rows)) {
        return {};
    }
    const std::uint8_t* p = rows.scan0 + y * rows.stride + x * 4;
    std::vector<int> bgra = {p[0], p[1], p[2], p[3]};
    UnlockPixels(bitmap, rows);
    return bgra;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

TEST(Win32Module, IsTheModuleThatHoldsTheCode) {
    // A test program links the backend statically, so its own module is the one.
    EXPECT_EQ(static_cast<ModuleHandle>(GetModuleHandleW(nullptr)), ModuleInstance());
}

// A function of a loaded library, of the type the caller knows it to have.
template <typename Function> Function Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TEST(Win32Module, InsideALoadedLibraryIsThatLibrary) {
    HMODULE library = LoadLibraryW(L"vlm_module_probe.dll");
    ASSERT_NE(nullptr, library) << "LoadLibraryW failed with " << GetLastError();
    const auto moduleInstance = Export<void* (*)()>(library, "ProbeModuleInstance");
    const auto readOwnImage = Export<int (*)()>(library, "ProbeReadOwnImage");
    ASSERT_NE(nullptr, moduleInstance);
    ASSERT_NE(nullptr, readOwnImage);
    EXPECT_EQ(static_cast<void*>(library), moduleInstance())
        << "expected the library's own module, not the program that loaded it";
    EXPECT_EQ(92, readOwnImage()) << "expected the library to read its own resources";
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"libraryonly", L"IMG", bytes));
    FreeLibrary(library);
}

TEST(Win32Module, ReadsImageResourcesWhateverTheCase) {
    for (const wchar_t* name : {L"pattern", L"PATTERN", L"PaTTern", L"strip[2x1]"}) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadResource(ModuleInstance(), name, L"IMG", bytes))
            << "expected to find " << testing::PrintToString(std::wstring(name));
        ASSERT_EQ(92u, bytes.size()) << "expected every byte of pattern.png";
        EXPECT_EQ(0, std::memcmp(bytes.data(), "\x89PNG", 4));
    }
}

TEST(Win32Module, RefusesMissingResources) {
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"nothing", L"IMG", bytes));
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"pattern", L"PNG", bytes));
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"", L"IMG", bytes));
    EXPECT_FALSE(ReadResource(nullptr, L"pattern", L"IMG", bytes));
}

TEST(Win32Module, ConvertsTheCodePage) {
    EXPECT_EQ(L"Vendor 1.5", AnsiToWide("Vendor 1.5"));
    EXPECT_EQ("31 Hz", WideToAnsi(L"31 Hz"));
    EXPECT_EQ(L"", AnsiToWide(nullptr));
    EXPECT_EQ(L"", AnsiToWide(""));
    EXPECT_EQ("", WideToAnsi(L""));
    if (GetACP() == 1252) {
        EXPECT_EQ(L"\u00B5s \u00E9", AnsiToWide("\xB5s \xE9"));
        EXPECT_EQ("\xB5s \xE9", WideToAnsi(L"\u00B5s \u00E9"));
    }
}

class Win32Images : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0, ImageLibraryStartup(token)); }
    static void TearDownTestSuite() { ImageLibraryShutdown(token); }

    static Bitmap Decode(const wchar_t* name) {
        std::vector<std::uint8_t> bytes;
        if (!ReadResource(ModuleInstance(), name, L"IMG", bytes)) {
            return Bitmap{};
        }
        return DecodeImage(bytes.data(), bytes.size());
    }

    static std::uintptr_t token;
};
std::uintptr_t Win32Images::token = 0;

TEST_F(Win32Images, DecodesPngToBlueGreenRedAlphaWithStraightAlpha) {
    const Bitmap image = Decode(L"pattern");
    ASSERT_EQ(0, image.status);
    ASSERT_NE(nullptr, image.handle);
    EXPECT_EQ(3, BitmapWidth(image.handle));
    EXPECT_EQ(2, BitmapHeight(image.handle));
    EXPECT_EQ((std::vector<int>{0, 0, 255, 255}), PixelAt(image.handle, 0, 0));
    EXPECT_EQ((std::vector<int>{0, 255, 0, 128}), PixelAt(image.handle, 1, 0))
        << "colour must not be premultiplied by alpha";
    EXPECT_EQ((std::vector<int>{200, 20, 10, 64}), PixelAt(image.handle, 2, 0));
    EXPECT_EQ((std::vector<int>{200, 150, 100, 200}), PixelAt(image.handle, 2, 1));
    DisposeBitmap(image.handle);
}

TEST_F(Win32Images, RefusesDataThatIsNoImage) {
    const std::uint8_t garbage[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const Bitmap image = DecodeImage(garbage, sizeof(garbage));
    EXPECT_EQ(nullptr, image.handle);
    EXPECT_NE(0, image.status) << "expected a failure status for bytes that are no image";
    const Bitmap none = DecodeImage(nullptr, 0);
    EXPECT_EQ(nullptr, none.handle);
    EXPECT_EQ(2, none.status) << "expected InvalidParameter for no bytes";
    EXPECT_EQ(0, BitmapWidth(nullptr));
}

TEST_F(Win32Images, CreatedBitmapsKeepWhatIsWrittenIntoThem) {
    const Bitmap bitmap = CreateBitmap(5, 3);
    ASSERT_EQ(0, bitmap.status);
    ASSERT_EQ(5, BitmapWidth(bitmap.handle));
    ASSERT_EQ(3, BitmapHeight(bitmap.handle));
    PixelRows rows;
    ASSERT_TRUE(LockPixels(bitmap.handle, rows));
    EXPECT_EQ(5, rows.width);
    EXPECT_EQ(3, rows.height);
    EXPECT_GE(rows.stride, 20);
    const std::uint8_t pixel[4] = {11, 22, 33, 44};
    std::memcpy(rows.scan0 + 2 * rows.stride + 4 * 4, pixel, 4);
    UnlockPixels(bitmap.handle, rows);
    EXPECT_EQ((std::vector<int>{11, 22, 33, 44}), PixelAt(bitmap.handle, 4, 2));
    DisposeBitmap(bitmap.handle);
}

TEST_F(Win32Images, MeasuresAndDrawsTheReadoutText) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        GTEST_SKIP() << "no device context without a display";
    }
    const TextBox box = MeasureText(dc, L"31 Hz: +6.0dB", 1.0f);
    const TextBox twice = MeasureText(dc, L"31 Hz: +6.0dB", 2.0f);
    DeleteDC(dc);
    // Tahoma at 10 points on a 96 dpi screen: about 16 pixels high, 6 to 7 wide per character.
    EXPECT_GT(box.width, 50.0f);
    EXPECT_LT(box.width, 120.0f);
    EXPECT_GT(box.height, 10.0f);
    EXPECT_LT(box.height, 25.0f);
    // At drawing scale 2 the font is 20 points: the box about doubles (grid fitting rounds).
    EXPECT_NEAR(twice.width, 2.0f * box.width, 0.15f * box.width);
    EXPECT_NEAR(twice.height, 2.0f * box.height, 0.15f * box.height);
    const TextBox none = MeasureText(nullptr, L"31 Hz", 1.0f);
    EXPECT_EQ(0.0f, none.width) << "no device context measures nothing";

    const Bitmap text = RenderText(L"31 Hz: +6.0dB", box, 128, 32, 1.0f);
    ASSERT_NE(nullptr, text.handle);
    EXPECT_EQ(128, BitmapWidth(text.handle));
    EXPECT_EQ((std::vector<int>{255, 255, 255, 255}), PixelAt(text.handle, 127, 31))
        << "the box is opaque white outside the text";
    int dark = 0;
    int translucent = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 128; ++x) {
            const std::vector<int> p = PixelAt(text.handle, x, y);
            dark += p[0] < 64 && p[1] < 64 && p[2] < 64 ? 1 : 0;
            translucent += p[3] != 255 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 20) << "expected black glyphs in the box";
    EXPECT_EQ(0, translucent) << "expected every pixel opaque";
    DisposeBitmap(text.handle);
}

class Win32Window : public testing::Test {
protected:
    void SetUp() override {
        received.clear();
        ticks.clear();
        WNDCLASSEXW hostClass{};
        hostClass.cbSize = sizeof(hostClass);
        hostClass.lpfnWndProc = &DefWindowProcW;
        hostClass.hInstance = GetModuleHandleW(nullptr);
        hostClass.lpszClassName = L"VLMTestHost";
        RegisterClassExW(&hostClass);
        host = CreateWindowExW(0, L"VLMTestHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 400,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (host == nullptr) {
            GTEST_SKIP() << "no windows without a display";
        }
        RegisterEditorWindowClass(ModuleInstance(), &RecordMessage);
        editor = static_cast<HWND>(CreateEditorWindow(ModuleInstance(), host, 900, 258));
        ASSERT_NE(nullptr, editor) << "CreateWindowExW failed with " << LastError();
    }
    void TearDown() override {
        if (host != nullptr) {
            ::DestroyWindow(host);
        }
    }

    HWND host = nullptr;
    HWND editor = nullptr;
};

TEST_F(Win32Window, EditorWindowIsAHiddenChildOfTheRegisteredClass) {
    EXPECT_EQ(L"VLMPluginWindow", ClassOf(editor));
    EXPECT_EQ(host, GetParent(editor));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CHILD | WS_CLIPCHILDREN),
              GetWindowLongPtrW(editor, GWL_STYLE));
    EXPECT_EQ(0, GetWindowLongPtrW(editor, GWL_EXSTYLE));
    RECT client{};
    GetClientRect(editor, &client);
    EXPECT_EQ(900, client.right);
    EXPECT_EQ(258, client.bottom);
    EXPECT_EQ(static_cast<ULONG_PTR>(CS_DBLCLKS), GetClassLongPtrW(editor, GCL_STYLE))
        << "double clicks must arrive as messages of their own";
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)),
              GetClassLongPtrW(editor, GCLP_HCURSOR));
    EXPECT_EQ(0u, GetClassLongPtrW(editor, GCLP_HBRBACKGROUND));
}

TEST_F(Win32Window, RegisteringAgainKeepsTheClassWorking) {
    RegisterEditorWindowClass(ModuleInstance(), &RecordMessage);
    HWND second = static_cast<HWND>(CreateEditorWindow(ModuleInstance(), host, 10, 10));
    ASSERT_NE(nullptr, second);
    ::DestroyWindow(second);
    EXPECT_FALSE(IsWindow(second));
}

TEST_F(Win32Window, HandsRawMouseMessagesToThePortableHandler) {
    received.clear();
    const LPARAM position = MAKELPARAM(-3, 7);
    EXPECT_EQ(0, SendMessageW(editor, WM_LBUTTONDOWN, MK_CONTROL | MK_LBUTTON, position));
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(static_cast<WindowHandle>(editor), received[0].window);
    EXPECT_EQ(kMsgLButtonDown, received[0].message);
    EXPECT_EQ(static_cast<std::uintptr_t>(MK_CONTROL | MK_LBUTTON), received[0].wParam);
    EXPECT_EQ(static_cast<std::intptr_t>(position), received[0].lParam);
}

TEST_F(Win32Window, MessagesTheHandlerDeclinesGoToTheDefaultProcedure) {
    received.clear();
    SendMessageW(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"title"));
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(static_cast<std::uint32_t>(WM_SETTEXT), received[0].message);
    wchar_t text[16] = {};
    GetWindowTextW(editor, text, 16);
    EXPECT_EQ(std::wstring(L"title"), text) << "DefWindowProcW should have set the text";
}

TEST_F(Win32Window, CarriesTheEditorPointer) {
    int editorStandIn = 0;
    EXPECT_EQ(nullptr, GetWindowUserData(editor));
    SetWindowUserData(editor, &editorStandIn);
    EXPECT_EQ(&editorStandIn, GetWindowUserData(editor));
}

TEST_F(Win32Window, TimerTicksCarryTheWindowAndTheId) {
    const std::uintptr_t id = reinterpret_cast<std::uintptr_t>(this);
    StartTimer(editor, id, 10, &RecordTick);
    // Waits for the first tick, for four seconds at most.
    for (int i = 0; i < 200 && ticks.empty(); ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    StopTimer(editor, id);
    ASSERT_FALSE(ticks.empty()) << "expected a timer tick";
    EXPECT_EQ(static_cast<WindowHandle>(editor), ticks[0].first);
    EXPECT_EQ(id, ticks[0].second);
    EXPECT_FALSE(KillTimer(editor, id)) << "the timer should be gone";
}

TEST_F(Win32Window, OpenGLContextOnTheEditorWindow) {
    DeviceContextHandle dc = GetDeviceContext(editor);
    ASSERT_NE(nullptr, dc);
    ASSERT_TRUE(SetPixelFormat(dc)) << "SetPixelFormat failed with " << LastError();
    PIXELFORMATDESCRIPTOR chosen{};
    DescribePixelFormat(ToHdc(dc), GetPixelFormat(ToHdc(dc)), sizeof(chosen), &chosen);
    EXPECT_NE(0u, chosen.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_NE(0u, chosen.dwFlags & PFD_SUPPORT_OPENGL);
    EXPECT_EQ(PFD_TYPE_RGBA, chosen.iPixelType);

    GLContextHandle context = CreateGLContext(dc);
    ASSERT_NE(nullptr, context) << "wglCreateContext failed with " << LastError();
    ASSERT_TRUE(MakeGLContextCurrent(dc, context));
    EXPECT_EQ(context, CurrentGLContext());
    EXPECT_NE(nullptr, glGetString(GL_VERSION));
    PaintWindow(editor, true);
    EXPECT_TRUE(MakeGLContextCurrent(nullptr, nullptr));
    EXPECT_EQ(nullptr, CurrentGLContext());
    EXPECT_TRUE(DeleteGLContext(context));
    ReleaseDeviceContext(editor, dc);
}

TEST_F(Win32Window, EditBoxIsABorderlessCentredChild) {
    HWND edit = static_cast<HWND>(CreateEditBox(ModuleInstance(), editor, 10, 20, 50, 15));
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(0, _wcsicmp(L"EDIT", ClassOf(edit).c_str()));
    EXPECT_EQ(editor, GetParent(edit));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CHILD | ES_CENTER), GetWindowLongPtrW(edit, GWL_STYLE));

    P::MoveWindow(edit, 334, 18, 50, 15, false);
    RECT box{};
    GetWindowRect(edit, &box);
    MapWindowPoints(nullptr, editor, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(334, box.left);
    EXPECT_EQ(18, box.top);
    EXPECT_EQ(384, box.right);
    EXPECT_EQ(33, box.bottom);
    P::ShowWindow(edit, true);
    EXPECT_NE(0, GetWindowLongPtrW(edit, GWL_STYLE) & WS_VISIBLE);
    P::ShowWindow(edit, false);
    EXPECT_EQ(0, GetWindowLongPtrW(edit, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(Win32Window, EditBoxFilterSwallowsPassesAndDetaches) {
    HWND edit = static_cast<HWND>(CreateEditBox(ModuleInstance(), editor, 0, 0, 50, 15));
    ASSERT_NE(nullptr, edit);
    EditState state;
    ASSERT_TRUE(SubclassEditBox(edit, &FilterEdit, &state));
    for (const wchar_t c : std::wstring(L"axb")) {
        SendMessageW(edit, WM_CHAR, c, 0);
    }
    EXPECT_EQ(L"ab", GetWindowText(edit, 20)) << "the filter swallows x and passes the rest";
    EXPECT_EQ(&state, state.refData);

    SendMessageW(edit, WM_APP, 0, 0);
    const int seen = state.seen;
    SendMessageW(edit, WM_CHAR, L'x', 0);
    EXPECT_EQ(L"abx", GetWindowText(edit, 20)) << "after detaching nothing is filtered";
    EXPECT_EQ(seen, state.seen);
}

TEST_F(Win32Window, EditBoxTextIsBoundedAndSelectable) {
    HWND edit = static_cast<HWND>(CreateEditBox(ModuleInstance(), editor, 0, 0, 50, 15));
    ASSERT_NE(nullptr, edit);
    SetWindowText(edit, L"123456789012345");
    EXPECT_EQ(L"12345678901", GetWindowText(edit, 11));
    EXPECT_EQ(L"123456789012345", GetWindowText(edit, 20));
    SelectAllText(edit);
    DWORD start = 99;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(15u, end);
    SendMessageW(edit, WM_CHAR, L'3', 0);
    EXPECT_EQ(L"3", GetWindowText(edit, 11)) << "typing replaces the selected text";
}

TEST_F(Win32Window, ScreenPositionsComeIntoTheEditorsClientArea) {
    P::MoveWindow(editor, 10, 20, 900, 258, false);
    POINT origin{0, 0};
    ClientToScreen(host, &origin);
    Point position{origin.x + 15, origin.y + 26};
    ASSERT_TRUE(P::ScreenToClient(editor, position));
    EXPECT_EQ(5, position.x);
    EXPECT_EQ(6, position.y);
}

TEST_F(Win32Window, CursorCanBeMovedAndReadBack) {
    P::SetCursorPos(Point{123, 234});
    Point position;
    ASSERT_TRUE(GetCursorPos(position));
    EXPECT_EQ(123, position.x);
    EXPECT_EQ(234, position.y);
}

} // namespace
