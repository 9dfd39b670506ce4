// The filtering kernel for AVX-512F: sixteen floats per band vector, so ten bands fit in two.
// Built with -mavx512f and called only when the processor and the system support it.
#include "dsp/kernel_pipeline.h"

namespace VLM {
namespace {

struct IsaAvx512f {
    static constexpr int kQuarters = 4;
    using F = __m512;
    using LowPass = LowPass256;

    static F Zero() { return _mm512_setzero_ps(); }
    static F FromQuarters(const __m128 (&q)[kQuarters]) {
        F v = _mm512_setzero_ps();
        v = _mm512_insertf32x4(v, q[0], 0);
        v = _mm512_insertf32x4(v, q[1], 1);
        v = _mm512_insertf32x4(v, q[2], 2);
        return _mm512_insertf32x4(v, q[3], 3);
    }
    static F Add(F a, F b) { return _mm512_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
    // The fill and drain unrolled, so that their masks are constants (measured faster).
    static constexpr bool kUnrollEnds = true;
    // Steps given to the move from the last vector to vector 0 (measured best).
    static constexpr int kWrapSkew = 3;
    // Pair 0 of in, pairs 1 to 7 of x.
    static F InsertInput(F x, __m128 in) {
        return _mm512_mask_blend_ps(0x0003, x, _mm512_maskz_broadcast_f32x4(0xFFFF, in));
    }
    // Pairs 0 to 6 moved to pairs 1 to 7.
    static F ShiftPairs(F y) {
        const __m512i pick = _mm512_set_epi64(6, 5, 4, 3, 2, 1, 0, 0);
        return _mm512_castpd_ps(_mm512_maskz_permutexvar_pd(0xFF, pick, _mm512_castps_pd(y)));
    }
    // The zero-masking forms here and below: GCC 12 warns about the undefined source of the
    // plain ones, which its cast to 128 bits uses too.
    template <int kQuarter> static __m128 Quarter(F v) {
        return _mm512_maskz_extractf32x4_ps(0xF, v, kQuarter);
    }
    // A pair's two floats loaded as one, into every pair of the vector.
    static F BroadcastPair(const float (&pair)[2]) {
        return _mm512_castpd_ps(_mm512_set1_pd(PairBits(pair)));
    }
    // Pair kPair of yes, the others of no.
    template <int kPair> static F BlendPair(F yes, F no) {
        return _mm512_mask_blend_ps(static_cast<__mmask16>(3u << (2 * kPair)), no, yes);
    }
};

} // namespace

void RunKernelAvx512f(KernelJob& job, float* left, float* right, std::int64_t frameCount) {
    RunKernel<IsaAvx512f>(job, left, right, frameCount);
}

} // namespace VLM
