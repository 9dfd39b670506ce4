// The filtering pipeline shared by the per-instruction-set kernels; only their sources include
// it. Everything here has internal linkage, so each of them compiles its own copy for its own
// instruction set and no copy can stand in for another at link time. Nothing from the standard
// library with out-of-line code is used, for the same reason.
//
// The band sections and the low-pass sections form one pipeline of stages: at step t, a stage
// with offset o works on sample t - o, on the output its predecessor produced one step before, or
// a few steps before where the path between them is long. Every recurrence thus advances at every
// step and their latencies overlap, where the scalar filter runs one recurrence after another.
// Each stage keeps the exact operation order of the scalar filter, so the bits are the same. A
// block starts with the stages filling one after another and ends with them draining; there a
// band vector works only while one of its stages has a sample, and each stage takes its state
// from its band section as it starts and puts it back as it stops, so that the state moves only
// on the stage's own samples.
//
// Band lane layout: with V vectors, slot s (the s-th active band) lives in vector s % V as pair
// s / V, a pair being the [left, right] lanes of one slot. Each vector's input is then the output
// of the vector before, unchanged, and vector 0 takes the last vector's output moved up by one
// pair, with the new sample in pair 0. The path from a vector's input through a section to the
// next vector's input is about half again as long as one section's own recurrence, so around the
// ring of vectors the move to vector 0 is given Isa::kWrapSkew steps where the instruction set is
// fast enough for that path to matter.
//
// Those skews, and the low-pass's lag behind the last band, keep the steps of a long block short,
// but each of them adds a step of filling and draining to every block. A block no longer than
// that pipeline's delay, whose cost is mostly those steps, takes a tight pipeline instead: one
// step for every move, and one from the last band to the low-pass.
#pragma once

#include <immintrin.h>

#include <cfloat>
#include <cstdint>

#include "dsp/kernel.h"

// The steps must be inlined into the loops, where their state stays in registers; the compiler
// would otherwise give up inlining them once a kernel grows past its size limits.
#define VLM_KERNEL_STEP __attribute__((always_inline)) static

namespace VLM {
namespace {

template <class Isa, int kSlots, int kWrapSkew> struct Layout {
    static constexpr int kPairsPerVector = 2 * Isa::kQuarters;
    static constexpr int kVectors = (kSlots + kPairsPerVector - 1) / kPairsPerVector;
    static constexpr int Vector(int slot) { return slot % kVectors; }
    static constexpr int Pair(int slot) { return slot / kVectors; }
    // The slot whose channel value sits in a lane of a vector.
    static constexpr int Slot(int vector, int lane) { return vector + (lane / 2) * kVectors; }
    // The sample a slot works on lags the new one by this many steps. Without vectors there is
    // no slot, and the pipeline's constants only name the offset in a branch they never take.
    static constexpr int Offset(int slot) {
        if constexpr (kVectors == 0) {
            return slot;
        } else {
            return slot + (kWrapSkew - 1) * (slot / kVectors);
        }
    }
};

// Samples whose magnitude is below the smallest normal float become +0.0; NaN stays.
inline __m128 FlushSubnormals(__m128 v) {
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
    return _mm_andnot_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(FLT_MIN)), v);
}

// One band section's state words at the end of its samples, as the engine's scalar filter
// settles them: a channel with a non-finite word restarts from zeros, and a subnormal word
// becomes +0.0. The lanes hold [w1 left, w1 right, w2 left, w2 right].
inline __m128 SettleSectionWords(__m128 words) {
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), words);
    // False for NaN as well as for the infinities; a channel needs both its words finite.
    const __m128 finite = _mm_cmple_ps(magnitude, _mm_set1_ps(FLT_MAX));
    const __m128 channel =
        _mm_and_ps(finite, _mm_shuffle_ps(finite, finite, _MM_SHUFFLE(1, 0, 3, 2)));
    const __m128 subnormal = _mm_and_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(FLT_MIN)),
                                        _mm_cmpneq_ps(words, _mm_setzero_ps()));
    return _mm_andnot_ps(subnormal, _mm_and_ps(channel, words));
}

// The two floats of a left and right pair as the bits of one double, for loading them as one.
inline double PairBits(const float (&pair)[2]) {
    double both;
    __builtin_memcpy(&both, pair, sizeof both);
    return both;
}

// A pair's two floats loaded as one, into both pairs of a 128-bit vector.
inline __m128 BroadcastPair128(const float (&pair)[2]) {
    return _mm_castpd_ps(_mm_set1_pd(PairBits(pair)));
}

