#include "gui/exceptions.h"
#include "gui_support.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace VLM {
namespace {

using Testing::EditorTest;
using Testing::HostWindow;
using Testing::RecordingEffect;

// A control that writes what reaches it into a shared log.
class Probe : public CWidget {
public:
    Probe(CVSTGUI* editor, std::vector<std::string>& sink, const char* probeName, std::int32_t px,
          std::int32_t py, std::int32_t size)
        : CWidget(editor, Desc(px, py, size)), log(sink), name(probeName) {
        hitTestable = true;
    }
    ~Probe() override {
        log.push_back(name + " destroyed, live textures " +
                      std::to_string(Fake::Get().gl.liveTextures.size()) +
                      (Fake::LiveWindows(false).empty() ? ", no window" : ", window"));
    }
    void OnMouseDown(std::int32_t px, std::int32_t py, std::uint32_t) override {
        Note("down", px, py);
    }
    void OnMouseUp(std::int32_t px, std::int32_t py, std::uint32_t) override { Note("up", px, py); }
    void OnMouseMove(std::int32_t px, std::int32_t py, std::uint32_t) override {
        Note("move", px, py);
    }
    void OnDoubleClick(std::int32_t px, std::int32_t py, std::uint32_t) override {
        Note("double", px, py);
    }
    void OnMouseEnter() override { log.push_back(name + " enter"); }
    void OnMouseLeave() override { log.push_back(name + " leave"); }

private:
    static ControlDesc Desc(std::int32_t px, std::int32_t py, std::int32_t size) {
        ControlDesc desc;
        desc.image = L"Button[2]";
        desc.x = px;
        desc.y = py;
        desc.width = size;
        desc.height = size;
        return desc;
    }
    void Note(const char* what, std::int32_t px, std::int32_t py) {
        log.push_back(name + " " + what + " " + std::to_string(px) + "," + std::to_string(py));
    }
    std::vector<std::string>& log;
    std::string name;
};

// A bare editor frame with two overlapping probes: A at (10, 10) and B at (40, 10), 50 wide.
class RoutingTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fake::Reset();
        frame = std::make_unique<CVSTGUI>(&effect);
        a = std::make_unique<Probe>(frame.get(), log, "A", 10, 10, 50);
        b = std::make_unique<Probe>(frame.get(), log, "B", 40, 10, 50);
        ASSERT_TRUE(frame->open(HostWindow()));
        log.clear();
    }
    void TearDown() override {
        frame->close();
        b.reset();
        a.reset();
        frame.reset();
    }
    void Send(std::uint32_t message, std::int32_t x, std::int32_t y) {
        Fake::SendWindowMessage(frame->Window(), message, 0, Fake::MouseLParam(x, y));
    }

    RecordingEffect effect;
    std::vector<std::string> log;
    std::unique_ptr<CVSTGUI> frame;
    std::unique_ptr<Probe> a, b;
};

TEST_F(RoutingTest, FirstRegisteredWinsWhereControlsOverlap) {
    Send(Platform::kMsgLButtonDown, 45, 20);
    EXPECT_EQ(frame->Captured(), a.get());
    EXPECT_EQ(log, (std::vector<std::string>{"A down 45,20"}));
}

TEST_F(RoutingTest, CapturedControlGetsEveryMoveAndTheRelease) {
    Send(Platform::kMsgMouseMove, 20, 20);
    Send(Platform::kMsgLButtonDown, 20, 20);
    Send(Platform::kMsgMouseMove, 80, 20);   // over B only
    Send(Platform::kMsgMouseMove, -20, -30); // outside the window, to the top-left
    Send(Platform::kMsgLButtonUp, -20, -30);
    Send(Platform::kMsgMouseMove, 80, 20);
    EXPECT_EQ(log, (std::vector<std::string>{"A enter", "A move 20,20", "A down 20,20",
                                             "A move 80,20", "A leave", "A move -20,-30",
                                             "A up -20,-30", "B enter", "B move 80,20"}));
    EXPECT_EQ(frame->Captured(), nullptr);
    EXPECT_EQ(frame->Hovered(), b.get());
}

