#include "gui/numbers.h"
#include "gui_support.h"

namespace VLM {
namespace {

using Testing::EditorTest;
using Strings = std::vector<std::string>;

TEST(ParseNumber, ReadsTheLeadingNumber) {
    EXPECT_EQ(ParseNumber(L"3"), 3.0);
    EXPECT_EQ(ParseNumber(L"  -20"), -20.0);
    EXPECT_EQ(ParseNumber(L"+2.5"), 2.5);
    EXPECT_EQ(ParseNumber(L"1k"), 1.0);
    EXPECT_EQ(ParseNumber(L"-.5x"), -0.5);
    EXPECT_EQ(ParseNumber(L"1e1"), 10.0);
    EXPECT_EQ(ParseNumber(L""), 0.0);
    EXPECT_EQ(ParseNumber(L"k3"), 0.0);
    EXPECT_EQ(ParseNumber(L"--3"), 0.0);
    EXPECT_EQ(ParseNumber(L"."), 0.0);
}

TEST(EditFilter, OnlyNumberCharactersReachTheBox) {
    for (wchar_t c : std::wstring(L"0123456789.-k\b\f")) {
        EXPECT_TRUE(CEdit::IsAllowedCharacter(static_cast<std::uintptr_t>(c))) << int(c);
    }
    for (wchar_t c : std::wstring(L"+aKx ,e\x1B\t")) {
        EXPECT_FALSE(CEdit::IsAllowedCharacter(static_cast<std::uintptr_t>(c))) << int(c);
    }
}

class TextEntryTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        editor->SetControlValue(3, 0.75f);
        Open();
    }
    // A double click on band 4 as the window system delivers it.
    void OpenEntryOnBand4() {
        Press(359, 100);
        Release(359, 100);
        DoubleClick(359, 100);
        Release(359, 100);
        effect.events.clear();
    }
    Platform::WindowHandle Box() const { return editor->Edit()->window; }
    const Fake::Window& BoxState() const { return Fake::Get().windows.at(Box()); }
};

TEST_F(TextEntryTest, DoubleClickOpensSelectedReadoutAboveTheFader) {
    OpenEntryOnBand4();
    ASSERT_NE(Box(), nullptr);
    EXPECT_TRUE(BoxState().visible);
    EXPECT_EQ(BoxState().x, 334);
    EXPECT_EQ(BoxState().y, 18);
    EXPECT_EQ(BoxState().width, 50);
    EXPECT_EQ(BoxState().height, 15);
    EXPECT_EQ(BoxState().text, L"+6.0");
    EXPECT_TRUE(BoxState().allSelected);
    EXPECT_EQ(Fake::Get().focus, Box());
    EXPECT_EQ(editor->Edit()->target, &editor->Fader(3));
}

TEST_F(TextEntryTest, EnterAppliesTheTypedNumberOnce) {
    OpenEntryOnBand4();
    Fake::TypeText(Box(), L"3");
    Fake::SendEditMessage(Box(), Platform::kMsgChar, 13);
    EXPECT_FLOAT_EQ(editor->GetControlValue(3), 0.625f);
    EXPECT_EQ(effect.events, (Strings{"automate 3 0.625"}));
    EXPECT_FALSE(BoxState().visible);
    EXPECT_EQ(editor->Edit()->target, nullptr);
}

TEST_F(TextEntryTest, CommittedTextsInDecibels) {
    const std::pair<const wchar_t*, float> cases[] = {
        {L"-20", 0.0f}, {L"", 0.5f}, {L"1k", 13.0f / 24.0f}, {L"12", 1.0f}};
    for (const auto& c : cases) {
        OpenEntryOnBand4();
        Fake::SendEditMessage(Box(), Platform::kMsgChar, 8); // clears the selected text
        Fake::TypeText(Box(), c.first);
        Fake::SendEditMessage(Box(), Platform::kMsgChar, 13);
        EXPECT_FLOAT_EQ(editor->GetControlValue(3), c.second)
            << "after typing " << testing::PrintToString(std::wstring(c.first));
    }
}

TEST_F(TextEntryTest, DisallowedCharactersLeaveTheBoxAlone) {
    OpenEntryOnBand4();
    Fake::SendEditMessage(Box(), Platform::kMsgChar, 8);
    Fake::TypeText(Box(), L"a+X\x1B"
                          L"5");
    EXPECT_EQ(BoxState().text, L"5");
    EXPECT_TRUE(BoxState().visible) << "Escape must not close the entry";
}

TEST_F(TextEntryTest, FocusLossApplies) {
    OpenEntryOnBand4();
    Fake::TypeText(Box(), L"-6");
    Platform::SetFocus(reinterpret_cast<Platform::WindowHandle>(0x9999));
    EXPECT_FLOAT_EQ(editor->GetControlValue(3), 0.25f);
    EXPECT_FALSE(BoxState().visible);
}

TEST_F(TextEntryTest, PressElsewhereClosesWithoutApplying) {
    OpenEntryOnBand4();
    Fake::TypeText(Box(), L"9");
    Press(100, 10); // the faceplate
    Release(100, 10);
    EXPECT_FALSE(BoxState().visible);
    EXPECT_EQ(editor->GetControlValue(3), 0.75f);
    EXPECT_TRUE(effect.events.empty()) << testing::PrintToString(effect.events);
}