// Pair kPair (0 or 1) of a 128-bit vector from yes, the other pair from no.
template <int kPair> inline __m128 BlendPair128(__m128 yes, __m128 no) {
    if constexpr (kPair == 0) {
        return _mm_castpd_ps(_mm_move_sd(_mm_castps_pd(no), _mm_castps_pd(yes)));
    } else {
        return _mm_shuffle_ps(no, yes, _MM_SHUFFLE(3, 2, 1, 0));
    }
}

// All ones in the lanes that hold neither a NaN nor an infinity.
inline __m128d FiniteLanes(__m128d v) {
    return _mm_cmple_pd(_mm_andnot_pd(_mm_set1_pd(-0.0), v), _mm_set1_pd(DBL_MAX));
}
#if defined(__AVX__)
inline __m256d FiniteLanes(__m256d v) {
    return _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), v), _mm256_set1_pd(DBL_MAX),
                         _CMP_LE_OQ);
}
#endif

// Hides where a pointer points from the optimiser, so that what is read through it is read again
// after each call. The coefficients are thus read from memory at every step: there are not
// registers enough for them besides the state words and the values passed between stages, and a
// coefficient read again costs less than a state word spilled and reloaded within a recurrence.
template <class T> inline const T* Launder(const T* p) {
    asm("" : "+r"(p));
    return p;
}

// The output low-pass with one 128-bit vector per section, lanes [left, right].
struct LowPass128 {
    // Section 1 works on the sample of section 0, in the same step.
    static constexpr int kSection1Lag = 0;

    // The last band's output pair, as doubles, from lanes 0 and 1 of a quarter or (kHigh) from
    // lanes 2 and 3.
    using Input = __m128d;
    template <bool kHigh> static Input FromPair(__m128 quarter) {
        return _mm_cvtps_pd(kHigh ? _mm_movehl_ps(quarter, quarter) : quarter);
    }
    // The output pair, in lanes 0 and 1.
    static constexpr bool kOutputHigh = false;

    struct Coefficients {
        __m128d b0[2], b1[2], b2[2], a1[2], a2[2];
        __m128d offset[2]; // in a run of steps without masks: the offset of even and odd steps
    };
    struct State {
        __m128d d1[2], d2[2];
        __m128d offset;
    };

    static void Init(const KernelJob& job, Coefficients& c, State& s) {
        const CascadeState* st = job.lowPassState;
        for (int k = 0; k < 2; ++k) {
            const KernelLowPassSection& q = job.lowPassSections[k];
            c.b0[k] = _mm_set1_pd(q.b0);
            c.b1[k] = _mm_set1_pd(q.b1);
            c.b2[k] = _mm_set1_pd(q.b2);
            c.a1[k] = _mm_set1_pd(q.a1);
            c.a2[k] = _mm_set1_pd(q.a2);
            s.d1[k] = _mm_set_pd(st[1].d[k][0], st[0].d[k][0]);
            s.d2[k] = _mm_set_pd(st[1].d[k][1], st[0].d[k][1]);
        }
        s.offset = _mm_set_pd(st[1].offset, st[0].offset);
    }

    static void Store(const State& s, KernelJob& job) {
        CascadeState* st = job.lowPassState;
        // Lanes [left, right]: whether all four words of the channel are finite.
        const __m128d finite = _mm_and_pd(_mm_and_pd(FiniteLanes(s.d1[0]), FiniteLanes(s.d2[0])),
                                          _mm_and_pd(FiniteLanes(s.d1[1]), FiniteLanes(s.d2[1])));
        for (int k = 0; k < 2; ++k) {
            const __m128d d1 = _mm_and_pd(finite, s.d1[k]);
            const __m128d d2 = _mm_and_pd(finite, s.d2[k]);
            _mm_storel_pd(&st[0].d[k][0], d1);
            _mm_storeh_pd(&st[1].d[k][0], d1);
            _mm_storel_pd(&st[0].d[k][1], d2);
            _mm_storeh_pd(&st[1].d[k][1], d2);
        }
        _mm_storel_pd(&st[0].offset, s.offset);
        _mm_storeh_pd(&st[1].offset, s.offset);
    }

    // An even number of steps without masks leaves the offset as it was.
    static void PrepareUnmasked(Coefficients& c, const State& s) {
        c.offset[0] = _mm_xor_pd(s.offset, _mm_set1_pd(-0.0));
        c.offset[1] = s.offset;
    }

