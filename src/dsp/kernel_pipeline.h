// The filtering pipeline shared by the per-instruction-set kernels; only their sources include
// it. Everything here has internal linkage, so each of them compiles its own copy for its own
// instruction set and no copy can stand in for another at link time. Nothing from the standard
// library with out-of-line code is used, for the same reason.
//
// The band sections and the two low-pass sections form one pipeline of stages. At step t, stage s
// works on sample t - 2s, taking the output that stage s - 1 produced at step t - 2, so every
// recurrence advances at every step and their latencies overlap. The skew is two steps because a
// vector's input comes from vectors that are themselves waiting for that input: the path from an
// input through a section's output to the next input is about twice as long as one section's
// own recurrence. Each stage keeps the exact operation order of the scalar filter, so the bits
// are the same.
//
// Lane layout of the band stages: a vector has Isa::kQuarters 128-bit quarters, each holding two
// slots as [left, right] pairs. With V vectors, slot s lives in vector (s % 2V) / 2, quarter
// s / 2V, pair s % 2. One shuffle per vector then hands every slot its predecessor's output:
// within a quarter from the vector before, and the first slot of a quarter of vector 0 from the
// last slot of the previous quarter of vector V - 1, or from the new sample.
#pragma once

#include <immintrin.h>

#include <cfloat>
#include <cstdint>

#include "dsp/kernel.h"

namespace VLM {
namespace {

template <class Isa, int kSlots> struct Layout {
    static constexpr int kSlotsPerVector = 2 * Isa::kQuarters;
    static constexpr int kVectors = (kSlots + kSlotsPerVector - 1) / kSlotsPerVector;
    static constexpr int Vector(int slot) { return (slot % (2 * kVectors)) / 2; }
    static constexpr int Quarter(int slot) { return slot / (2 * kVectors); }
    static constexpr int Pair(int slot) { return slot % 2; }
    // The slot whose channel value sits in a lane of a vector.
    static constexpr int Slot(int vector, int lane) {
        return 2 * vector + 2 * kVectors * (lane / 4) + (lane % 4) / 2;
    }
};

// Samples whose magnitude is below the smallest normal float become +0.0; NaN stays.
inline __m128 FlushSubnormals(__m128 v) {
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
    return _mm_andnot_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(FLT_MIN)), v);
}

// The output low-pass with one 128-bit vector per section, lanes [left, right].
class LowPass128 {
public:
    explicit LowPass128(const KernelJob& job) {
        for (int k = 0; k < 2; ++k) {
            const KernelLowPassSection& s = job.lowPassSections[k];
            b0[k] = _mm_set1_pd(s.b0);
            b1[k] = _mm_set1_pd(s.b1);
            b2[k] = _mm_set1_pd(s.b2);
            a1[k] = _mm_set1_pd(s.a1);
            a2[k] = _mm_set1_pd(s.a2);
            d1[k] = _mm_set_pd(job.lowPassState[1][k][0], job.lowPassState[0][k][0]);
            d2[k] = _mm_set_pd(job.lowPassState[1][k][1], job.lowPassState[0][k][1]);
        }
        offset = _mm_set_pd(job.offset[1], job.offset[0]);
        y0Last = _mm_setzero_pd();
        y0Before = _mm_setzero_pd();
    }

    void Store(KernelJob& job) const {
        for (int k = 0; k < 2; ++k) {
            _mm_storel_pd(&job.lowPassState[0][k][0], d1[k]);
            _mm_storeh_pd(&job.lowPassState[1][k][0], d1[k]);
            _mm_storel_pd(&job.lowPassState[0][k][1], d2[k]);
            _mm_storeh_pd(&job.lowPassState[1][k][1], d2[k]);
        }
        _mm_storel_pd(&job.offset[0], offset);
        _mm_storeh_pd(&job.offset[1], offset);
    }

    // Section 0 takes x; section 1 takes section 0's output of two steps before. Returns the
    // output of section 1.
    template <bool kMasked> __m128d Step(__m128d x, bool active0, bool active1) {
        const __m128d off = _mm_xor_pd(offset, _mm_set1_pd(-0.0));
        const __m128d w0 = _mm_add_pd(
            _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(a1[0], d1[0])), _mm_mul_pd(a2[0], d2[0])), off);
        const __m128d out0 = _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0[0], w0), _mm_mul_pd(b1[0], d1[0])),
                                        _mm_mul_pd(b2[0], d2[0]));
        const __m128d w1 =
            _mm_sub_pd(_mm_sub_pd(y0Before, _mm_mul_pd(a1[1], d1[1])), _mm_mul_pd(a2[1], d2[1]));
        const __m128d out1 = _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0[1], w1), _mm_mul_pd(b1[1], d1[1])),
                                        _mm_mul_pd(b2[1], d2[1]));
        if (!kMasked || active0) {
            offset = off;
            d2[0] = d1[0];
            d1[0] = w0;
        }
        if (!kMasked || active1) {
            d2[1] = d1[1];
            d1[1] = w1;
        }
        y0Before = y0Last;
        y0Last = out0;
        return out1;
    }

