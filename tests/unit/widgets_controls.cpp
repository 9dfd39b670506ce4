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

// The wheel over the editor, which sits at a screen position of its own: the message carries
// screen coordinates, the distance in its high word and the key bits in its low word.
class WheelTest : public FaderTest {
protected:
    void SetUp() override {
        FaderTest::SetUp();
        Fake::Get().hostOrigin = {300, 200};
    }
    bool Wheel(std::int32_t x, std::int32_t y, std::int32_t distance, std::uint32_t flags = 0) {
        const auto high = static_cast<std::uint16_t>(static_cast<std::int16_t>(distance));
        return Fake::SendWindowMessage(editor->Window(), Platform::kMsgMouseWheel,
                                       (std::uintptr_t{high} << 16) | flags,
                                       Fake::MouseLParam(x + 300, y + 200));
    }
    // The redraw timer's tick, `ms` after the last one.
    void TickAfter(std::uint64_t ms) {
        Fake::Get().clockMs += ms;
        Fake::TickTimers();
    }
};

TEST_F(WheelTest, NotchStepsInDecibels) {
    struct Case {
        std::int32_t distance;
        std::uint32_t flags;
        float decibels;
    };
    const Case cases[] = {{120, 0, 0.5f},
                          {-120, 0, -0.5f},
                          {120, Platform::kMouseShift, 0.1f},
                          {60, 0, 0.25f},
                          {-240, Platform::kMouseShift, -0.2f}};
    for (const Case& c : cases) {
        band1().SetUnitValue(0.0f);
        EXPECT_TRUE(Wheel(160, 100, c.distance, c.flags));
        EXPECT_NEAR(band1().ToUnit(band1().Value()), c.decibels, 1e-5f)
            << "distance " << c.distance << ", flags " << c.flags;
    }
}

TEST_F(WheelTest, ClampsAtTheTopOfTheRange) {
    band1().SetUnitValue(11.8f);
    effect.events.clear();
    Wheel(160, 100, 120);
    Wheel(160, 100, 120);
    EXPECT_EQ(band1().Value(), 1.0f);
    TickAfter(300);
    EXPECT_EQ(effect.events, (Strings{"begin 0", "automate 0 1", "end 0"}));
}

TEST_F(WheelTest, BurstIsOneGestureEndedAfterTheWheelRests) {
    for (int notch = 0; notch < 3; ++notch) {
        Wheel(160, 100, 120);
        TickAfter(100);
    }
    EXPECT_EQ(editor->Hint()->target, &band1()) << "the read-out must show while the wheel turns";
    TickAfter(180); // 280 ms without a notch
    EXPECT_EQ(effect.events, (Strings{"begin 0", "automate 0 0.520833", "automate 0 0.541667",
                                      "automate 0 0.5625"}));
    TickAfter(20);
    EXPECT_EQ(effect.events.back(), "end 0");
    EXPECT_EQ(editor->Hint()->target, nullptr);
}

TEST_F(WheelTest, PressOrAnotherFaderEndsTheBurstFirst) {
    Wheel(160, 100, 120);
    Press(160, 100);
    Release(160, 100);
    Wheel(160, 100, -120);
    Wheel(224, 100, -120); // band 2
    editor->close();
    EXPECT_EQ(effect.events,
              (Strings{"begin 0", "automate 0 0.520833", "end 0", "begin 0", "end 0", "begin 0",
                       "automate 0 0.5", "end 0", "begin 1", "automate 1 0.479167", "end 1"}));
}

TEST_F(WheelTest, LeftToTheHostWhereNoFaderIs) {
    const std::pair<std::int32_t, std::int32_t> elsewhere[] = {
        {843, 159}, {840, 70}, {50, 200}, {-20, 100}}; // IN button, lamp, faceplate, outside
    for (const auto& at : elsewhere) {
        EXPECT_FALSE(Wheel(at.first, at.second, 120)) << "at " << at.first << ", " << at.second;
    }
    EXPECT_EQ(editor->InButton().Value(), 1.0f);
    EXPECT_TRUE(effect.events.empty());
}

TEST_F(WheelTest, NothingMovesDuringADragOrAfterTheControlIsGone) {
    Press(160, 100);
    Wheel(224, 100, 120);
    Release(160, 100);
    EXPECT_EQ(editor->Fader(1).Value(), 0.5f);
    auto knob = std::make_unique<CKnob>(editor.get(), Controls::BandFader[9]);
    knob->x = 0;
    knob->y = 0;
    TickAfter(20); // takes its size from its image
    effect.events.clear();
    Wheel(10, 10, 120);
    knob.reset();
    EXPECT_EQ(editor->Wheeled(), nullptr);
    EXPECT_EQ(effect.events, (Strings{"begin 9", "automate 9 0.520833", "end 9"}));
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
