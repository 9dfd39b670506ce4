#include "gui_support.h"

#include <clocale>
#include <cmath>

namespace VLM {
namespace {

using Testing::EditorTest;
using Testing::HostWindow;
using Strings = std::vector<std::string>;

class FaderTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        Open();
    }
    CKnob& band1() { return editor->Fader(0); }
};

TEST_F(FaderTest, DragUpRaisesOnePercentPerPixel) {
    Press(160, 100);
    Move(160, 90);
    EXPECT_FLOAT_EQ(band1().Value(), 0.6f);
    Move(175, 90); // sideways changes nothing
    Release(175, 90);
    EXPECT_EQ(effect.events, (Strings{"begin 0", "automate 0 0.6", "end 0"}));
}

TEST_F(FaderTest, ShiftDragIsFiveTimesFiner) {
    Press(160, 100);
    Move(160, 90, Platform::kMouseShift);
    EXPECT_FLOAT_EQ(band1().Value(), 0.52f);
    Release(160, 90);
}

TEST_F(FaderTest, ValueFollowsThePressPointThroughAClamp) {
    Press(160, 100);
    Move(160, 20);
    EXPECT_EQ(band1().Value(), 1.0f);
    Move(160, 70);
    EXPECT_FLOAT_EQ(band1().Value(), 0.8f);
    Move(160, 100);
    EXPECT_FLOAT_EQ(band1().Value(), 0.5f);
    Release(160, 100);
}

TEST_F(FaderTest, DragOutsideTheWindowKeepsGoing) {
    Press(160, 100);
    Move(160, -50); // y arrives negative while captured
    EXPECT_EQ(band1().Value(), 1.0f);
    Release(160, -50);
    EXPECT_EQ(effect.events.back(), "end 0");
}

TEST_F(FaderTest, CursorHiddenDuringDragAndPutBackAtRelease) {
    Fake::Get().cursor = {500, 400};
    Press(160, 100);
    EXPECT_EQ(Fake::Get().cursorCounter, -1) << "cursor not hidden at the press";
    Fake::Get().cursor = {520, 100}; // where the drag took the pointer
    Move(160, 60);
    Release(160, 60);
    EXPECT_EQ(Fake::Get().cursorCounter, 0) << "cursor not shown again";
    EXPECT_EQ(Fake::Get().cursor.x, 500);
    EXPECT_EQ(Fake::Get().cursor.y, 400);
}

TEST_F(FaderTest, ControlClickResetsWithoutGesture) {
    editor->SetControlValue(0, 0.75f);
    effect.events.clear();
    Press(160, 100, Platform::kMouseControl);
    EXPECT_EQ(band1().Value(), 0.5f);
    EXPECT_FALSE(band1().pressed);
    EXPECT_EQ(Fake::Get().cursorCounter, 0) << "Control-click hid the cursor";
    EXPECT_EQ(editor->Hint()->target, nullptr);
    Move(160, 50, Platform::kMouseControl); // no drag follows a reset
    Release(160, 50);
    EXPECT_EQ(band1().Value(), 0.5f);
    EXPECT_EQ(effect.events, (Strings{"automate 0 0.5", "end 0"}));
}

TEST_F(FaderTest, PressShowsTheReadoutUntilTheRelease) {
    Press(160, 100);
    EXPECT_EQ(editor->Hint()->target, &band1());
    Release(160, 100);
    EXPECT_EQ(editor->Hint()->target, nullptr);
}

TEST(KnobText, ReadoutsOfAFader) {
    Fake::Reset();
    CDeviceGUI editor(nullptr);
    CKnob& band1 = editor.Fader(0);
    const std::pair<float, const wchar_t*> cases[] = {
        {0.0f, L"-12.0"}, {0.499f, L"-0.0"}, {0.5f, L"0.0"}, {0.75f, L"+6.0"}, {1.0f, L"+12.0"}};
    for (const auto& c : cases) {
        band1.SetValue(c.first);
        EXPECT_EQ(band1.GetText(true), c.second) << "at " << c.first;
    }
    band1.SetValue(0.75f);
    EXPECT_EQ(band1.GetText(false), L"31 Hz: +6.0dB");
    const std::wstring* first = &band1.GetText(true);
    EXPECT_EQ(first, &band1.GetText(true));
    EXPECT_EQ(editor.GetControlText(0), L"+6.0");
}

