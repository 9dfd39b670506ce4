#include "gui_support.h"

namespace VLM {
namespace {

using Testing::EditorTest;

TEST_F(EditorTest, FifteenControlsInDrawingOrder) {
    const std::vector<CWidget*>& widgets = editor->Widgets();
    ASSERT_EQ(widgets.size(), 15u);
    EXPECT_EQ(widgets[0], editor->Faceplate());
    EXPECT_EQ(widgets[1], editor->Edit());
    for (int band = 0; band < Controls::kBandCount; ++band) {
        EXPECT_EQ(widgets[2 + band], &editor->Fader(band)) << "band " << band + 1;
        EXPECT_EQ(widgets[2 + band]->id, band);
    }
    EXPECT_EQ(widgets[12], &editor->InButton());
    EXPECT_EQ(widgets[13], &editor->InLamp());
    EXPECT_EQ(widgets[14], editor->Hint());
    const std::int32_t ids[] = {-1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1};
    for (std::size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(widgets[i]->id, ids[i]) << "entry " << i;
    }
}

TEST_F(EditorTest, OnlyFadersAndButtonAreHitTestable) {
    for (const CWidget* widget : editor->Widgets()) {
        const bool expected = widget->id >= 0 && widget->id <= 10;
        EXPECT_EQ(widget->hitTestable, expected) << "control with id " << widget->id;
    }
}

TEST_F(EditorTest, DefaultsAndGeometryAfterTheFirstDraw) {
    EXPECT_EQ(editor->GetControlValue(0), 0.5f);
    EXPECT_EQ(editor->GetControlValue(10), 1.0f);
    EXPECT_EQ(editor->GetControlValue(11), 0.0f);
    Open();
    const std::int32_t xs[] = {141, 205, 269, 334, 399, 463, 528, 592, 657, 721};
    for (int band = 0; band < Controls::kBandCount; ++band) {
        const CKnob& fader = editor->Fader(band);
        EXPECT_EQ(fader.x, xs[band]);
        EXPECT_EQ(fader.y, 33);
        EXPECT_EQ(fader.width, 50);
        EXPECT_EQ(fader.height, 235);
    }
    EXPECT_EQ(editor->InButton().width, 60);
    EXPECT_EQ(editor->InButton().height, 60);
    EXPECT_EQ(editor->InLamp().width, 50);
    EXPECT_EQ(editor->InLamp().height, 50);
    EXPECT_EQ(editor->Faceplate()->width, 900);
    EXPECT_EQ(editor->Faceplate()->height, 258);
}

TEST_F(EditorTest, RightEdgeOfBandOneIsInsideAndOnePixelMoreIsNot) {
    Open();
    Press(191, 100);
    EXPECT_EQ(editor->Captured(), &editor->Fader(0));
    Release(191, 100);
    Press(192, 100);
    EXPECT_EQ(editor->Captured(), nullptr);
    Release(192, 100);
    EXPECT_EQ(effect.events, (std::vector<std::string>{"begin 0", "end 0"}));
}

TEST_F(EditorTest, DestroyedOpenWithAHeldFaderGivesTheCursorBack) {
    Open();
    Press(160, 100);
    ASSERT_EQ(Fake::Get().cursorCounter, -1);
    editor.reset();
    EXPECT_EQ(Fake::Get().cursorCounter, 0);
    EXPECT_TRUE(Fake::LiveWindows(false).empty());
    EXPECT_TRUE(Fake::Get().gl.liveTextures.empty());
    EXPECT_TRUE(Fake::Get().liveContexts.empty());
    EXPECT_FALSE(Fake::Get().imageLibraryRunning);
    EXPECT_EQ(Fake::Get().capture, nullptr);
}

} // namespace
} // namespace VLM