private:
    __m128d b0[2], b1[2], b2[2], a1[2], a2[2], d1[2], d2[2];
    __m128d offset;
    __m128d y0Last, y0Before; // section 0's output of the last step and of the one before
};

#if defined(__AVX__)
// The output low-pass with both sections in one 256-bit vector, lanes [left and right of
// section 0, left and right of section 1]. Section 1 adds -0.0 where section 0 adds the offset:
// that leaves every value, signed zeros included, as it is.
class LowPass256 {
public:
    explicit LowPass256(const KernelJob& job) {
        const KernelLowPassSection& s0 = job.lowPassSections[0];
        const KernelLowPassSection& s1 = job.lowPassSections[1];
        b0 = _mm256_set_pd(s1.b0, s1.b0, s0.b0, s0.b0);
        b1 = _mm256_set_pd(s1.b1, s1.b1, s0.b1, s0.b1);
        b2 = _mm256_set_pd(s1.b2, s1.b2, s0.b2, s0.b2);
        a1 = _mm256_set_pd(s1.a1, s1.a1, s0.a1, s0.a1);
        a2 = _mm256_set_pd(s1.a2, s1.a2, s0.a2, s0.a2);
        const auto& st = job.lowPassState;
        d1 = _mm256_set_pd(st[1][1][0], st[0][1][0], st[1][0][0], st[0][0][0]);
        d2 = _mm256_set_pd(st[1][1][1], st[0][1][1], st[1][0][1], st[0][0][1]);
        offset = _mm256_set_pd(-0.0, -0.0, job.offset[1], job.offset[0]);
        yLast = _mm256_setzero_pd();
        yBefore = _mm256_setzero_pd();
    }

    void Store(KernelJob& job) const {
        double words[4];
        _mm256_storeu_pd(words, d1);
        job.lowPassState[0][0][0] = words[0];
        job.lowPassState[1][0][0] = words[1];
        job.lowPassState[0][1][0] = words[2];
        job.lowPassState[1][1][0] = words[3];
        _mm256_storeu_pd(words, d2);
        job.lowPassState[0][0][1] = words[0];
        job.lowPassState[1][0][1] = words[1];
        job.lowPassState[0][1][1] = words[2];
        job.lowPassState[1][1][1] = words[3];
        _mm256_storeu_pd(words, offset);
        job.offset[0] = words[0];
        job.offset[1] = words[1];
    }

    template <bool kMasked> __m128d Step(__m128d x, bool active0, bool active1) {
        const __m256d flip = _mm256_set_pd(0.0, 0.0, -0.0, -0.0);
        const __m256d off = _mm256_xor_pd(offset, flip);
        const __m256d in = _mm256_permute2f128_pd(_mm256_castpd128_pd256(x), yBefore, 0x20);
        const __m256d w = _mm256_add_pd(
            _mm256_sub_pd(_mm256_sub_pd(in, _mm256_mul_pd(a1, d1)), _mm256_mul_pd(a2, d2)), off);
        const __m256d out = _mm256_add_pd(
            _mm256_add_pd(_mm256_mul_pd(b0, w), _mm256_mul_pd(b1, d1)), _mm256_mul_pd(b2, d2));
        if (!kMasked) {
            offset = off;
            d2 = d1;
            d1 = w;
        } else {
            const long long m0 = active0 ? -1 : 0;
            const long long m1 = active1 ? -1 : 0;
            const __m256d mask = _mm256_castsi256_pd(_mm256_set_epi64x(m1, m1, m0, m0));
            if (active0) {
                offset = off;
            }
            d2 = _mm256_blendv_pd(d2, d1, mask);
            d1 = _mm256_blendv_pd(d1, w, mask);
        }
        yBefore = yLast;
        yLast = out;
        return _mm256_extractf128_pd(out, 1);
    }

private:
    __m256d b0, b1, b2, a1, a2, d1, d2;
    __m256d offset;
    __m256d yLast, yBefore; // both sections' output of the last step and of the one before
};
#endif

// Stands in for the low-pass when it is left out.
struct NoLowPass {
    explicit NoLowPass(const KernelJob&) {}
    void Store(KernelJob&) const {}
};

template <class Isa, bool kLowPass> struct LowPassOf { using Type = typename Isa::LowPass; };
template <class Isa> struct LowPassOf<Isa, false> { using Type = NoLowPass; };

