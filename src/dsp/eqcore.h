#pragma once

#include <cstdint>

#include "dsp/ballistics.h"
#include "dsp/filterdesign.h"
#include "dsp/kernel.h"

namespace VLM {

struct EqBand {
    BandSection section = {}; // both channels
    float sampleRate = 44100.0f;
    float centreFrequency = 0.0f;
    float gainPosition = 0.0f; // -1 full cut, 0 flat (the band is skipped), +1 full boost
    std::int32_t index = 0;
};

// The equaliser engine: smooths the ten fader values once per block, redesigns the bands that
// moved and filters two channels in place. It runs entirely on the audio thread.
struct EqCore {
    bool dirty = true;
    float sampleRate = 44100.0f;
    std::int32_t blockSize = 0;
    Ballistics smoothing;
    EqBand bands[kEqBandCount];
    OutputLowPass lowPass;
    CascadeState lowPassState[2];
    bool bypass = false;
    float values[kEqBandCount] = {};

    // [construction]
    void Init(float sampleRate);
    // [audio thread]
    void RedesignAll(float sampleRate);
    // [audio thread] One smoothing step towards the target, or straight to it in the first
    // block after Init; redesigns the band when its gain moved.
    void UpdateBand(std::int32_t band, float target);
    // [audio thread] Filters with the kernel chosen for this processor.
    void Filter(float** buffers, std::int32_t frameCount);
    // [audio thread] Filter with the given kernel; null filters with the scalar code.
    void FilterWith(KernelFunction kernel, float** buffers, std::int32_t frameCount);

    // [audio thread] The block's take-over of sample rate and block size, the IN state and one
    // smoothing step per band: everything a block does before it filters.
    void PrepareBlock(std::int32_t frameCount, float deviceSampleRate,
                      const float (&faderValues)[kEqBandCount], float inValue);
    // [audio thread] PrepareBlock, then Filter; null buffers or no frames do nothing at all.
    void ProcessBlock(float** buffers, std::int32_t frameCount, float deviceSampleRate,
                      const float (&faderValues)[kEqBandCount], float inValue);
};

constexpr float kMinSampleRate = 1000.0f;
constexpr float kMaxSampleRate = 1000000.0f;
// True for a sample rate the engine designs for; any other keeps the last valid one.
bool IsValidSampleRate(float sampleRate);

// The scalar kernels of Filter, one channel at a time (0 left, 1 right).
void RunBandSection(BandSection& section, int channel, float* samples, std::int32_t frameCount);
void RunOutputLowPass(const BiquadCascade& cascade, CascadeState& state, float* samples,
                      std::int32_t frameCount);
void FlushSubnormals(float* samples, std::int32_t frameCount);

} // namespace VLM
