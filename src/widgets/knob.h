// The continuous control: dragged vertically (finer with Shift), reset by a Control-click,
// typed into after a double click; builds the read-out text for the host and the hint.
#pragma once

#include "dsp/controldesc.h"
#include "platform/platform.h"
#include "widgets/meter.h"

namespace VLM {

class CKnob : public CMeter {
public:
    static constexpr float kDragStep = 0.01f;      // per pixel: the range in 100 pixels
    static constexpr float kFineDragStep = 0.002f; // with Shift: the range in 500 pixels
    // Units (dB on a fader) per wheel notch of 120, and with Shift; smaller distances, as fine
    // wheels and touchpads send, move in proportion.
    static constexpr float kWheelStep = 0.5f;
    static constexpr float kFineWheelStep = 0.1f;
    static constexpr std::int32_t kWheelNotch = 120;

    CKnob(CVSTGUI* owner, const ControlDesc& desc);
    ~CKnob() override;

    void OnMouseDown(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    void OnMouseUp(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    void OnMouseMove(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    void OnDoubleClick(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    bool FollowsWheel() const override;
    // Moves the value in units, clamped to the range; the editor brackets a burst of notches
    // with the host's edit gesture.
    void OnMouseWheel(std::int32_t distance, std::uint32_t flags) override;
    // Rebuilds the texts only after the value changed. [UI thread]
    const std::wstring& GetText(bool valueOnly) override;
    // [any thread]
    std::wstring ValueText() const override;
    // Clamps, stores a changed value and reports it to the host.
    void SetValue(float newValue) override;
    void SetUnitValue(float unitValue) override;

    float ToUnit(float normalised) const;
    // The read-out text of a normalised value.
    std::wstring TextOf(float normalised) const;
    float ToNormalised(float unitValue) const;

    Platform::Point savedCursor;
    bool cursorHidden = false;
    std::int32_t pressY = 0;
    float defaultValue;
    float pressValue = 0.0f;
    std::wstring format;
    std::wstring plusFormat;
    ValueMapFn valueMap;
    float textValue;
};

// The number printed with a printf-style wide format into at most five characters, with a
// full stop as the decimal separator whatever the locale.
std::wstring FormatReadout(const std::wstring& format, double value);
// The printf-style format of a read-out with `decimals` places ("%.1f").
std::wstring DecimalsFormat(float decimals);
// The read-out text of a unit value: a plus sign on the positive side of a signed range, the
// infinity sign for infinity.
std::wstring ReadoutText(float unitValue, bool signedRange, const std::wstring& format,
                         const std::wstring& plusFormat);
// The read-out text a knob built from `desc` shows at a normalised value, for code that has the
// descriptor but no knob (a plug-in format naming a value the host asks about).
std::wstring ReadoutText(const ControlDesc& desc, float normalised);

} // namespace VLM
