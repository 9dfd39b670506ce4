#pragma once

#include <cstdint>

namespace VLM {

// Converts between a normalised value (0..1) and a unit value; toNormalised selects the direction.
using ValueMapFn = float (*)(float value, float minValue, float maxValue, bool toNormalised);

// The constant record from which one control is built.
struct ControlDesc {
    std::int32_t id = -1;
    const wchar_t* image = L"";
    const wchar_t* label = L"";
    const wchar_t* unit = L"";
    float defaultValue = 0.0f;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    float decimals = 1.0f;
    ValueMapFn valueMap = nullptr;
    float riseTime = 0.0f;
    float fallTime = 0.0f;
    std::int32_t x = 0, y = 0, width = -1, height = -1;
};

namespace Controls {
constexpr int kBandCount = 10;
constexpr std::int32_t kInButtonId = 10;
constexpr std::int32_t kInLampId = 11;
extern const ControlDesc Faceplate;             // "ZEM"
extern const ControlDesc BandFader[kBandCount]; // ids 0..9, "FADER01[64x18]"...
extern const ControlDesc InButton;              // id 10, "Button[2]"
extern const ControlDesc InLamp;                // id 11, "Lamp[2]"
extern const ControlDesc QKnob;                 // "KNOB[61x8]", no control is built from it
} // namespace Controls

// Unit value of a normalised value: the descriptor's valueMap, else linear over min..max.
float ToUnitValue(const ControlDesc& desc, float normalised);
// Normalised value of a unit value, not clamped (the control clamps): valueMap, else linear.
float ToNormalisedValue(const ControlDesc& desc, float unitValue);

} // namespace VLM
