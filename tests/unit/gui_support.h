// Shared pieces of the editor tests: an effect that records what the editor relays to it,
// and a fixture with a fresh fake platform and an equaliser editor.
#pragma once

#include "device/devicegui.h"
#include "host/audioeffectx.h"
#include "platform_fake/fakeplatform.h"
#include "widgets/edit.h"
#include "widgets/hint.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace VLM {
namespace Testing {

// "automate 3 0.625", "begin 3", "end 3".
class RecordingEffect : public AudioEffectX {
public:
    RecordingEffect() : AudioEffectX(nullptr, 2, 10) {}
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameterAutomated(VstInt32 index, float value) override {
        events.push_back("automate " + std::to_string(index) + " " + Number(value));
    }
    bool beginEdit(VstInt32 index) override {
        events.push_back("begin " + std::to_string(index));
        return true;
    }
    bool endEdit(VstInt32 index) override {
        events.push_back("end " + std::to_string(index));
        return true;
    }
    static std::string Number(float value) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
        return text;
    }
    std::vector<std::string> events;
};

// The host's window that the editor opens in.
inline Platform::WindowHandle HostWindow() {
    return reinterpret_cast<Platform::WindowHandle>(0x7000);
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fake::Reset();
        editor = std::make_unique<CDeviceGUI>(&effect);
    }
    void TearDown() override { editor.reset(); }

    // The drawing scale, set as a host asks for it, so that opening keeps it.
    void SetScale(float factor) { editor->RequestScale(factor); }

    // Opens the editor and forgets what opening did, so that a test sees only its own calls.
    void Open() {
        ASSERT_TRUE(editor->open(HostWindow()));
        Fake::Get().calls.clear();
        Fake::Get().gl.calls.clear();
        Fake::Get().gl.quads.clear();
        effect.events.clear();
    }
    void Press(std::int32_t x, std::int32_t y, std::uint32_t flags = 0) {
        Send(Platform::kMsgLButtonDown, x, y, flags);
    }
    void Release(std::int32_t x, std::int32_t y, std::uint32_t flags = 0) {
        Send(Platform::kMsgLButtonUp, x, y, flags);
    }
    void Move(std::int32_t x, std::int32_t y, std::uint32_t flags = 0) {
        Send(Platform::kMsgMouseMove, x, y, flags);
    }
    void DoubleClick(std::int32_t x, std::int32_t y, std::uint32_t flags = 0) {
        Send(Platform::kMsgLButtonDblClk, x, y, flags);
    }
    void Send(std::uint32_t message, std::int32_t x, std::int32_t y, std::uint32_t flags) {
        ASSERT_NE(editor->Window(), nullptr) << "the editor window is not open";
        Fake::SendWindowMessage(editor->Window(), message, flags, Fake::MouseLParam(x, y));
    }
    // The quad drawn for a control in the last redraw.
    const Fake::Quad* LastQuadOf(const CWidget& widget) const {
        const auto& quads = Fake::Get().gl.quads;
        for (auto it = quads.rbegin(); it != quads.rend(); ++it) {
            if (it->texture == widget.texture && it->x[0] == widget.x) {
                return &*it;
            }
        }
        return nullptr;
    }

    RecordingEffect effect; // outlives the editor, which refers to it
    std::unique_ptr<CDeviceGUI> editor;
};

} // namespace Testing
} // namespace VLM