TEST(KnobText, FullStopWhateverTheLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    const std::wstring text = FormatReadout(L"+%.1f", 6.0);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, L"+6.0");
}

TEST(KnobText, TooWideForFiveCharactersIsKeptWhole) {
    EXPECT_EQ(FormatReadout(L"%.1f", 12.0), L"12.0");
    EXPECT_EQ(FormatReadout(L"%.1f", -123.45), L"-123.5");
}

TEST(KnobUnits, UnitValuesMapOntoTheRange) {
    Fake::Reset();
    Testing::RecordingEffect effect;
    CDeviceGUI editor(&effect);
    CKnob& band1 = editor.Fader(0);
    band1.SetUnitValue(3.0f);
    EXPECT_FLOAT_EQ(band1.Value(), 0.625f);
    band1.SetUnitValue(20.0f);
    EXPECT_EQ(band1.Value(), 1.0f);
    band1.SetUnitValue(-20.0f);
    EXPECT_EQ(band1.Value(), 0.0f);
    EXPECT_EQ(effect.events, (Strings{"automate 0 0.625", "automate 0 1", "automate 0 0"}));
}

class ButtonTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        Open();
    }
};

TEST_F(ButtonTest, EveryPressToggles) {
    Press(840, 150);
    Release(840, 150);
    EXPECT_EQ(editor->InButton().Value(), 0.0f);
    Press(840, 150);
    Release(840, 150);
    EXPECT_EQ(editor->InButton().Value(), 1.0f);
    EXPECT_EQ(effect.events, (Strings{"automate 10 0", "begin 10", "end 10", "automate 10 1",
                                      "begin 10", "end 10"}));
}

TEST_F(ButtonTest, DoubleClickTogglesTwiceWithBalancedGestures) {
    Press(840, 150);
    Release(840, 150);
    DoubleClick(840, 150);
    Release(840, 150);
    EXPECT_EQ(editor->InButton().Value(), 1.0f);
    EXPECT_EQ(effect.events, (Strings{"automate 10 0", "begin 10", "end 10", "automate 10 1",
                                      "begin 10", "end 10"}));
}

TEST_F(ButtonTest, InBetweenHostValueShowsOutAndTurnsOff) {
    editor->SetControlValue(10, 0.3f);
    EXPECT_EQ(editor->InButton().Value(), 0.3f);
    Fake::TickTimers();
    const Fake::Quad* quad = LastQuadOf(editor->InButton());
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(quad->v[0], 0.0f) << "an in-between value must show frame 0";
    Press(840, 150);
    Move(840, 100);
    EXPECT_EQ(editor->InButton().Value(), 0.0f);
}

TEST_F(ButtonTest, PressOnTheLampDoesNothing) {
    Press(840, 70);
    Release(840, 70);
    EXPECT_EQ(editor->InLamp().Value(), 0.0f);
    EXPECT_EQ(editor->InButton().Value(), 1.0f);
    EXPECT_TRUE(effect.events.empty());
}

class MeterTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        Open();
    }
    // The filmstrip frame shown in the last redraw, from the quad's texture coordinates.
    int FrameOf(const CMeter& meter) {
        const Fake::Quad* quad = LastQuadOf(meter);
        EXPECT_NE(quad, nullptr);
        if (quad == nullptr) {
            return -1;
        }
        const float columnWidth = meter.uExtent / static_cast<float>(meter.columnCount);
        const float rows =
            std::ceil(static_cast<float>(meter.frameCount) / static_cast<float>(meter.columnCount));
        const float rowHeight = meter.vExtent / rows;
        const int column = static_cast<int>(std::lround(quad->u[0] / columnWidth));
        const int row = static_cast<int>(std::lround(quad->v[0] / rowHeight));
        return row * meter.columnCount + column;
    }
};

