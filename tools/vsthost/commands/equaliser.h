// What the tool knows about the equaliser it was written for: the band faders, their range,
// and the layout of its state chunk. Every command takes these facts from here; a plug-in
// with a different layout is still driven through its parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace VLM::Equaliser {

constexpr int kBandCount = 10;
// The nominal centres of the band faders (parameters 0..9), in Hz.
constexpr double kBandCentres[kBandCount] = {31, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
// A band fader spans -kRangeDb..+kRangeDb over the normalised range 0..1.
constexpr double kRangeDb = 12.0;

// The state chunk is a run of records: a little-endian int32 control id, then the control's
// value as a little-endian float.
constexpr std::size_t kRecordSize = 8;
constexpr std::size_t kRecordValueOffset = 4;
// The control id of the IN switch, which only the state chunk carries.
constexpr std::int32_t kInSwitchId = 10;

// The normalised fader value for a gain in dB.
constexpr float BandValueFromDb(double db) {
    return static_cast<float>((db + kRangeDb) / (2.0 * kRangeDb));
}

// The gain in dB of a normalised fader value.
constexpr double BandDbFromValue(float value) {
    return static_cast<double>(value) * 2.0 * kRangeDb - kRangeDb;
}

// "31 Hz", "500 Hz", "1 kHz", "16 kHz".
inline std::string FrequencyName(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, hz >= 1000.0 ? "%g kHz" : "%g Hz",
                  hz >= 1000.0 ? hz / 1000.0 : hz);
    return text;
}

} // namespace VLM::Equaliser