    // kHigh only matters to the 256-bit form: FromPair has put the pair in place here.
    template <bool kMasked, bool kHigh>
    VLM_KERNEL_STEP __m128 Step(const Coefficients& c, State& s, Input x, int parity, bool active0,
                                bool active1) {
        if (kMasked && !active0 && !active1) {
            return _mm_setzero_ps();
        }
        const __m128d off = kMasked ? _mm_xor_pd(s.offset, _mm_set1_pd(-0.0)) : c.offset[parity];
        const __m128d w0 = _mm_add_pd(
            _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(c.a1[0], s.d1[0])), _mm_mul_pd(c.a2[0], s.d2[0])),
            off);
        const __m128d out0 =
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(c.b0[0], w0), _mm_mul_pd(c.b1[0], s.d1[0])),
                       _mm_mul_pd(c.b2[0], s.d2[0]));
        const __m128d w1 = _mm_sub_pd(_mm_sub_pd(out0, _mm_mul_pd(c.a1[1], s.d1[1])),
                                      _mm_mul_pd(c.a2[1], s.d2[1]));
        const __m128d out1 =
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(c.b0[1], w1), _mm_mul_pd(c.b1[1], s.d1[1])),
                       _mm_mul_pd(c.b2[1], s.d2[1]));
        if (!kMasked || active0) {
            if (kMasked) {
                s.offset = off;
            }
            s.d2[0] = s.d1[0];
            s.d1[0] = w0;
            s.d2[1] = s.d1[1];
            s.d1[1] = w1;
        }
        return _mm_cvtpd_ps(out1);
    }
};

#if defined(__AVX__)
// The output low-pass with both sections in one 256-bit vector, lanes [left and right of
// section 0, left and right of section 1]. Section 1 adds -0.0 where section 0 adds the offset,
// which leaves every value, signed zeros included, as it is.
struct LowPass256 {
    // Section 1 takes section 0's output of two steps before: within one vector, a lag of one
    // step would chain every step's work to the last one's.
    static constexpr int kSection1Lag = 2;

    // The last band's output pair, as doubles, in the low half or (kHigh) in the high half: a
    // quarter holding it in lanes 2 and 3 is converted whole rather than moved down first.
    using Input = __m256d;
    template <bool kHigh> static Input FromPair(__m128 quarter) {
        return kHigh ? _mm256_cvtps_pd(quarter) : _mm256_castpd128_pd256(_mm_cvtps_pd(quarter));
    }
    // The output pair in lanes 2 and 3: both sections are converted whole rather than the
    // second one taken out first.
    static constexpr bool kOutputHigh = true;

    struct Coefficients {
        __m256d b0, b1, b2, a1, a2;
        __m256d offset[2]; // in a run of steps without masks: the offset of even and odd steps
    };
    struct State {
        __m256d d1, d2;
        __m256d offset;
        __m256d yLast, yBefore; // both sections' output of the last step and of the one before
    };

    static __m256d Flip() { return _mm256_set_pd(0.0, 0.0, -0.0, -0.0); }

    static __m256d SectionMask(bool active0, bool active1) {
        static constexpr std::int64_t kLanes[4][4] = {
            {0, 0, 0, 0}, {-1, -1, 0, 0}, {0, 0, -1, -1}, {-1, -1, -1, -1}};
        const auto* lanes = reinterpret_cast<const __m256i*>(kLanes[active0 + 2 * active1]);
        return _mm256_castsi256_pd(_mm256_loadu_si256(lanes));
    }

    static void Init(const KernelJob& job, Coefficients& c, State& s) {
        const KernelLowPassSection& s0 = job.lowPassSections[0];
        const KernelLowPassSection& s1 = job.lowPassSections[1];
        c.b0 = _mm256_set_pd(s1.b0, s1.b0, s0.b0, s0.b0);
        c.b1 = _mm256_set_pd(s1.b1, s1.b1, s0.b1, s0.b1);
        c.b2 = _mm256_set_pd(s1.b2, s1.b2, s0.b2, s0.b2);
        c.a1 = _mm256_set_pd(s1.a1, s1.a1, s0.a1, s0.a1);
        c.a2 = _mm256_set_pd(s1.a2, s1.a2, s0.a2, s0.a2);
        const CascadeState* st = job.lowPassState;
        s.d1 = _mm256_set_pd(st[1].d[1][0], st[0].d[1][0], st[1].d[0][0], st[0].d[0][0]);
        s.d2 = _mm256_set_pd(st[1].d[1][1], st[0].d[1][1], st[1].d[0][1], st[0].d[0][1]);
        s.offset = _mm256_set_pd(-0.0, -0.0, st[1].offset, st[0].offset);
        s.yLast = _mm256_setzero_pd();
        s.yBefore = _mm256_setzero_pd();
    }