TEST_F(MeterTest, FaderFramesFromTheFilmstrip) {
    CKnob& band1 = editor->Fader(0);
    EXPECT_EQ(band1.frameCount, 64);
    EXPECT_EQ(band1.columnCount, 18);
    EXPECT_EQ(band1.width, 50);
    EXPECT_EQ(band1.height, 235);
    const std::pair<float, int> cases[] = {{0.0f, 0}, {0.5f, 31}, {1.0f, 63}};
    for (const auto& c : cases) {
        band1.SetValue(c.first);
        Fake::TickTimers();
        EXPECT_EQ(FrameOf(band1), c.second) << "at value " << c.first;
    }
    const Fake::Quad* quad = LastQuadOf(band1);
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(quad->x[0], 141.0);
    EXPECT_EQ(quad->y[0], 33.0);
    EXPECT_EQ(quad->x[2], 191.0);
    EXPECT_EQ(quad->y[2], 268.0);
}

TEST_F(MeterTest, LampLightsOnlyAtExactlyOne) {
    CLED& lamp = editor->InLamp();
    lamp.SetValue(1.0f);
    Fake::TickTimers();
    EXPECT_EQ(FrameOf(lamp), 1);
    lamp.SetValue(0.999f);
    Fake::TickTimers();
    EXPECT_EQ(FrameOf(lamp), 0);
}

TEST_F(MeterTest, LampFallsForFiftyRedraws) {
    CLED& lamp = editor->InLamp();
    lamp.SetValue(1.0f);
    Fake::TickTimers();
    EXPECT_EQ(lamp.displayValue, 1.0f) << "a rise time of 0 shows at the first redraw";
    lamp.SetValue(0.0f);
    int steps = 0;
    while (lamp.displayValue != 0.0f && steps < 200) {
        Fake::TickTimers();
        ++steps;
        EXPECT_EQ(FrameOf(lamp), 0) << "the lamp must look dark from the first redraw";
    }
    EXPECT_EQ(steps, 51) << "expected 50 coefficient steps, then the snap to 0";
    EXPECT_TRUE(effect.events.empty()) << "the lamp reported to the host";
}

TEST_F(MeterTest, SetValueClampsAndIgnoresNotANumber) {
    CLED& lamp = editor->InLamp();
    lamp.SetValue(1.7f);
    EXPECT_EQ(lamp.Value(), 1.0f);
    lamp.SetValue(std::nanf(""));
    EXPECT_EQ(lamp.Value(), 1.0f);
    lamp.SetValue(-0.3f);
    EXPECT_EQ(lamp.Value(), 0.0f);
}

// Meters made by hand on the equaliser's editor, for the image layouts it does not use.
TEST_F(MeterTest, SingleFrameImageDrawsABarFromTheBottom) {
    Fake::AddImage(L"BAR", 20, 100);
    ControlDesc desc;
    desc.image = L"BAR";
    desc.x = 5;
    desc.y = 10;
    desc.defaultValue = 0.25f;
    auto bar = std::make_unique<CMeter>(editor.get(), desc);
    Fake::TickTimers();
    const Fake::Quad* quad = LastQuadOf(*bar);
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(bar->frameCount, 1);
    EXPECT_FLOAT_EQ(static_cast<float>(quad->y[0]), 85.0f);
    EXPECT_FLOAT_EQ(quad->v[0], 0.75f * bar->vExtent);
    EXPECT_EQ(quad->y[2], 110.0);
    bar.reset();
}

TEST_F(MeterTest, ExplicitHeightKeepsOneFrame) {
    ControlDesc desc;
    desc.image = L"Lamp[2]";
    desc.height = 40;
    auto meter = std::make_unique<CMeter>(editor.get(), desc);
    Fake::TickTimers();
    EXPECT_EQ(meter->frameCount, 1);
    EXPECT_EQ(meter->width, 50);
    EXPECT_EQ(meter->height, 40);
    meter.reset();
}

} // namespace
} // namespace VLM
