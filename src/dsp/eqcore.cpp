#include "dsp/eqcore.h"

#include <cfloat>
#include <cmath>

namespace VLM {
namespace {

constexpr float kDefaultSampleRate = 44100.0f;
constexpr float kSmoothingTimeMs = 100.0f;
constexpr float kSmoothingSettle = 0.99f;

// Subnormal state words would slow the next block down on some processors.
float SettleStateWord(float w) {
    if (w != 0.0f && std::fabs(w) < FLT_MIN) {
        return 0.0f;
    }
    return w;
}

// Subnormal output is flushed to +0.0 rather than a signed zero, so that digital silence is all
// zero bits for hosts that detect it that way.
float ToOutputSample(double y) {
    const float out = static_cast<float>(y);
    return std::fabs(out) < FLT_MIN ? 0.0f : out;
}

void SetCoefficients(BandSection& section, const BandCoefficients& c) {
    section.b0 = c.b0;
    section.b1 = c.b1;
    section.b2 = c.b2;
    section.a1 = c.a1;
    section.a2 = c.a2;
}

} // namespace

bool IsValidSampleRate(float sampleRate) {
    return sampleRate > 0.0f && std::isfinite(sampleRate);
}

void RunBandSection(BandSection& section, float* samples, std::int32_t frameCount) {
    const float b0 = section.b0, b1 = section.b1, b2 = section.b2;
    const float a1 = section.a1, a2 = section.a2;
    float w1 = section.w1, w2 = section.w2;
    for (std::int32_t i = 0; i < frameCount; ++i) {
        const float w = samples[i] - a1 * w1 - a2 * w2;
        const float y = b0 * w + b1 * w1 + b2 * w2;
        w2 = w1;
        w1 = w;
        samples[i] = y;
    }
    // A NaN or an infinity in the input would otherwise stay in the state for good.
    if (!std::isfinite(w1) || !std::isfinite(w2)) {
        w1 = 0.0f;
        w2 = 0.0f;
    }
    section.w1 = SettleStateWord(w1);
    section.w2 = SettleStateWord(w2);
}

void RunOutputLowPass(const BiquadCascade& cascade, CascadeState& state, float* samples,
                      std::int32_t frameCount) {
    const Biquad& s0 = cascade.sections[0];
    const Biquad& s1 = cascade.sections[1];
    double offset = state.offset;
    double d10 = state.d[0][0], d20 = state.d[0][1];
    double d11 = state.d[1][0], d21 = state.d[1][1];
    for (std::int32_t i = 0; i < frameCount; ++i) {
        offset = -offset;
        const double x = samples[i];
        double w = x - s0.a1 * d10 - s0.a2 * d20 + offset;
        double y = s0.b0 * w + s0.b1 * d10 + s0.b2 * d20;
        d20 = d10;
        d10 = w;
        w = y - s1.a1 * d11 - s1.a2 * d21;
        y = s1.b0 * w + s1.b1 * d11 + s1.b2 * d21;
        d21 = d11;
        d11 = w;
        samples[i] = ToOutputSample(y);
    }
    if (!std::isfinite(d10) || !std::isfinite(d20) || !std::isfinite(d11) || !std::isfinite(d21)) {
        d10 = d20 = d11 = d21 = 0.0;
    }
    state.offset = offset;
    state.d[0][0] = d10;
    state.d[0][1] = d20;
    state.d[1][0] = d11;
    state.d[1][1] = d21;
}

void FlushSubnormals(float* samples, std::int32_t frameCount) {
    for (std::int32_t i = 0; i < frameCount; ++i) {
        if (std::fabs(samples[i]) < FLT_MIN) {
            samples[i] = 0.0f;
        }
    }
}

void EqCore::Init(float rate) {
    dirty = true;
    blockSize = 0;
    // There is no earlier rate to keep at construction, so an unusable one starts at the default.
    sampleRate = IsValidSampleRate(rate) ? rate : kDefaultSampleRate;
    smoothing.Set(kSmoothingTimeMs, kSmoothingTimeMs, kDefaultSampleRate, kSmoothingSettle);
    for (EqBand& band : bands) {
        band = EqBand{};
        band.sampleRate = kDefaultSampleRate;
    }
    lowPass = OutputLowPass{};
    for (CascadeState& state : lowPassState) {
        state = CascadeState{};
    }
    bypass = false;
    for (float& value : values) {
        value = 0.0f;
    }
    RedesignAll(sampleRate);
}

void EqCore::RedesignAll(float rate) {
    if (!IsValidSampleRate(rate)) {
        rate = IsValidSampleRate(sampleRate) ? sampleRate : kDefaultSampleRate;
    }
    for (std::int32_t b = 0; b < kEqBandCount; ++b) {
        EqBand& band = bands[b];
        band.centreFrequency = kBandCentreFrequency[b];
        band.index = b;
        band.sampleRate = rate;
        band.gainRange = kBandGainRange;
        const BandCoefficients c =
            DesignBand(band.index, band.gainPosition, band.centreFrequency, band.sampleRate);
        SetCoefficients(band.left, c);
        SetCoefficients(band.right, c);
    }
    DesignOutputLowPass(lowPass, static_cast<double>(rate));
}

void EqCore::UpdateBand(std::int32_t b, float target) {
    if (b < 0 || b >= kEqBandCount) {
        return;
    }
    float& value = values[b];
    // A NaN target holds the band where it is; anything else is limited to the fader's range.
    if (std::isnan(target)) {
        target = value;
    } else if (target < 0.0f) {
        target = 0.0f;
    } else if (target > 1.0f) {
        target = 1.0f;
    }
    if (target == value && !dirty) {
        return;
    }
    smoothing.Follow(target, value);
    const float g = value * 2.0f - 1.0f;
    EqBand& band = bands[b];
    if (g != band.gainPosition) {
        band.gainPosition = g;
        const BandCoefficients c = DesignBand(band.index, g, band.centreFrequency, band.sampleRate);
        SetCoefficients(band.left, c);
        SetCoefficients(band.right, c);
    }
}

void EqCore::Filter(float** buffers, std::int32_t frameCount) {
    dirty = false;
    if (bypass) {
        return;
    }
    if (buffers == nullptr || buffers[0] == nullptr || buffers[1] == nullptr || frameCount <= 0) {
        return;
    }
    for (EqBand& band : bands) {
        if (band.gainPosition == 0.0f) {
            continue;
        }
        RunBandSection(band.left, buffers[0], frameCount);
        RunBandSection(band.right, buffers[1], frameCount);
    }
    for (int c = 0; c < 2; ++c) {
        if (lowPass.cascade.numSections == 2) {
            RunOutputLowPass(lowPass.cascade, lowPassState[c], buffers[c], frameCount);
        } else {
            // Without the low-pass the bands' output still leaves free of subnormals.
            FlushSubnormals(buffers[c], frameCount);
        }
    }
}

void EqCore::PrepareBlock(std::int32_t frameCount, float deviceSampleRate,
                          const float (&faderValues)[kEqBandCount], float inValue) {
    if (frameCount <= 0) {
        return;
    }
    // An unusable rate from the host keeps the last valid one rather than poisoning the designs.
    const float rate = IsValidSampleRate(deviceSampleRate) ? deviceSampleRate : sampleRate;
    if (rate != sampleRate || dirty) {
        sampleRate = rate;
        // Before the first block there is no block size yet, and the rate would be infinite.
        if (blockSize > 0) {
            smoothing.SetRate(sampleRate / static_cast<float>(blockSize));
        }
        RedesignAll(sampleRate);
    }
    if (blockSize != frameCount || dirty) {
        smoothing.SetRate(sampleRate / static_cast<float>(frameCount));
        blockSize = frameCount;
    }
    bypass = inValue == 0.0f;
    for (std::int32_t b = 0; b < kEqBandCount; ++b) {
        UpdateBand(b, faderValues[b]);
    }
}

void EqCore::ProcessBlock(float** buffers, std::int32_t frameCount, float deviceSampleRate,
                          const float (&faderValues)[kEqBandCount], float inValue) {
    if (buffers == nullptr || frameCount <= 0) {
        return;
    }
    PrepareBlock(frameCount, deviceSampleRate, faderValues, inValue);
    Filter(buffers, frameCount);
}

} // namespace VLM