template <class Isa, int kSlots, bool kLowPass> class Pipeline {
    using F = typename Isa::F;
    using M = typename Isa::M;
    using Index = typename Isa::Index;
    using L = Layout<Isa, kSlots>;
    static constexpr int kVectors = L::kVectors;
    static constexpr int kArray = kVectors > 0 ? kVectors : 1;

public:
    static constexpr int kStages = kSlots + (kLowPass ? 2 : 0);

    explicit Pipeline(const KernelJob& job) : lowPass(job) {
        for (int v = 0; v < kVectors; ++v) {
            b0[v] = Gather(job, &KernelSection::b0, v);
            b1[v] = Gather(job, &KernelSection::b1, v);
            b2[v] = Gather(job, &KernelSection::b2, v);
            a1[v] = Gather(job, &KernelSection::a1, v);
            a2[v] = Gather(job, &KernelSection::a2, v);
            w1[v] = Gather(job, &KernelSection::w1, v);
            w2[v] = Gather(job, &KernelSection::w2, v);
            yLast[v] = Isa::Zero();
            yBefore[v] = Isa::Zero();
            std::int32_t slots[Isa::kLanes];
            for (int lane = 0; lane < Isa::kLanes; ++lane) {
                slots[lane] = L::Slot(v, lane);
            }
            slotOfLane[v] = Isa::LoadIndex(slots);
        }
    }

    void Store(KernelJob& job) const {
        for (int v = 0; v < kVectors; ++v) {
            Scatter(job, &KernelSection::w1, v, w1[v]);
            Scatter(job, &KernelSection::w2, v, w2[v]);
        }
        lowPass.Store(job);
    }

    // One step. in holds the new sample's left and right in lanes 2 and 3; the result holds the
    // last stage's output in lanes 0 and 1. A masked step moves only the state of the stages
    // from lo to hi, the others having no sample to work on at this step.
    template <bool kMasked> __m128 Step(__m128 in, int lo, int hi) {
        [[maybe_unused]] __m128d lowPassIn;
        if constexpr (kLowPass) {
            if constexpr (kSlots == 0) {
                lowPassIn = _mm_cvtps_pd(_mm_movehl_ps(in, in));
            } else {
                lowPassIn = _mm_cvtps_pd(LastPair(yBefore));
            }
        }
        if constexpr (kVectors > 0) {
            F x[kArray];
            x[0] = Isa::Shuffle(Isa::ShiftIn(yBefore[kVectors - 1], in), yBefore[0]);
            for (int v = 1; v < kVectors; ++v) {
                x[v] = Isa::Shuffle(yBefore[v - 1], yBefore[v]);
            }
            for (int v = 0; v < kVectors; ++v) {
                const F w =
                    Isa::Sub(Isa::Sub(x[v], Isa::Mul(a1[v], w1[v])), Isa::Mul(a2[v], w2[v]));
                yBefore[v] = yLast[v];
                yLast[v] = Isa::Add(Isa::Add(Isa::Mul(b0[v], w), Isa::Mul(b1[v], w1[v])),
                                    Isa::Mul(b2[v], w2[v]));
                if constexpr (kMasked) {
                    const M active = Isa::Active(slotOfLane[v], lo, hi);
                    w2[v] = Isa::Select(active, w1[v], w2[v]);
                    w1[v] = Isa::Select(active, w, w1[v]);
                } else {
                    w2[v] = w1[v];
                    w1[v] = w;
                }
            }
        }
        if constexpr (kLowPass) {
            const bool active0 = lo <= kSlots && kSlots <= hi;
            const bool active1 = lo <= kSlots + 1 && kSlots + 1 <= hi;
            return _mm_cvtpd_ps(lowPass.template Step<kMasked>(lowPassIn, active0, active1));
        } else {
            return LastPair(yLast);
        }
    }

private:
    static F Gather(const KernelJob& job, float (KernelSection::*field)[2], int v) {
        float lanes[Isa::kLanes];
        for (int lane = 0; lane < Isa::kLanes; ++lane) {
            const int slot = L::Slot(v, lane);
            lanes[lane] = slot < kSlots ? (job.sections[slot].*field)[lane % 2] : 0.0f;
        }
        return Isa::Load(lanes);
    }

    static void Scatter(KernelJob& job, float (KernelSection::*field)[2], int v, F value) {
        float lanes[Isa::kLanes];
        Isa::Store(lanes, value);
        for (int lane = 0; lane < Isa::kLanes; ++lane) {
            const int slot = L::Slot(v, lane);
            if (slot < kSlots) {
                (job.sections[slot].*field)[lane % 2] = lanes[lane];
            }
        }
    }

    // The last band slot's output in lanes 0 and 1.
    static __m128 LastPair(const F (&y)[kArray]) {
        constexpr int kLast = kSlots - 1;
        const __m128 quarter = Isa::template Quarter<L::Quarter(kLast)>(y[L::Vector(kLast)]);
        if constexpr (L::Pair(kLast) == 0) {
            return quarter;
        } else {
            return _mm_movehl_ps(quarter, quarter);
        }
    }

    F b0[kArray], b1[kArray], b2[kArray], a1[kArray], a2[kArray];
    F w1[kArray], w2[kArray];
    F yLast[kArray], yBefore[kArray]; // every slot's output of the last step and the one before
    Index slotOfLane[kArray];
    typename LowPassOf<Isa, kLowPass>::Type lowPass;
};