TEST_F(TextEntryTest, ClosingTheEditorForgetsTheBox) {
    OpenEntryOnBand4();
    editor->close();
    EXPECT_EQ(Box(), nullptr);
    EXPECT_TRUE(Fake::LiveWindows(true).empty());
    Open();
    ASSERT_NE(Box(), nullptr) << "the next opening has no edit box";
    EXPECT_FALSE(BoxState().visible);
}

TEST_F(TextEntryTest, NoBoxMeansNoEntry) {
    editor->close();
    Fake::Get().failCreateEdit = true;
    Open();
    DoubleClick(359, 100);
    EXPECT_EQ(editor->Edit()->target, nullptr);
}

class ReadoutTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        Open();
    }
    CHint& hint() { return *editor->Hint(); }
};

TEST_F(ReadoutTest, FloatsCentredAboveTheDraggedFader) {
    editor->SetControlValue(3, 0.75f);
    Press(359, 100);
    Fake::TickTimers();
    EXPECT_EQ(Fake::Get().lastMeasured, L"250 Hz: +6.0dB");
    // 14 characters of 7 pixels by 16 in the fake's font.
    EXPECT_EQ(hint().width, 98);
    EXPECT_EQ(hint().height, 16);
    EXPECT_EQ(hint().x, 334 + 25 - 49);
    EXPECT_EQ(hint().y, 33 - 16);
    const Fake::Upload& upload = Fake::Get().gl.uploads.at(hint().texture);
    EXPECT_EQ(upload.width, 128);
    EXPECT_EQ(upload.height, 16);
    EXPECT_FLOAT_EQ(hint().uExtent, 98.0f / 128.0f);
    EXPECT_FLOAT_EQ(hint().vExtent, 1.0f);
    const Fake::Quad& last = Fake::Get().gl.quads.back();
    EXPECT_EQ(last.texture, hint().texture) << "the read-out must be drawn last";
    EXPECT_EQ(last.x[0], 310.0);
    EXPECT_EQ(last.y[2], 33.0);
    Release(359, 100);
    Fake::Get().gl.quads.clear();
    Fake::TickTimers();
    EXPECT_NE(Fake::Get().gl.quads.back().texture, hint().texture) << "shown after the release";
}

// At a drawing scale the font grows and the bitmap has window pixels, while the box keeps its
// place and size in the layout.
TEST_F(ReadoutTest, AtADrawingScaleTheTextIsFinerInTheSameBox) {
    SetScale(1.5f);
    editor->SetControlValue(3, 0.75f);
    Press(539, 150); // the window pixel over layout (359, 100)
    Fake::TickTimers();
    EXPECT_EQ(Fake::Get().lastMeasured, L"250 Hz: +6.0dB");
    EXPECT_EQ(Fake::Get().textScales, (std::vector<float>{1.5f, 1.5f}));
    EXPECT_EQ(hint().width, 98);
    EXPECT_EQ(hint().height, 16);
    EXPECT_EQ(hint().x, 334 + 25 - 49);
    EXPECT_EQ(hint().y, 33 - 16);
    const Fake::Upload& upload = Fake::Get().gl.uploads.at(hint().texture);
    EXPECT_EQ(upload.width, 256) << "147 pixels wide";
    EXPECT_EQ(upload.height, 32) << "24 pixels high";
    EXPECT_FLOAT_EQ(hint().uExtent, 147.0f / 256.0f);
    EXPECT_FLOAT_EQ(hint().vExtent, 24.0f / 32.0f);
    const Fake::Quad& last = Fake::Get().gl.quads.back();
    EXPECT_EQ(last.texture, hint().texture);
    EXPECT_EQ(last.x[0], 310.0);
    EXPECT_EQ(last.x[2], 408.0);
    EXPECT_EQ(last.y[2], 33.0);
    Release(539, 150);
}

TEST_F(ReadoutTest, RendersAgainOnlyWhenTheTextChanges) {
    Press(160, 100);
    Fake::TickTimers();
    const std::uint32_t first = hint().texture;
    Move(160, 100);
    Fake::TickTimers();
    EXPECT_EQ(Fake::CallCount("RenderText"), 1);
    Move(160, 90);
    Fake::TickTimers();
    EXPECT_EQ(Fake::CallCount("RenderText"), 2);
    EXPECT_EQ(Fake::Get().gl.liveTextures.count(first), 0u) << "the old read-out leaked";
    Release(160, 90);
    Press(420, 100); // band 5: its own label at once
    Fake::TickTimers();
    EXPECT_EQ(Fake::Get().lastMeasured, L"500 Hz: 0.0dB");
    Release(420, 100);
    editor->close();
    EXPECT_TRUE(Fake::Get().gl.liveTextures.empty());
}

TEST_F(ReadoutTest, StaysInsideTheEditor) {
    ControlDesc corner;
    corner.image = L"FADER01[64x18]";
    corner.label = L"Corner";
    corner.x = -10;
    corner.y = 5;
    corner.width = 20;
    corner.height = 20;
    corner.minValue = -1.0f;
    corner.maxValue = 1.0f;
    CKnob left(editor.get(), corner);
    hint().target = &left;
    Fake::TickTimers();
    EXPECT_EQ(hint().x, 0);
    EXPECT_EQ(hint().y, 0);
    corner.x = 890;
    corner.y = 300;
    CKnob right(editor.get(), corner);
    hint().target = &right;
    Fake::TickTimers();
    EXPECT_EQ(hint().x + hint().width, 900);
    EXPECT_EQ(hint().y + hint().height, 258);
    hint().target = nullptr;
    editor->close();
}

} // namespace
} // namespace VLM