TEST_F(RoutingTest, HoverMovesBetweenControlsAndLeavesForNone) {
    Send(Platform::kMsgMouseMove, 20, 20);
    Send(Platform::kMsgMouseMove, 70, 20);
    Send(Platform::kMsgMouseMove, 200, 200);
    Send(Platform::kMsgMouseMove, 210, 200);
    EXPECT_EQ(log, (std::vector<std::string>{"A enter", "A move 20,20", "A leave", "B enter",
                                             "B move 70,20", "B leave"}));
    EXPECT_EQ(frame->Hovered(), nullptr);
}

TEST_F(RoutingTest, PressOutsideEveryControlStillCaptures) {
    Send(Platform::kMsgLButtonDown, 300, 200);
    EXPECT_EQ(Fake::Get().capture, frame->Window());
    EXPECT_EQ(frame->Captured(), nullptr);
    Send(Platform::kMsgLButtonUp, 300, 200);
    EXPECT_EQ(Fake::Get().capture, nullptr);
    EXPECT_TRUE(log.empty()) << "a control was called: " << testing::PrintToString(log);
}

TEST_F(RoutingTest, DoubleClickSequenceDoesNotCaptureTheSecondClick) {
    Send(Platform::kMsgLButtonDown, 20, 20);
    Send(Platform::kMsgLButtonUp, 20, 20);
    Send(Platform::kMsgLButtonDblClk, 20, 20);
    EXPECT_EQ(frame->Captured(), nullptr);
    Send(Platform::kMsgLButtonUp, 20, 20);
    EXPECT_EQ(log, (std::vector<std::string>{"A down 20,20", "A up 20,20", "A double 20,20"}));
    EXPECT_EQ(Fake::Get().capture, nullptr);
}

TEST_F(RoutingTest, MessagesWithoutEditorPointerAreIgnored) {
    Fake::Get().windows[frame->Window()].userData = nullptr;
    Send(Platform::kMsgLButtonDown, 20, 20);
    EXPECT_TRUE(Fake::SendWindowMessage(frame->Window(), Platform::kMsgPaint));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(Fake::Get().swaps, 0) << "a window without editor must not swap";
    EXPECT_FALSE(Fake::SendWindowMessage(frame->Window(), 0x0204)) << "right button was handled";
}

TEST_F(RoutingTest, PaintPresentsTheBackBuffer) {
    Fake::Get().gl.calls.clear();
    EXPECT_TRUE(Fake::SendWindowMessage(frame->Window(), Platform::kMsgPaint));
    EXPECT_EQ(Fake::Get().swaps, 1);
    EXPECT_EQ(Fake::GLCallCount("glBegin"), 0) << "painting must not draw";
}

TEST_F(RoutingTest, ControlDestroyedWhileCapturedLeavesNoDanglingPointer) {
    Send(Platform::kMsgLButtonDown, 20, 20);
    a.reset();
    EXPECT_EQ(frame->Captured(), nullptr);
    Send(Platform::kMsgLButtonUp, 20, 20);
    EXPECT_EQ(std::count(frame->Widgets().begin(), frame->Widgets().end(), nullptr), 0);
}

TEST(EditorLookups, AnswerByIdAndEmptyForUnknownIds) {
    Fake::Reset();
    RecordingEffect effect;
    CDeviceGUI editor(&effect);
    EXPECT_EQ(editor.GetControlLabel(3), L"250 Hz");
    EXPECT_EQ(editor.GetControlUnit(3), L"dB");
    EXPECT_EQ(editor.GetControlText(3), L"0.0");
    EXPECT_EQ(editor.GetControlValue(3), 0.5f);
    EXPECT_EQ(editor.GetControlLabel(10), L"On/Off");
    EXPECT_EQ(editor.GetControlValue(10), 1.0f);
    EXPECT_EQ(editor.GetControlLabel(42), L"");
    EXPECT_EQ(editor.GetControlText(42), L"");
    EXPECT_EQ(editor.GetControlValue(42), 0.0f);
    editor.SetControlValue(42, 0.3f);
    editor.SetControlValue(-1, 0.3f); // the faceplate: stores nothing
    EXPECT_EQ(editor.GetControlValue(-1), 0.0f);
    EXPECT_TRUE(effect.events.empty());
}

