// A widget that shows a value: one frame of a filmstrip, or for a single-frame image a bar
// revealed from the bottom, moving toward the value through the display ballistics.
#pragma once

#include "dsp/ballistics.h"
#include "widgets/widget.h"

namespace VLM {

class CMeter : public CWidget {
public:
    // One smoothing step per redraw period: the float just below 50 steps per second.
    static constexpr float kRedrawRate = 49.999996f;
    static constexpr float kSettle = 0.99f;

    CMeter(CVSTGUI* owner, const ControlDesc& desc);

    // Also fixes the frame geometry from the filmstrip name at the first acquisition.
    bool AcquireTexture() override;
    // Shows the display value as it stands; only Advance moves it.
    void Draw() override;
    // One step of the display value toward the value.
    void Advance() override;
    // True when the display value falls on another filmstrip frame, or for a bar moved at all,
    // since the last Draw.
    bool Changed() override;
    // Stores the clamped value without telling the host. [any thread; the audio thread
    // writes the lamp]
    void SetValue(float newValue) override;

    std::int32_t frameCount = 1;
    std::int32_t columnCount = 1;
    Ballistics ballistics{};
    float displayValue = 0.0f;

private:
    // What a drawing of the display value shows: the filmstrip frame, or for a single image the
    // display value itself.
    float Shown() const;

    float shown = -1.0f; // Shown() at the last Draw; none before the first
};

// The lamp: a meter under a type of its own.
class CLED : public CMeter {
public:
    CLED(CVSTGUI* owner, const ControlDesc& desc);
};

} // namespace VLM