    static void Store(const State& s, KernelJob& job) {
        CascadeState* st = job.lowPassState;
        // Lanes [left, right] of each section, then both sections of each channel together.
        const __m256d finite = _mm256_and_pd(FiniteLanes(s.d1), FiniteLanes(s.d2));
        const __m256d channel = _mm256_and_pd(finite, _mm256_permute2f128_pd(finite, finite, 1));
        const __m256d d1 = _mm256_and_pd(channel, s.d1);
        const __m256d d2 = _mm256_and_pd(channel, s.d2);
        for (int k = 0; k < 2; ++k) {
            const __m128d d1k = k == 0 ? _mm256_castpd256_pd128(d1) : _mm256_extractf128_pd(d1, 1);
            const __m128d d2k = k == 0 ? _mm256_castpd256_pd128(d2) : _mm256_extractf128_pd(d2, 1);
            _mm_storel_pd(&st[0].d[k][0], d1k);
            _mm_storeh_pd(&st[1].d[k][0], d1k);
            _mm_storel_pd(&st[0].d[k][1], d2k);
            _mm_storeh_pd(&st[1].d[k][1], d2k);
        }
        const __m128d offset = _mm256_castpd256_pd128(s.offset);
        _mm_storel_pd(&st[0].offset, offset);
        _mm_storeh_pd(&st[1].offset, offset);
    }

    static void PrepareUnmasked(Coefficients& c, const State& s) {
        c.offset[0] = _mm256_xor_pd(s.offset, Flip());
        c.offset[1] = s.offset;
    }

    template <bool kMasked, bool kHigh>
    VLM_KERNEL_STEP __m128 Step(const Coefficients& c, State& s, Input x, int parity, bool active0,
                                bool active1) {
        if (kMasked && !active0 && !active1) {
            // Section 1 still takes section 0's output of two steps before.
            s.yBefore = s.yLast;
            s.yLast = _mm256_setzero_pd();
            return _mm_setzero_ps();
        }
        const __m256d off = kMasked ? _mm256_xor_pd(s.offset, Flip()) : c.offset[parity];
        const __m256d in = kHigh ? _mm256_permute2f128_pd(x, s.yBefore, 0x21)
                                 : _mm256_permute2f128_pd(x, s.yBefore, 0x20);
        const __m256d w = _mm256_add_pd(
            _mm256_sub_pd(_mm256_sub_pd(in, _mm256_mul_pd(c.a1, s.d1)), _mm256_mul_pd(c.a2, s.d2)),
            off);
        const __m256d out =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(c.b0, w), _mm256_mul_pd(c.b1, s.d1)),
                          _mm256_mul_pd(c.b2, s.d2));
        if (!kMasked) {
            s.d2 = s.d1;
            s.d1 = w;
        } else if (active0 && active1) {
            // No blend: it would lengthen the recurrence.
            s.offset = off;
            s.d2 = s.d1;
            s.d1 = w;
        } else {
            // The offset's lanes for section 1 are -0.0 in both, so one mask serves.
            const __m256d mask = SectionMask(active0, active1);
            s.offset = _mm256_blendv_pd(s.offset, off, mask);
            s.d2 = _mm256_blendv_pd(s.d2, s.d1, mask);
            s.d1 = _mm256_blendv_pd(s.d1, w, mask);
        }
        s.yBefore = s.yLast;
        s.yLast = out;
        return _mm256_cvtpd_ps(out);
    }
};
#endif

// Stands in for the low-pass when it is left out.
struct NoLowPass {
    static constexpr int kSection1Lag = 0;
    using Input = __m128d;
    static constexpr bool kOutputHigh = false;
    struct Coefficients {};
    struct State {};
    static void Init(const KernelJob&, Coefficients&, State&) {}
    static void Store(const State&, KernelJob&) {}
    static void PrepareUnmasked(Coefficients&, const State&) {}
};

template <class Isa, bool kLowPass> struct LowPassOf { using Type = typename Isa::LowPass; };
template <class Isa> struct LowPassOf<Isa, false> { using Type = NoLowPass; };