TEST(EditorLookups, HostWriteIsClampedAndEchoedOnce) {
    Fake::Reset();
    RecordingEffect effect;
    CDeviceGUI editor(&effect);
    editor.SetControlValue(0, 1.5f);
    editor.SetControlValue(0, 1.0f);
    editor.SetControlValue(9, -0.2f);
    EXPECT_EQ(editor.GetControlValue(0), 1.0f);
    EXPECT_EQ(editor.GetControlValue(9), 0.0f);
    EXPECT_EQ(effect.events, (std::vector<std::string>{"automate 0 1", "automate 9 0"}));
}

TEST(EditorLookups, NotANumberIsNotStored) {
    Fake::Reset();
    RecordingEffect effect;
    CDeviceGUI editor(&effect);
    editor.SetControlValue(2, std::nanf(""));
    editor.SetControlValue(10, std::nanf(""));
    editor.SetControlValue(11, std::nanf(""));
    EXPECT_EQ(editor.GetControlValue(2), 0.5f);
    EXPECT_EQ(editor.GetControlValue(10), 1.0f);
    EXPECT_EQ(editor.GetControlValue(11), 0.0f);
    EXPECT_TRUE(effect.events.empty());
}

TEST(EditorLookups, RelaysWithoutEffectDoNothing) {
    Fake::Reset();
    CDeviceGUI editor(nullptr);
    editor.SetControlValue(0, 0.9f);
    editor.BeginEdit(0);
    editor.EndEdit(0);
    EXPECT_EQ(editor.GetControlValue(0), 0.9f);
}

TEST(EditorConstruction, SizeComesFromTheFaceplate) {
    Fake::Reset();
    CDeviceGUI editor(nullptr);
    ERect* rect = nullptr;
    EXPECT_TRUE(editor.getRect(&rect));
    ASSERT_EQ(rect, &editor.WindowRect());
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right, 900);
    EXPECT_EQ(rect->bottom, 258);
    EXPECT_FALSE(editor.isOpen());
}

TEST(EditorConstruction, ImageLibraryFailureThrowsAndStartsNothing) {
    Fake::Reset();
    Fake::Get().startupStatus = 2;
    try {
        CDeviceGUI editor(nullptr);
        FAIL() << "construction succeeded without the image library";
    } catch (const Exceptions::GDIP& error) {
        EXPECT_EQ(error.Message(), L" GDI+ ERROR:\r\n\r\nFunction: GdiplusStartup() error = 0x2");
    }
}

TEST(EditorConstruction, MissingFaceplateThrowsAndShutsTheLibraryDown) {
    Fake::Reset();
    Fake::Get().resources.erase(L"zem");
    EXPECT_THROW(CDeviceGUI editor(nullptr), Exceptions::Std);
    EXPECT_FALSE(Fake::Get().imageLibraryRunning);
}

class WindowTest : public EditorTest {};

