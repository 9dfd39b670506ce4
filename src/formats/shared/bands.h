// The facts every plug-in format shows its host about the equaliser's controls: ten bands in
// decibels on the VST2 parameter's law, with the same names and texts, and the IN switch as the
// format's bypass. One place, so that no format has a law or a text of its own.
#pragma once

#include <cstdint>
#include <string>

namespace VLM {
namespace Bands {

constexpr int kCount = 10;
// The IN switch's parameter index in the effect (beyond the ten announced to VST2 hosts).
constexpr std::int32_t kInSwitch = 10;
constexpr float kMinDb = -12.0f;
constexpr float kMaxDb = 12.0f;
constexpr float kDefaultDb = 0.0f;

inline bool IsBand(std::int32_t index) {
    return index >= 0 && index < kCount;
}

// The band's name as the VST2 parameter names it ("31 Hz" ... "16 kHz"), UTF-8.
std::string Name(int band);
// The unit shown beside a band's value: "dB".
std::string Unit(int band);

// The VST2 parameter's law between a normalised value (0..1) and decibels. Neither clamps;
// Clamp below does.
float ToDb(int band, float normalised);
float ToNormalised(int band, float db);
// The same law in double precision, for formats whose values are doubles: a normalised value
// taken to decibels and back comes home with the same bits.
double ToDbPrecise(int band, float normalised);
float ToNormalisedPrecise(int band, double db);

// A normalised value as a format hands it to the effect: NaN gives false (nothing to apply),
// anything else is clamped to 0..1.
bool Clamp(float& normalised);

// The text the editor's read-out and the VST2 display show for a normalised value ("+6.0").
std::string Text(int band, float normalised);
// The normalised value of a typed text in decibels, read as the editor's text entry reads it
// ("6", "+6.0 dB", " -3.5"); false when the text holds no number or a non-finite one.
bool FromText(int band, const std::string& text, float& normalised);

// The IN switch as a bypass: the switch's value is 1 when the equaliser is in.
inline float BypassOf(float inSwitch) {
    return inSwitch >= 0.5f ? 0.0f : 1.0f;
}
inline float InSwitchOf(float bypass) {
    return bypass >= 0.5f ? 0.0f : 1.0f;
}

} // namespace Bands
} // namespace VLM
