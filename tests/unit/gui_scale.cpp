// The editor at drawing scales above 1: where the factor comes from, the window's size, and
// the pointer taken back into the 900 x 258 layout.
#include "gui_support.h"

#include <cmath>
#include <limits>

namespace VLM {
namespace {

using Testing::EditorTest;
using Testing::HostWindow;
using Strings = std::vector<std::string>;

// A host that can follow a size change, and says so when asked.
class SizingEffect : public Testing::RecordingEffect {
public:
    bool canHostDo(char* text) override { return canSize && std::string(text) == "sizeWindow"; }
    bool sizeWindow(VstInt32 width, VstInt32 height) override {
        events.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
        return true;
    }
    bool canSize = true;
};

class ScaleTest : public EditorTest {
protected:
    std::pair<int, int> Reported() {
        ERect* rect = nullptr;
        EXPECT_TRUE(editor->getRect(&rect));
        return {rect->right - rect->left, rect->bottom - rect->top};
    }
    const Fake::Window& EditorWindow() { return Fake::Get().windows[editor->Window()]; }
};

TEST(ScaleChoice, NearestOfferedFactorWithinOneToTwo) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double asked;
        float chosen;
    } cases[] = {{1.0, 1.0f},   {1.12, 1.0f}, {1.13, 1.25f}, {1.4, 1.5f},
                 {1.74, 1.75f}, {1.9, 2.0f},  {3.0, 2.0f},   {0.5, 1.0f},
                 {0.0, 0.0f},   {-1.5, 0.0f}, {nan, 0.0f},   {inf, 0.0f}};
    for (const auto& c : cases) {
        EXPECT_EQ(CVSTGUI::NearestScale(c.asked), c.chosen) << "asked " << c.asked;
    }
}

TEST_F(ScaleTest, RectIsTheLayoutRoundedAtEveryFactor) {
    const struct {
        float factor;
        int width, height;
    } cases[] = {{1.0f, 900, 258},
                 {1.25f, 1125, 323},
                 {1.5f, 1350, 387},
                 {1.75f, 1575, 452},
                 {2.0f, 1800, 516}};
    for (const auto& c : cases) {
        ASSERT_TRUE(editor->RequestScale(c.factor));
        EXPECT_EQ(Reported(), std::make_pair(c.width, c.height)) << c.factor;
        ASSERT_TRUE(editor->open(HostWindow()));
        EXPECT_EQ(EditorWindow().width, c.width);
        EXPECT_EQ(EditorWindow().height, c.height);
        EXPECT_EQ(Fake::Get().gl.viewport, (std::vector<GLint>{0, 0, c.width, c.height}));
        EXPECT_EQ(Fake::Get().gl.ortho, (std::vector<double>{0, 900, 258, 0, -1, 1}))
            << "the projection stays in layout pixels";
        editor->close();
    }
    EXPECT_EQ(editor->Rect().right, 900) << "the layout itself never changes";
}