// kTight: the pipeline of short blocks, with the shortest skew and lag.
template <class Isa, int kSlots, bool kLowPass, bool kTight> struct Pipeline {
    using F = typename Isa::F;
    static constexpr int kWrapSkew = kTight ? 1 : Isa::kWrapSkew;
    using L = Layout<Isa, kSlots, kWrapSkew>;
    using LowPass = typename LowPassOf<Isa, kLowPass>::Type;
    static constexpr int kVectors = L::kVectors;
    static constexpr int kArray = kVectors > 0 ? kVectors : 1;
    // Section 0 of the low-pass takes the last band's output of kLowPassLag steps before, or
    // the new sample when no band is active. Its recurrence is the longest, so it must never
    // wait for that input: the lag keeps the input ready well before it is needed.
    static constexpr int kLowPassLag = kTight ? 1 : 3;
    static constexpr int kLowPassOffset = kSlots > 0 ? L::Offset(kSlots - 1) + kLowPassLag : 0;
    static constexpr int kLateInputs = kWrapSkew - 1;
    // Whether the last band slot's output is in lanes 2 and 3 of its quarter rather than in
    // lanes 0 and 1, and the same for a step's output. Their consumers take them where they
    // are, which spares a shuffle at every step.
    static constexpr bool LastHigh() {
        if constexpr (kVectors > 0) {
            return L::Pair(kSlots - 1) % 2 == 1;
        } else {
            return false;
        }
    }
    static constexpr bool kLastHigh = LastHigh();
    static constexpr bool kOutputHigh = kLowPass ? LowPass::kOutputHigh : kLastHigh;
    // The last stage's output at step t is sample t - kDelay.
    static constexpr int kDelay =
        kLowPass ? kLowPassOffset + LowPass::kSection1Lag : L::Offset(kSlots - 1);

    struct Coefficients {
        F b0[kArray], b1[kArray], b2[kArray], a1[kArray], a2[kArray];
        typename LowPass::Coefficients lowPass;
    };
    struct State {
        F w1[kArray], w2[kArray];
        F x[kArray]; // every vector's input for the next step, vector 0's without the new sample
        F x0Later[kLateInputs > 0 ? kLateInputs : 1];   // vector 0's inputs for the steps after
        typename LowPass::Input lowPassIn[kLowPassLag]; // the last band's outputs, as doubles
        typename LowPass::State lowPass;
    };

    // Which stages work at a step. A band vector either works unmasked or is left out: while
    // the pipeline fills and drains, only the vectors with a stage on a sample pay, and no
    // recurrence waits for a blend. A vector's stages outside their samples work on values
    // nobody reads (see Restart and Stopped).
    struct Masks {
        bool band[kArray];
        bool lowPass0, lowPass1;
    };
    // While the pipeline fills, at step hi: a band vector works from its first stage's start
    // on. The low-pass sections work on the offsets from lo to hi: in a block shorter than the
    // pipeline, the first stages stop before the last ones start.
    static Masks UpTo(int hi, int lo) {
        Masks m;
        for (int v = 0; v < kVectors; ++v) {
            m.band[v] = kOffsets.first[v] <= hi;
        }
        SetLowPass(m, lo, hi);
        return m;
    }
    // While it drains, at the lo-th step after the last sample came in: a band vector works
    // until its last stage has stopped.
    static Masks From(int lo) {
        Masks m;
        for (int v = 0; v < kVectors; ++v) {
            m.band[v] = kOffsets.last[v] >= lo;
        }
        SetLowPass(m, lo, kDelay);
        return m;
    }

    // Before fill step t: the stage starting now, in a vector that has worked on samples before
    // its own, takes its state from its band section, one blend of constant lanes. Blending
    // only here keeps the blends out of the other steps' recurrences.
    static void Restart(State& s, const KernelJob& job, int t) { RestartSlot<0>(s, job, t); }
    // After the step at which the stages with this offset took their last sample: their state
    // words, settled, go straight back to their band sections, while the other stages go on.
    static void Stopped(const State& s, KernelJob& job, int offset) {
        StoppedSlot<0>(s, job, offset);
    }

    static void Init(const KernelJob& job, Coefficients& c, State& s) {
        for (int v = 0; v < kVectors; ++v) {
            c.b0[v] = Gather(job, &BandSection::b0, v);
            c.b1[v] = Gather(job, &BandSection::b1, v);
            c.b2[v] = Gather(job, &BandSection::b2, v);
            c.a1[v] = Gather(job, &BandSection::a1, v);
            c.a2[v] = Gather(job, &BandSection::a2, v);
            // Every lane starts with the state of the vector's first stage, which works from its
            // first step on; the others restart when their stage starts.
            s.w1[v] = Isa::BroadcastPair(job.sections[L::Slot(v, 0)]->w1);
            s.w2[v] = Isa::BroadcastPair(job.sections[L::Slot(v, 0)]->w2);
            s.x[v] = Isa::Zero();
        }
        for (F& x : s.x0Later) {
            x = Isa::Zero();
        }
        for (auto& x : s.lowPassIn) {
            x = typename LowPass::Input{};
        }
        LowPass::Init(job, c.lowPass, s.lowPass);
    }

    // At the block's end; the band sections have had their state as their stages stopped.
    static void Store(const State& s, KernelJob& job) { LowPass::Store(s.lowPass, job); }

    // One step. in holds the new sample's left and right in lanes 0 and 1, and the result the
    // last stage's output in lanes 0 and 1, or 2 and 3 where kOutputHigh. A masked step moves only
    // the state of the stages that have a sample at this step; parity counts the steps of a run
    // without masks.
    template <bool kMasked>
    VLM_KERNEL_STEP __m128 Step(const Coefficients& c, State& s, __m128 in, int parity,
                                const Masks* m) {
        // The low-pass comes first: its recurrence is the longest one, and the processor starts
        // the oldest of the instructions that are ready.
        [[maybe_unused]] __m128 lowPassOut;
        if constexpr (kLowPass) {
            const typename LowPass::Input x =
                kSlots == 0 ? LowPass::template FromPair<false>(in) : s.lowPassIn[0];
            lowPassOut = LowPass::template Step<kMasked, kLastHigh>(
                c.lowPass, s.lowPass, x, parity, kMasked && m->lowPass0, kMasked && m->lowPass1);
        }
        [[maybe_unused]] F y[kArray];
        if constexpr (kVectors > 0) {
            for (int v = 0; v < kVectors; ++v) {
                if (kMasked && !m->band[v]) {
                    // Read only by lanes that have no sample at the next step either.
                    y[v] = Isa::Zero();
                    continue;
                }
                const F x = v == 0 ? Isa::InsertInput(s.x[0], in) : s.x[v];
                const F w =
                    Isa::Sub(Isa::Sub(x, Isa::Mul(c.a1[v], s.w1[v])), Isa::Mul(c.a2[v], s.w2[v]));
                y[v] = Isa::Add(Isa::Add(Isa::Mul(c.b0[v], w), Isa::Mul(c.b1[v], s.w1[v])),
                                Isa::Mul(c.b2[v], s.w2[v]));
                s.w2[v] = s.w1[v];
                s.w1[v] = w;
            }
            for (int v = kVectors - 1; v > 0; --v) {
                s.x[v] = y[v - 1];
            }
            const F wrapped = Isa::ShiftPairs(y[kVectors - 1]);
            if constexpr (kLateInputs == 0) {
                s.x[0] = wrapped;
            } else {
                s.x[0] = s.x0Later[0];
                for (int k = 1; k < kLateInputs; ++k) {
                    s.x0Later[k - 1] = s.x0Later[k];
                }
                s.x0Later[kLateInputs - 1] = wrapped;
            }
        }
        if constexpr (kLowPass) {
            if constexpr (kSlots > 0) {
                for (int k = 1; k < kLowPassLag; ++k) {
                    s.lowPassIn[k - 1] = s.lowPassIn[k];
                }
                s.lowPassIn[kLowPassLag - 1] =
                    LowPass::template FromPair<kLastHigh>(LastQuarter(y));
            }
            return lowPassOut;
        } else {
            return LastQuarter(y);
        }
    }

private:
    static void SetLowPass(Masks& m, int lo, int hi) {
        constexpr int kOffset1 = kLowPassOffset + LowPass::kSection1Lag;
        m.lowPass0 = lo <= kLowPassOffset && kLowPassOffset <= hi;
        m.lowPass1 = lo <= kOffset1 && kOffset1 <= hi;
    }

    // The offsets of the first and the last band slot in each vector, for the masks (lanes past
    // the last slot carry nothing anyone reads).
    struct VectorOffsets {
        int first[kArray], last[kArray];
        constexpr VectorOffsets() : first{}, last{} {
            if constexpr (kVectors > 0) {
                for (int slot = 0; slot < kSlots; ++slot) {
                    const int v = L::Vector(slot);
                    if (L::Pair(slot) == 0) {
                        first[v] = L::Offset(slot);
                    }
                    last[v] = L::Offset(slot);
                }
            }
        }
    };
    static constexpr VectorOffsets kOffsets{};

    template <int kSlot> static void RestartSlot(State& s, const KernelJob& job, int t) {
        if constexpr (kSlot < kSlots) {
            constexpr int kVector = L::Vector(kSlot);
            if (L::Offset(kSlot) == t && kOffsets.first[kVector] < t) {
                constexpr int kPair = L::Pair(kSlot);
                const BandSection& section = *job.sections[kSlot];
                s.w1[kVector] =
                    Isa::template BlendPair<kPair>(Isa::BroadcastPair(section.w1), s.w1[kVector]);
                s.w2[kVector] =
                    Isa::template BlendPair<kPair>(Isa::BroadcastPair(section.w2), s.w2[kVector]);
            }
            RestartSlot<kSlot + 1>(s, job, t);
        }
    }

    // Each word pair is stored whole, as the next block loads it back: a load that spans
    // several stores would wait for them to reach the cache.
    template <int kSlot> static void StoppedSlot(const State& s, KernelJob& job, int offset) {
        if constexpr (kSlot < kSlots) {
            if (L::Offset(kSlot) == offset) {
                constexpr int kVector = L::Vector(kSlot);
                constexpr int kPair = L::Pair(kSlot);
                const __m128 w1 = Isa::template Quarter<kPair / 2>(s.w1[kVector]);
                const __m128 w2 = Isa::template Quarter<kPair / 2>(s.w2[kVector]);
                const __m128 words = SettleSectionWords(kPair % 2 == 0 ? _mm_movelh_ps(w1, w2)
                                                                       : _mm_movehl_ps(w2, w1));
                BandSection& section = *job.sections[kSlot];
                _mm_storel_pi(reinterpret_cast<__m64*>(section.w1), words);
                _mm_storeh_pi(reinterpret_cast<__m64*>(section.w2), words);
            }
            StoppedSlot<kSlot + 1>(s, job, offset);
        }
    }

    // Pairs are loaded whole into registers: values stored one by one and read back as a
    // vector would wait for each store to reach the cache.
    static F Gather(const KernelJob& job, float (BandSection::*field)[2], int v) {
        __m128 quarters[Isa::kQuarters];
        for (int q = 0; q < Isa::kQuarters; ++q) {
            const int low = L::Slot(v, 4 * q);
            const int high = L::Slot(v, 4 * q + 2);
            __m128 x = _mm_setzero_ps();
            if (low < kSlots) {
                x = _mm_loadl_pi(x, reinterpret_cast<const __m64*>(job.sections[low]->*field));
            }
            if (high < kSlots) {
                x = _mm_loadh_pi(x, reinterpret_cast<const __m64*>(job.sections[high]->*field));
            }
            quarters[q] = x;
        }
        return Isa::FromQuarters(quarters);
    }

    // The quarter that holds the last band slot's output: in lanes 2 and 3 where kLastHigh.
    static __m128 LastQuarter(const F (&y)[kArray]) {
        constexpr int kLast = kSlots - 1;
        return Isa::template Quarter<L::Pair(kLast) / 2>(y[L::Vector(kLast)]);
    }
};