TEST_F(WindowTest, OpenCreatesVisibleChildWithTimer) {
    ASSERT_TRUE(editor->open(HostWindow()));
    EXPECT_TRUE(editor->isOpen());
    const auto windows = Fake::LiveWindows(false);
    ASSERT_EQ(windows.size(), 1u);
    const Fake::Window& window = Fake::Get().windows[windows[0]];
    EXPECT_EQ(window.parent, HostWindow());
    EXPECT_EQ(window.width, 900);
    EXPECT_EQ(window.height, 258);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.userData, editor.get());
    ASSERT_EQ(Fake::Get().timers.size(), 1u);
    EXPECT_EQ(Fake::Get().timers[0].periodMs, 20u);
    EXPECT_EQ(Fake::Get().timers[0].id, reinterpret_cast<std::uintptr_t>(editor.get()));
    EXPECT_EQ(Fake::LiveWindows(true).size(), 1u) << "no edit box";
    EXPECT_EQ(Fake::Get().gl.ortho, (std::vector<double>{0, 900, 258, 0, -1, 1}));
    EXPECT_EQ(Fake::Get().gl.viewport, (std::vector<GLint>{0, 0, 900, 258}));
    EXPECT_EQ(Fake::Get().gl.liveTextures.size(), 13u) << "the first redraw loads every image";
}

bool SameQuads(const std::vector<Fake::Quad>& a, const std::vector<Fake::Quad>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Fake::Quad& p, const Fake::Quad& q) {
                          return p.texture == q.texture && std::equal(p.u, p.u + 4, q.u) &&
                                 std::equal(p.v, p.v + 4, q.v) && std::equal(p.x, p.x + 4, q.x) &&
                                 std::equal(p.y, p.y + 4, q.y);
                      });
}

// Each step is followed by one tick, which draws a frame only when the picture changed; and
// whenever the window system asks for a paint, it gets the whole picture the user sees.
TEST_F(WindowTest, TicksDrawOnlyWhenThePictureChanges) {
    Open();
    const auto paint = [this] {
        Fake::Get().gl.quads.clear();
        Fake::SendWindowMessage(editor->Window(), Platform::kMsgPaint);
        return Fake::Get().gl.quads;
    };
    EXPECT_TRUE(paint().empty()) << "the open's frame is presented as drawn";
    std::vector<Fake::Quad> onScreen = paint();
    ASSERT_EQ(onScreen.size(), 13u) << "the faceplate, 10 faders, the button and the lamp";
    using Self = std::remove_reference_t<decltype(*this)>;
    struct Step {
        const char* what;
        void (*act)(Self&, CDeviceGUI&);
        bool draws;
    };
    const Step steps[] = {
        {"at rest", [](Self&, CDeviceGUI&) {}, false},
        {"the host moves a fader", [](Self&, CDeviceGUI& e) { e.SetControlValue(4, 0.2f); }, true},
        {"at rest after it", [](Self&, CDeviceGUI&) {}, false},
        {"a value that shows the same frame",
         [](Self&, CDeviceGUI& e) { e.SetControlValue(4, 0.205f); }, false},
        {"the lamp lights", [](Self&, CDeviceGUI& e) { e.InLamp().SetValue(1.0f); }, true},
        {"the lamp goes out: dark at once", [](Self&, CDeviceGUI& e) { e.InLamp().SetValue(0.0f); },
         true},
        {"its display value falls on, dark", [](Self&, CDeviceGUI&) {}, false},
        {"a press shows the read-out", [](Self& t, CDeviceGUI&) { t.Press(424, 100); }, true},
        {"a move by no pixel", [](Self& t, CDeviceGUI&) { t.Move(424, 100); }, false},
        {"the host writes a value of the same frame but another read-out",
         [](Self&, CDeviceGUI& e) { e.SetControlValue(4, 0.2f); }, true},
        {"a drag", [](Self& t, CDeviceGUI&) { t.Move(424, 90); }, true},
        {"the release hides the read-out", [](Self& t, CDeviceGUI&) { t.Release(424, 90); }, true},
        {"a double click opens the entry", [](Self& t, CDeviceGUI&) { t.DoubleClick(424, 90); },
         true},
        {"the entry closes", [](Self&, CDeviceGUI& e) { e.Edit()->Cancel(); }, true},
        {"at rest at last", [](Self&, CDeviceGUI&) {}, false},
    };
    for (const Step& step : steps) {
        step.act(*this, *editor);
        Fake::Get().calls.clear();
        Fake::Get().gl.calls.clear();
        Fake::Get().gl.quads.clear();
        Fake::TickTimers();
        EXPECT_EQ(Fake::CallCount("InvalidateWindow"), step.draws ? 1 : 0) << step.what;
        EXPECT_EQ(Fake::GLCallCount("glFlush"), step.draws ? 1 : 0) << step.what;
        if (step.draws) {
            onScreen = Fake::Get().gl.quads;
            EXPECT_TRUE(paint().empty()) << step.what << ": the tick's frame is presented as drawn";
        }
        const int swaps = Fake::Get().swaps;
        EXPECT_TRUE(SameQuads(paint(), onScreen))
            << step.what << ": a paint asked for by the system redraws what is on the screen";
        EXPECT_EQ(Fake::Get().swaps, swaps + 1) << step.what;
    }
    EXPECT_EQ(Fake::CallCount("DecodeImage"), 0) << "a redraw must not load images again";
}

