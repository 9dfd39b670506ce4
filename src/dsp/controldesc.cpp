#include "dsp/controldesc.h"

namespace VLM {
namespace Controls {
namespace {

// Every field is given, so the table is built by constant initialisation before any instance.
constexpr ControlDesc Describe(std::int32_t id, const wchar_t* image, const wchar_t* label,
                               const wchar_t* unit, float defaultValue, float minValue,
                               float maxValue, float riseTime, float fallTime, std::int32_t x,
                               std::int32_t y) {
    return ControlDesc{id,       image,    label, unit,    defaultValue,
                       minValue, maxValue, 1.0f,  nullptr, riseTime,
                       fallTime, x,        y,     -1,      -1};
}

constexpr ControlDesc Fader(std::int32_t id, const wchar_t* image, const wchar_t* label,
                            std::int32_t x) {
    return Describe(id, image, label, L"dB", 0.5f, -12.0f, 12.0f, 0.0f, 0.0f, x, 33);
}

} // namespace

constexpr ControlDesc Faceplate =
    Describe(-1, L"ZEM", L"", L"", 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0, 0);

// The faders are not evenly spaced: the artwork's slots step by 64 or 65 pixels.
constexpr ControlDesc BandFader[kBandCount] = {
    Fader(0, L"FADER01[64x18]", L"31 Hz", 141),  Fader(1, L"FADER02[64x18]", L"63 Hz", 205),
    Fader(2, L"FADER03[64x18]", L"125 Hz", 269), Fader(3, L"FADER04[64x18]", L"250 Hz", 334),
    Fader(4, L"FADER05[64x18]", L"500 Hz", 399), Fader(5, L"FADER06[64x18]", L"1 kHz", 463),
    Fader(6, L"FADER07[64x18]", L"2 kHz", 528),  Fader(7, L"FADER08[64x18]", L"4 kHz", 592),
    Fader(8, L"FADER09[64x18]", L"8 kHz", 657),  Fader(9, L"FADER10[64x18]", L"16 kHz", 721),
};

constexpr ControlDesc InButton =
    Describe(kInButtonId, L"Button[2]", L"On/Off", L"", 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 813, 129);

// The lamp lights at once and decays over a second when the equaliser is switched out.
constexpr ControlDesc InLamp =
    Describe(kInLampId, L"Lamp[2]", L"On/Off", L"", 0.0f, 0.0f, 0.0f, 0.0f, 1000.0f, 815, 50);

// Only the artwork of this knob ships; no control is built from it, so it carries no id or
// position: label "Q", range 0..1 and every other field at its default.
constexpr ControlDesc QKnob =
    Describe(-1, L"KNOB[61x8]", L"Q", L"", 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0, 0);

} // namespace Controls

float ToUnitValue(const ControlDesc& desc, float normalised) {
    if (desc.valueMap != nullptr) {
        return desc.valueMap(normalised, desc.minValue, desc.maxValue, false);
    }
    return desc.minValue + normalised * (desc.maxValue - desc.minValue);
}

float ToNormalisedValue(const ControlDesc& desc, float unitValue) {
    if (desc.valueMap != nullptr) {
        return desc.valueMap(unitValue, desc.minValue, desc.maxValue, true);
    }
    const float range = desc.maxValue - desc.minValue;
    // A control whose range is a single point (the button, the lamp) shows the same unit value
    // at every position; dividing by its zero range would hand the control a NaN or an infinity.
    if (range == 0.0f) {
        return 0.0f;
    }
    return (unitValue - desc.minValue) / range;
}

} // namespace VLM