// Four steps' outputs, each with left and right in lanes 0 and 1, or (kHigh) in lanes 2 and 3,
// written to both channels.
template <bool kHigh>
inline void StoreFour(float* left, float* right, __m128 o0, __m128 o1, __m128 o2, __m128 o3) {
    const __m128 a =
        kHigh ? _mm_shuffle_ps(o0, o1, _MM_SHUFFLE(3, 2, 3, 2)) : _mm_movelh_ps(o0, o1);
    const __m128 b =
        kHigh ? _mm_shuffle_ps(o2, o3, _MM_SHUFFLE(3, 2, 3, 2)) : _mm_movelh_ps(o2, o3);
    _mm_storeu_ps(left, FlushSubnormals(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
    _mm_storeu_ps(right, FlushSubnormals(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}

// One block, of more frames than the pipeline's delay or (kShort) of at most that many. The two
// are kept apart in functions of their own, so that the loop of the long blocks is compiled
// without the short blocks' steps around it (measured faster).
template <class Isa, int kSlots, bool kLowPass, bool kTight, bool kShort>
void RunBlock(KernelJob& job, float* left, float* right, std::int64_t frames) {
    using P = Pipeline<Isa, kSlots, kLowPass, kTight>;
    using Masks = typename P::Masks;
    constexpr int kDelay = P::kDelay;
    typename P::Coefficients coefficients;
    typename P::State state;
    P::Init(job, coefficients, state);
    const auto load = [](const float* l, const float* r, std::int64_t t) {
        return _mm_unpacklo_ps(_mm_load_ss(l + t), _mm_load_ss(r + t));
    };
    const auto store = [&](std::int64_t k, __m128 out) {
        out = FlushSubnormals(P::kOutputHigh ? _mm_movehl_ps(out, out) : out);
        _mm_store_ss(left + k, out);
        _mm_store_ss(right + k, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
    };

    // Filling: each stage starts at the step of its offset; nothing leaves the last one yet.
    // Unrolled where the instruction set has registers enough, each step's masks are constants.
    // In a short block, the first stages take their last sample while the pipeline fills and
    // then go on with values nobody reads.
    const auto fill = [&](int k) {
        if constexpr (kShort) {
            const std::int64_t lastOffset = k - frames + 1; // the last stage with a sample
            const Masks m = P::UpTo(k, lastOffset < 0 ? 0 : static_cast<int>(lastOffset));
            P::Restart(state, job, k);
            const __m128 in = k < frames ? load(left, right, k) : _mm_setzero_ps();
            P::template Step<true>(coefficients, state, in, 0, &m);
            if (lastOffset >= 0) {
                P::Stopped(state, job, static_cast<int>(lastOffset));
            }
        } else {
            const Masks m = P::UpTo(k, 0);
            P::Restart(state, job, k);
            P::template Step<true>(coefficients, state, load(left, right, k), 0, &m);
        }
    };
    if constexpr (Isa::kUnrollEnds) {
#pragma GCC unroll 64
        for (int k = 0; k < kDelay; ++k) {
            fill(k);
        }
    } else {
        for (int k = 0; k < kDelay; ++k) {
            fill(k);
        }
    }
    // Without the low-pass, the last band stage starts at the first of these steps.
    P::Restart(state, job, kDelay);

    // The first drain step: in a short block, the one after the fill.
    int firstDrain = 1;
    if constexpr (kShort) {
        firstDrain = kDelay - static_cast<int>(frames) + 1;
    } else {
        // Every stage busy: four steps at a time, reading four samples ahead of the
        // kDelay-old samples they write, so working in place is safe.
        std::int64_t t = kDelay;
        P::LowPass::PrepareUnmasked(coefficients.lowPass, state.lowPass);
        for (; t + 3 < frames; t += 4) {
            const __m128 l = _mm_loadu_ps(left + t);
            const __m128 r = _mm_loadu_ps(right + t);
            const __m128 lr01 = _mm_unpacklo_ps(l, r);
            const __m128 lr23 = _mm_unpackhi_ps(l, r);
            const __m128 o0 =
                P::template Step<false>(*Launder(&coefficients), state, lr01, 0, nullptr);
            const __m128 o1 = P::template Step<false>(*Launder(&coefficients), state,
                                                      _mm_movehl_ps(lr01, lr01), 1, nullptr);
            const __m128 o2 =
                P::template Step<false>(*Launder(&coefficients), state, lr23, 0, nullptr);
            const __m128 o3 = P::template Step<false>(*Launder(&coefficients), state,
                                                      _mm_movehl_ps(lr23, lr23), 1, nullptr);
            StoreFour<P::kOutputHigh>(left + t - kDelay, right + t - kDelay, o0, o1, o2, o3);
        }
        // The last few of them one at a time; the masks keep the low-pass offset's count.
        const Masks all = P::UpTo(kDelay, 0);
        for (; t < frames; ++t) {
            store(t - kDelay,
                  P::template Step<true>(coefficients, state, load(left, right, t), 0, &all));
        }
        // The first stage took the block's last sample at the last of these steps.
        P::Stopped(state, job, 0);
    }
    // Draining: each stage stops after the last sample has passed it. A short block takes only
    // the drain's steps after the fill; a long one writes the outputs four at a time where they
    // fill a group of four.
    __m128 held[4];
    const auto drain = [&](int j) {
        if (!kShort || j >= firstDrain) {
            const Masks m = P::From(j);
            const __m128 out = P::template Step<true>(coefficients, state, _mm_setzero_ps(), 0, &m);
            P::Stopped(state, job, j);
            const int group = (j - 1) / 4;
            if (kShort || 4 * group + 4 > kDelay) {
                store(frames - 1 - kDelay + j, out);
            } else {
                held[(j - 1) % 4] = out;
                if ((j - 1) % 4 == 3) {
                    const std::int64_t first = frames - kDelay + 4 * group;
                    StoreFour<P::kOutputHigh>(left + first, right + first, held[0], held[1],
                                              held[2], held[3]);
                }
            }
        }
    };
    if constexpr (Isa::kUnrollEnds) {
#pragma GCC unroll 64
        for (int j = 1; j <= kDelay; ++j) {
            drain(j);
        }
    } else {
        for (int j = 1; j <= kDelay; ++j) {
            drain(j);
        }
    }
    P::Store(state, job);
}

template <class Isa, int kSlots, bool kLowPass>
void RunPipeline(KernelJob& job, float* left, float* right, std::int64_t frames) {
    if (frames <= Pipeline<Isa, kSlots, kLowPass, true>::kDelay) {
        RunBlock<Isa, kSlots, kLowPass, true, true>(job, left, right, frames);
    } else if (frames <= Pipeline<Isa, kSlots, kLowPass, false>::kDelay) {
        RunBlock<Isa, kSlots, kLowPass, true, false>(job, left, right, frames);
    } else {
        RunBlock<Isa, kSlots, kLowPass, false, false>(job, left, right, frames);
    }
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

#undef VLM_KERNEL_STEP