// A bar meter falling draws at every tick while it moves, and stops once it has settled.
TEST_F(WindowTest, AFallingBarDrawsUntilItSettles) {
    Fake::AddImage(L"BAR", 20, 100);
    ControlDesc desc;
    desc.image = L"BAR";
    desc.fallTime = 100.0f;
    Open();
    auto bar = std::make_unique<CMeter>(editor.get(), desc);
    bar->SetValue(1.0f);
    Fake::TickTimers();
    bar->SetValue(0.0f);
    int drawn = 0;
    bool settled = false;
    for (int tick = 0; tick < 100; ++tick) {
        Fake::Get().calls.clear();
        Fake::TickTimers();
        const bool draws = Fake::CallCount("InvalidateWindow") == 1;
        EXPECT_FALSE(settled && draws) << "a frame after a pause, at tick " << tick;
        settled = settled || !draws;
        drawn += draws ? 1 : 0;
    }
    EXPECT_GT(drawn, 5);
    EXPECT_EQ(bar->displayValue, 0.0f);
    bar.reset();
}

TEST_F(WindowTest, OpenWhileOpenKeepsOneWindowContextAndTimer) {
    ASSERT_TRUE(editor->open(HostWindow()));
    ASSERT_TRUE(editor->open(HostWindow()));
    EXPECT_EQ(Fake::LiveWindows(false).size(), 1u);
    EXPECT_EQ(Fake::Get().timers.size(), 1u);
    EXPECT_EQ(Fake::Get().liveContexts.size(), 1u);
    EXPECT_EQ(Fake::Get().liveDCs.size(), 1u);
    EXPECT_EQ(Fake::Get().gl.liveTextures.size(), 13u);
}

TEST_F(WindowTest, WindowCreationFailureShowsErrorAndAnswersFalse) {
    Fake::Get().failCreateWindow = true;
    Fake::Get().lastError = 1400;
    EXPECT_FALSE(editor->open(HostWindow()));
    EXPECT_FALSE(editor->isOpen());
    ASSERT_EQ(Fake::Get().messageBoxes.size(), 1u);
    EXPECT_EQ(Fake::Get().messageBoxes[0].first,
              L"VLM Tarvix 1.0.0 EDITOR ERROR:\r\n\r\n\r\n\r\nFunction: CreateWindow(): error = "
              L"1400");
}

