#pragma once

// The straightforward scalar form of the engine's filtering, kept apart from the engine so that
// any faster kernel can be held to the same bits.

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "dsp/eqcore.h"

namespace DspReference {

inline void ResetIfNonFinite(float& w1, float& w2) {
    if (!std::isfinite(w1) || !std::isfinite(w2)) {
        w1 = 0.0f;
        w2 = 0.0f;
    }
}

inline float FlushWord(float w) {
    return (w != 0.0f && std::fabs(w) < FLT_MIN) ? 0.0f : w;
}

inline void BandSection(VLM::BandSection& s, int c, float* x, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        const float w = x[i] - s.a1[c] * s.w1[c] - s.a2[c] * s.w2[c];
        const float y = s.b0[c] * w + s.b1[c] * s.w1[c] + s.b2[c] * s.w2[c];
        s.w2[c] = s.w1[c];
        s.w1[c] = w;
        x[i] = y;
    }
    ResetIfNonFinite(s.w1[c], s.w2[c]);
    s.w1[c] = FlushWord(s.w1[c]);
    s.w2[c] = FlushWord(s.w2[c]);
}

inline float ToFloatFlushed(double y) {
    const float f = static_cast<float>(y);
    return std::fabs(f) < FLT_MIN ? 0.0f : f;
}

inline void LowPass(const VLM::BiquadCascade& c, VLM::CascadeState& st, float* x, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        st.offset = -st.offset;
        double v = x[i];
        for (int k = 0; k < 2; ++k) {
            const VLM::Biquad& q = c.sections[k];
            double* d = st.d[k];
            double w = v - q.a1 * d[0] - q.a2 * d[1];
            if (k == 0) {
                w = w + st.offset;
            }
            v = q.b0 * w + q.b1 * d[0] + q.b2 * d[1];
            d[1] = d[0];
            d[0] = w;
        }
        x[i] = ToFloatFlushed(v);
    }
    bool finite = true;
    for (auto& section : st.d) {
        for (double word : section) {
            finite = finite && std::isfinite(word);
        }
    }
    if (!finite) {
        for (auto& section : st.d) {
            section[0] = section[1] = 0.0;
        }
    }
}

// What EqCore::Filter does, written plainly over the engine's public state.
inline void Filter(VLM::EqCore& core, float** buffers, std::int32_t n) {
    core.dirty = false;
    if (core.bypass) {
        return;
    }
    for (VLM::EqBand& band : core.bands) {
        if (band.gainPosition == 0.0f) {
            continue;
        }
        BandSection(band.section, 0, buffers[0], n);
        BandSection(band.section, 1, buffers[1], n);
    }
    for (int c = 0; c < 2; ++c) {
        if (core.lowPass.cascade.numSections == 2) {
            LowPass(core.lowPass.cascade, core.lowPassState[c], buffers[c], n);
        } else {
            for (std::int32_t i = 0; i < n; ++i) {
                buffers[c][i] = ToFloatFlushed(buffers[c][i]);
            }
        }
    }
}

} // namespace DspReference