template <class Isa, int kSlots, bool kLowPass>
void RunPipeline(KernelJob& job, float* left, float* right, std::int64_t frames) {
    using P = Pipeline<Isa, kSlots, kLowPass>;
    constexpr int kLastStage = P::kStages - 1;
    // The last stage's output at step t is sample t - kDelay.
    constexpr int kDelay = 2 * kLastStage;
    P pipe(job);
    const std::int64_t steps = frames + kDelay;

    // Steps where some stage has no sample yet or any more: the first and last kDelay steps.
    // Stage s has one when 0 <= t - 2s < frames.
    const auto maskedStep = [&](std::int64_t t) {
        const std::int64_t pastEnd = t - frames + 1;
        const int lo = pastEnd > 0 ? static_cast<int>((pastEnd + 1) / 2) : 0;
        const int hi = t / 2 < kLastStage ? static_cast<int>(t / 2) : kLastStage;
        __m128 in = _mm_setzero_ps();
        if (t < frames) {
            const __m128 pair = _mm_unpacklo_ps(_mm_load_ss(left + t), _mm_load_ss(right + t));
            in = _mm_movelh_ps(pair, pair);
        }
        const __m128 out = FlushSubnormals(pipe.template Step<true>(in, lo, hi));
        const std::int64_t k = t - kDelay;
        if (k >= 0 && k < frames) {
            _mm_store_ss(left + k, out);
            _mm_store_ss(right + k, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
        }
    };

    std::int64_t t = 0;
    for (; t < kDelay && t < steps; ++t) {
        maskedStep(t);
    }
    // Every stage busy: four steps at a time, reading four samples ahead of the kDelay-old
    // samples they write, so working in place is safe.
    for (; t + 3 < frames; t += 4) {
        const __m128 l = _mm_loadu_ps(left + t);
        const __m128 r = _mm_loadu_ps(right + t);
        const __m128 lr01 = _mm_unpacklo_ps(l, r);
        const __m128 lr23 = _mm_unpackhi_ps(l, r);
        const __m128 o0 = pipe.template Step<false>(_mm_movelh_ps(lr01, lr01), 0, 0);
        const __m128 o1 = pipe.template Step<false>(lr01, 0, 0);
        const __m128 o2 = pipe.template Step<false>(_mm_movelh_ps(lr23, lr23), 0, 0);
        const __m128 o3 = pipe.template Step<false>(lr23, 0, 0);
        const __m128 a = _mm_movelh_ps(o0, o1);
        const __m128 b = _mm_movelh_ps(o2, o3);
        _mm_storeu_ps(left + t - kDelay,
                      FlushSubnormals(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
        _mm_storeu_ps(right + t - kDelay,
                      FlushSubnormals(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
    }
    for (; t < steps; ++t) {
        maskedStep(t);
    }
    pipe.Store(job);
}

inline void FlushChannel(float* samples, std::int64_t frames) {
    std::int64_t i = 0;
    for (; i + 3 < frames; i += 4) {
        _mm_storeu_ps(samples + i, FlushSubnormals(_mm_loadu_ps(samples + i)));
    }
    for (; i < frames; ++i) {
        _mm_store_ss(samples + i, FlushSubnormals(_mm_load_ss(samples + i)));
    }
}

template <class Isa, bool kLowPass, int kSlots = 0>
void RunWithSlots(int slots, KernelJob& job, float* left, float* right, std::int64_t frames) {
    if constexpr (kSlots < kKernelMaxSections) {
        if (slots != kSlots) {
            RunWithSlots<Isa, kLowPass, kSlots + 1>(slots, job, left, right, frames);
            return;
        }
    }
    if constexpr (kSlots == 0 && !kLowPass) {
        FlushChannel(left, frames);
        FlushChannel(right, frames);
    } else {
        RunPipeline<Isa, kSlots, kLowPass>(job, left, right, frames);
    }
}

template <class Isa>
void RunKernel(KernelJob& job, float* left, float* right, std::int64_t frames) {
    if (frames <= 0 || left == nullptr || right == nullptr) {
        return;
    }
    int slots = job.sectionCount;
    slots = slots < 0 ? 0 : (slots > kKernelMaxSections ? kKernelMaxSections : slots);
    if (job.lowPass) {
        RunWithSlots<Isa, true>(slots, job, left, right, frames);
    } else {
        RunWithSlots<Isa, false>(slots, job, left, right, frames);
    }
}

} // namespace
} // namespace VLM