TEST_F(WindowTest, ContextFailuresNameTheFailingStep) {
    struct Case {
        void (*arrange)();
        const wchar_t* ending;
    };
    const Case cases[] = {
        {[] { Fake::Get().failGetDC = true; },
         L"OPENGL ERROR:\r\n\r\nFunction: GetDC(): error = 0x0"},
        {[] { Fake::Get().failSetPixelFormat = true; }, L"Function: SetPixelFormat(): error = 0x7"},
        {[] { Fake::Get().failCreateContext = true; },
         L"Function: wglCreateContext(): error = 0x7"},
        {[] { Fake::Get().gl.failOn["glViewport"] = GL_INVALID_VALUE; },
         L"Version: 1.1 Fake\r\nFunction: glViewport(): error = 0x501"},
        {[] { Fake::Get().gl.failOn["gluOrtho2D"] = GL_INVALID_VALUE; },
         L"Function: gluOrtho2D(): error = 0x501"},
    };
    for (const Case& c : cases) {
        editor.reset();
        Fake::Reset();
        editor = std::make_unique<CDeviceGUI>(&effect);
        Fake::Get().lastError = 7;
        c.arrange();
        EXPECT_FALSE(editor->open(HostWindow()));
        ASSERT_EQ(Fake::Get().messageBoxes.size(), 1u);
        const std::wstring& text = Fake::Get().messageBoxes[0].first;
        const std::wstring ending = c.ending;
        EXPECT_TRUE(text.size() >= ending.size() &&
                    text.compare(text.size() - ending.size(), ending.size(), ending) == 0)
            << "got: " << testing::PrintToString(text);
        EXPECT_TRUE(Fake::LiveWindows(false).empty());
        EXPECT_TRUE(Fake::Get().liveContexts.empty());
        EXPECT_TRUE(Fake::Get().liveDCs.empty());
    }
}

TEST_F(WindowTest, RefusedUploadClosesTheWindowThenShowsOneMessage) {
    Fake::Get().gl.failOn["glTexImage2D"] = GL_OUT_OF_MEMORY;
    EXPECT_FALSE(editor->open(HostWindow()));
    ASSERT_EQ(Fake::Get().messageBoxes.size(), 1u);
    EXPECT_NE(Fake::Get().messageBoxes[0].first.find(L"glTexImage2D(): error = 0x505\r\nImage: "
                                                     L"\"ZEM\" (1024x512px)"),
              std::wstring::npos);
    const auto& calls = Fake::Get().calls;
    const auto destroyed = std::find(calls.begin(), calls.end(), "DestroyWindow");
    const auto shown = std::find(calls.begin(), calls.end(), "ShowErrorBox");
    EXPECT_LT(destroyed, shown) << "the message must come after the window is gone";
    EXPECT_TRUE(Fake::LiveWindows(false).empty());
    EXPECT_TRUE(Fake::LiveWindows(true).empty()) << "the edit box outlived the failure";
    EXPECT_TRUE(Fake::Get().timers.empty());
    EXPECT_TRUE(Fake::Get().gl.liveTextures.empty());
    EXPECT_TRUE(editor->Textures().empty());
    EXPECT_FALSE(editor->isOpen());
}

// The images are decoded on a worker while the window is made: each once, none kept after its
// upload or after the window, and a failed decode is reported as at the image's acquisition.
TEST_F(WindowTest, ImagesDecodedAheadAreDecodedOnceAndNoneOutlivesTheWindow) {
    const auto decodedBitmaps = [] {
        return std::count_if(Fake::Get().bitmaps.begin(), Fake::Get().bitmaps.end(),
                             [](const auto& entry) { return entry.second.decoded; });
    };
    Fake::Get().calls.clear();
    ASSERT_TRUE(editor->open(HostWindow()));
    EXPECT_EQ(Fake::CallCount("DecodeImage"), 13);
    EXPECT_EQ(decodedBitmaps(), 0);
    editor->close();
    // A failed upload closes the window with the other images decoded and never taken.
    Fake::Get().gl.failOn["glTexImage2D"] = GL_OUT_OF_MEMORY;
    EXPECT_FALSE(editor->open(HostWindow()));
    EXPECT_EQ(decodedBitmaps(), 0);

    Fake::Get().gl.failOn.clear();
    Fake::Get().messageBoxes.clear();
    ASSERT_TRUE(editor->RequestScale(2.0f));
    Fake::Get().decodeStatus = 2;
    EXPECT_FALSE(editor->open(HostWindow()));
    ASSERT_EQ(Fake::Get().messageBoxes.size(), 1u);
    EXPECT_NE(Fake::Get().messageBoxes[0].first.find(L"Image: \"ZEM@2x\" (0x0px)"),
              std::wstring::npos)
        << Fake::Get().messageBoxes[0].first;
    EXPECT_EQ(decodedBitmaps(), 0);
    EXPECT_TRUE(Fake::LiveWindows(false).empty());
}

