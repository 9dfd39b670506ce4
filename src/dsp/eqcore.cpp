#include "dsp/eqcore.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

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
    for (int channel = 0; channel < 2; ++channel) {
        section.b0[channel] = c.b0;
        section.b1[channel] = c.b1;
        section.b2[channel] = c.b2;
        section.a1[channel] = c.a1;
        section.a2[channel] = c.a2;
    }
}

bool Overlap(const float* left, const float* right, std::int32_t frameCount) {
    const auto a = reinterpret_cast<std::uintptr_t>(left);
    const auto b = reinterpret_cast<std::uintptr_t>(right);
    const std::uintptr_t bytes = static_cast<std::uintptr_t>(frameCount) * sizeof(float);
    return a < b + bytes && b < a + bytes;
}

void FilterScalar(EqCore& core, float* left, float* right, std::int32_t frameCount) {
    for (EqBand& band : core.bands) {
        if (band.gainPosition == 0.0f) {
            continue;
        }
        RunBandSection(band.section, 0, left, frameCount);
        RunBandSection(band.section, 1, right, frameCount);
    }
    float* channels[2] = {left, right};
    for (int c = 0; c < 2; ++c) {
        if (core.lowPass.cascade.numSections == 2) {
            RunOutputLowPass(core.lowPass.cascade, core.lowPassState[c], channels[c], frameCount);
        } else {
            // Without the low-pass the bands' output still leaves free of subnormals.
            FlushSubnormals(channels[c], frameCount);
        }
    }
}

// True when no band moves in this block: every target equals the band's value (a NaN target,
// which holds its band, takes the full path).
bool AtTargets(const float (&targets)[kEqBandCount], const float (&values)[kEqBandCount]) {
    bool same = true;
    for (int b = 0; b < kEqBandCount; ++b) {
        same &= targets[b] == values[b];
    }
    return same;
}

static_assert(kKernelMaxSections == kEqBandCount, "the kernel takes every band");

// The block's job for a kernel: the active bands' sections and the low-pass state are worked on
// where they are; only the low-pass coefficients are put into the kernel's order.
void PrepareJob(EqCore& core, KernelJob& job) {
    job.sectionCount = 0;
    for (EqBand& band : core.bands) {
        // A band at exactly 0 is left out: its input passes and its state stays frozen. Every
        // band is written to the next slot, which only an active one then takes.
        job.sections[job.sectionCount] = &band.section;
        job.sectionCount += band.gainPosition != 0.0f ? 1 : 0;
    }
    job.lowPass = core.lowPass.cascade.numSections == 2;
    for (int k = 0; k < 2; ++k) {
        const Biquad& q = core.lowPass.cascade.sections[k];
        job.lowPassSections[k] = KernelLowPassSection{q.b0, q.b1, q.b2, q.a1, q.a2};
    }
    job.lowPassState = core.lowPassState;
}

} // namespace

// Rates outside this span come from a confused host, not from audio hardware; designs at
// absurd rates (1e-30 Hz, 3e38 Hz) only produce filters that pass nothing or everything.
bool IsValidSampleRate(float sampleRate) {
    return sampleRate >= kMinSampleRate && sampleRate <= kMaxSampleRate;
}

void RunBandSection(BandSection& section, int channel, float* samples, std::int32_t frameCount) {
    const float b0 = section.b0[channel], b1 = section.b1[channel], b2 = section.b2[channel];
    const float a1 = section.a1[channel], a2 = section.a2[channel];
    float w1 = section.w1[channel], w2 = section.w2[channel];
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
    section.w1[channel] = SettleStateWord(w1);
    section.w2[channel] = SettleStateWord(w2);
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
    // The kernel's timed choice is made here, off the audio thread, at its first call.
    ChosenKernel();
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
        const BandCoefficients c =
            DesignBand(band.index, band.gainPosition, band.centreFrequency, band.sampleRate);
        SetCoefficients(band.section, c);
    }
    DesignOutputLowPass(lowPass, static_cast<double>(rate));
    if (lowPass.cascade.numSections == 0) {
        // A low-pass that is left out would keep its last state, and an old loud sample held
        // there would come back when a higher rate brings the low-pass back.
        for (CascadeState& state : lowPassState) {
            for (auto& section : state.d) {
                section[0] = 0.0;
                section[1] = 0.0;
            }
        }
    }
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
    if (dirty) {
        // Before the first block there is nothing to glide from: the faders' settings (the
        // defaults, or a state restored before it) hold from the first sample on.
        value = target;
    } else {
        smoothing.Follow(target, value);
    }
    const float g = value * 2.0f - 1.0f;
    EqBand& band = bands[b];
    if (g != band.gainPosition) {
        band.gainPosition = g;
        const BandCoefficients c = DesignBand(band.index, g, band.centreFrequency, band.sampleRate);
        SetCoefficients(band.section, c);
    }
}

void EqCore::Filter(float** buffers, std::int32_t frameCount) {
    FilterWith(ChosenKernel(), buffers, frameCount);
}

void EqCore::FilterWith(KernelFunction kernel, float** buffers, std::int32_t frameCount) {
    dirty = false;
    if (bypass) {
        return;
    }
    if (buffers == nullptr || buffers[0] == nullptr || buffers[1] == nullptr || frameCount <= 0) {
        return;
    }
    float* left = buffers[0];
    float* right = buffers[1];
    // The kernel runs both channels side by side; channels that share samples must see each
    // band's left pass before its right one, as the scalar code gives them.
    if (kernel == nullptr || Overlap(left, right, frameCount)) {
        FilterScalar(*this, left, right, frameCount);
        return;
    }
    KernelJob job;
    PrepareJob(*this, job);
    kernel(job, left, right, frameCount);
}

void EqCore::PrepareBlock(std::int32_t frameCount, float deviceSampleRate,
                          const float (&faderValues)[kEqBandCount], float inValue) {
    if (frameCount <= 0) {
        return;
    }
    // The common block: the rate and size of the last one, and every band already where its
    // fader is.
    if (!dirty && deviceSampleRate == sampleRate && frameCount == blockSize &&
        AtTargets(faderValues, values)) {
        bypass = inValue == 0.0f;
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