TEST_F(ScaleTest, SystemDpiUnlessTheHostHasChosen) {
    Fake::Get().systemDpi = 144.0f;
    EXPECT_EQ(Reported(), std::make_pair(1350, 387));
    Fake::Get().systemDpi = 192.0f;
    ASSERT_TRUE(editor->open(HostWindow()));
    EXPECT_EQ(Fake::Get().dpiQueries.back(), HostWindow()) << "asked for the host's screen";
    EXPECT_EQ(editor->Scale(), 2.0f);
    editor->close();

    EXPECT_FALSE(editor->RequestScale(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(editor->Scale(), 2.0f) << "a refused request changes nothing";
    ASSERT_TRUE(editor->RequestScale(1.4f));
    ASSERT_TRUE(editor->open(HostWindow()));
    EXPECT_EQ(editor->Scale(), 1.5f) << "the host's choice stands over the system's";
    EXPECT_EQ(Reported(), std::make_pair(1350, 387));
}

// Band 1's fader spans x 141..205 of the layout; a press at (191, 100) is on it.
TEST_F(ScaleTest, PointerAndDragCountInLayoutPixels) {
    const struct {
        float factor;
        std::int32_t pressX, pressY, moveY;
        std::uint32_t flags;
        const char* automated;
    } cases[] = {
        {1.0f, 191, 100, 90, 0, "automate 0 0.6"},
        {2.0f, 382, 200, 180, 0, "automate 0 0.6"},  // 10 layout pixels: 0.01 each
        {2.0f, 382, 200, 198, 0, "automate 0 0.51"}, // 1 layout pixel
        {1.5f, 287, 150, 75, Platform::kMouseShift, "automate 0 0.6"}, // 50 at 0.002
    };
    for (const auto& c : cases) {
        editor->RequestScale(c.factor);
        editor->Fader(0).SetValue(0.5f);
        Open();
        Press(c.pressX, c.pressY, c.flags);
        ASSERT_EQ(editor->Captured(), &editor->Fader(0)) << c.factor;
        Move(c.pressX, c.moveY, c.flags);
        Release(c.pressX, c.moveY, c.flags);
        EXPECT_EQ(effect.events, (Strings{"begin 0", c.automated, "end 0"})) << c.factor;
        editor->close();
    }
}

TEST_F(ScaleTest, TextEntryAtTheScaledPlaceSizeAndFont) {
    editor->RequestScale(2.0f);
    Open();
    const auto edits = Fake::LiveWindows(true);
    ASSERT_EQ(edits.size(), 1u);
    const Fake::Window& box = Fake::Get().windows[edits[0]];
    EXPECT_EQ(box.fontHeight, 27) << "10 points at 96 dpi, doubled";
    // The 50 x 15 entry centred above band 4 in the layout, then doubled.
    const CKnob& band4 = editor->Fader(3);
    DoubleClick(2 * (band4.x + band4.width / 2), 2 * (band4.y + 20));
    EXPECT_TRUE(box.visible);
    EXPECT_EQ(box.x, 2 * (band4.x + band4.width / 2 - 25));
    EXPECT_EQ(box.y, 2 * (band4.y - 15));
    EXPECT_EQ(box.width, 100);
    EXPECT_EQ(box.height, 30);
    EXPECT_EQ(Fake::CallCount("SetEditFont"), 0) << "set once, when the box was made";
}

TEST(ScaleChange, WhileOpenResizesReloadsAndAsksAHostThatCanFollow) {
    for (const bool canSize : {true, false}) {
        SizingEffect host;
        host.canSize = canSize;
        Fake::Reset();
        CDeviceGUI sized(&host);
        ASSERT_TRUE(sized.open(HostWindow()));
        Fake::Get().calls.clear();
        Fake::Get().gl.quads.clear();
        ASSERT_TRUE(sized.RequestScale(1.75f));
        const Fake::Window& window = Fake::Get().windows[sized.Window()];
        EXPECT_EQ(window.width, 1575);
        EXPECT_EQ(window.height, 452);
        EXPECT_EQ(Fake::Get().gl.viewport, (std::vector<GLint>{0, 0, 1575, 452}));
        EXPECT_EQ(Fake::CallCount("DecodeImage"), 13) << "every image acquired again";
        EXPECT_EQ(Fake::Get().gl.quads.size(), 13u) << "the picture is redrawn at once";
        EXPECT_EQ(Fake::Get().gl.liveTextures.size(), 13u) << "the old textures are gone";
        EXPECT_EQ(Fake::Get().windows[Fake::LiveWindows(true)[0]].fontHeight, 23);
        EXPECT_EQ(host.events, canSize ? Strings{"size 1575x452"} : Strings{});
        host.events.clear();
        ASSERT_TRUE(sized.RequestScale(1.8f)); // the same offered factor: nothing to do
        EXPECT_TRUE(host.events.empty());
    }
}

} // namespace
} // namespace VLM
