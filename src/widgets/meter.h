// A widget that shows a value: one frame of a filmstrip, or for a single-frame image a bar
// revealed from the bottom, moving toward the value through the display ballistics.
#pragma once

#include "dsp/ballistics.h"
#include "widgets/widget.h"

namespace VLM {

class CMeter : public CWidget {
public:
    // One smoothing step per redraw: the float just below 50 steps per second.
    static constexpr float kRedrawRate = 49.999996f;
    static constexpr float kSettle = 0.99f;

    CMeter(CVSTGUI* owner, const ControlDesc& desc);

    // Also fixes the frame geometry from the filmstrip name at the first acquisition.
    bool AcquireTexture() override;
    void Draw() override;
    // Stores the clamped value without telling the host. [any thread; the audio thread
    // writes the lamp]
    void SetValue(float newValue) override;

    std::int32_t frameCount = 1;
    std::int32_t columnCount = 1;
    Ballistics ballistics{};
    float displayValue = 0.0f;
};

// The lamp: a meter under a type of its own.
class CLED : public CMeter {
public:
    CLED(CVSTGUI* owner, const ControlDesc& desc);
};

} // namespace VLM
