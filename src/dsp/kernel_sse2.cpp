// The filtering kernel for the x86-64 baseline: four floats per band vector.
#include "dsp/kernel_pipeline.h"

namespace VLM {
namespace {

struct IsaSse2 {
    static constexpr int kQuarters = 1;
    using F = __m128;
    using LowPass = LowPass128;

    static F Zero() { return _mm_setzero_ps(); }
    static F FromQuarters(const __m128 (&q)[kQuarters]) { return q[0]; }
    static F Add(F a, F b) { return _mm_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm_mul_ps(a, b); }
    // The fill and drain in loops: unrolled, they ran slower here (measured).
    static constexpr bool kUnrollEnds = false;
    // Steps given to the move from the last vector to vector 0 (measured best).
    static constexpr int kWrapSkew = 2;
    // Pair 0 of in, pair 1 of x.
    static F InsertInput(F x, __m128 in) {
        return _mm_castpd_ps(_mm_move_sd(_mm_castps_pd(x), _mm_castps_pd(in)));
    }
    static F ShiftPairs(F y) { return _mm_movelh_ps(y, y); }
    template <int kQuarter> static __m128 Quarter(F v) { return v; }
    // A vector is one quarter: the pair loads and blends are the 128-bit ones.
    static F BroadcastPair(const float (&pair)[2]) { return BroadcastPair128(pair); }
    template <int kPair> static F BlendPair(F yes, F no) { return BlendPair128<kPair>(yes, no); }
};

} // namespace

void RunKernelSse2(KernelJob& job, float* left, float* right, std::int64_t frameCount) {
    RunKernel<IsaSse2>(job, left, right, frameCount);
}

} // namespace VLM