TEST_F(WindowTest, FailingTimerRedrawClosesAndReportsOnce) {
    Open();
    editor->SetControlValue(4, 0.25f);
    Fake::Get().currentContext = nullptr; // the host switched contexts
    Fake::Get().failMakeCurrent = true;
    Fake::Get().lastError = 2000;
    Fake::TickTimers();
    Fake::TickTimers();
    ASSERT_EQ(Fake::Get().messageBoxes.size(), 1u);
    EXPECT_NE(Fake::Get().messageBoxes[0].first.find(L"GfxReDraw::wglMakeCurrent(): error = 0x7d0"),
              std::wstring::npos);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_TRUE(Fake::LiveWindows(false).empty());
    editor->close();
    EXPECT_EQ(Fake::Get().messageBoxes.size(), 1u);
}

TEST_F(WindowTest, CloseTwiceAndCloseWithoutOpenAreHarmless) {
    editor->close();
    Open();
    editor->close();
    editor->close();
    editor->DestroyEditorWindow();
    EXPECT_TRUE(Fake::LiveWindows(false).empty());
    EXPECT_TRUE(Fake::Get().gl.liveTextures.empty());
    EXPECT_TRUE(Fake::Get().liveContexts.empty());
    EXPECT_TRUE(Fake::Get().liveDCs.empty());
    EXPECT_EQ(Fake::Get().currentContext, nullptr);
    EXPECT_TRUE(Fake::Get().messageBoxes.empty());
}

TEST_F(WindowTest, ReopeningReloadsTexturesAndKeepsValues) {
    Open();
    editor->SetControlValue(4, 0.25f);
    const std::uint32_t before = editor->Fader(4).texture;
    editor->close();
    EXPECT_EQ(editor->Fader(4).texture, 0u);
    EXPECT_TRUE(editor->Textures().empty());
    Open();
    EXPECT_EQ(editor->GetControlValue(4), 0.25f);
    EXPECT_NE(editor->Fader(4).texture, 0u);
    EXPECT_NE(editor->Fader(4).texture, before);
}

TEST_F(WindowTest, PlatformWithoutWindowsAnswersFalseQuietly) {
    Fake::Get().canOpen = false;
    EXPECT_FALSE(editor->open(HostWindow()));
    EXPECT_FALSE(editor->isOpen());
    EXPECT_TRUE(Fake::Get().messageBoxes.empty());
    EXPECT_EQ(Fake::CallCount("CreateEditorWindow"), 0);
}

// An editor holding a probe as a member, the way the equaliser's editor holds its controls.
class ProbeEditor : public CVSTGUI {
public:
    explicit ProbeEditor(std::vector<std::string>& log)
        : CVSTGUI(nullptr), probe(this, log, "P", 0, 0, 9) {}
    ~ProbeEditor() override { close(); }
    Probe probe;
};

TEST(EditorTeardown, WindowAndTexturesGoBeforeAnyControl) {
    Fake::Reset();
    std::vector<std::string> log;
    {
        ProbeEditor editor(log);
        ASSERT_TRUE(editor.open(HostWindow()));
        ASSERT_NE(editor.probe.texture, 0u);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"P destroyed, live textures 0, no window"}));
    EXPECT_FALSE(Fake::Get().imageLibraryRunning);
    EXPECT_TRUE(Fake::Get().timers.empty());
    const auto& calls = Fake::Get().calls;
    EXPECT_EQ(calls.back(), "ImageLibraryShutdown");
}

} // namespace
} // namespace VLM
