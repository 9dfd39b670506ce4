// The filtering kernel for AVX2: eight floats per band vector, both low-pass sections in one
// vector. Built with -mavx2 and called only when the processor has it.
#include "dsp/kernel_pipeline.h"

namespace VLM {
namespace {

struct IsaAvx2 {
    static constexpr int kQuarters = 2;
    using F = __m256;
    using LowPass = LowPass256;

    static F Zero() { return _mm256_setzero_ps(); }
    static F FromQuarters(const __m128 (&q)[kQuarters]) {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(q[0]), q[1], 1);
    }
    static F Add(F a, F b) { return _mm256_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
    // The fill and drain unrolled, so that their masks are constants (measured faster).
    static constexpr bool kUnrollEnds = true;
    // Steps given to the move from the last vector to vector 0 (measured best).
    static constexpr int kWrapSkew = 3;
    // Pair 0 of in, pairs 1 to 3 of x.
    static F InsertInput(F x, __m128 in) {
        return _mm256_blend_ps(x, _mm256_castps128_ps256(in), 0x03);
    }
    // Pairs 0, 1, 2 moved to pairs 1, 2, 3.
    static F ShiftPairs(F y) {
        return _mm256_castpd_ps(
            _mm256_permute4x64_pd(_mm256_castps_pd(y), _MM_SHUFFLE(2, 1, 0, 0)));
    }
    template <int kQuarter> static __m128 Quarter(F v) {
        if constexpr (kQuarter == 0) {
            return _mm256_castps256_ps128(v);
        } else {
            return _mm256_extractf128_ps(v, 1);
        }
    }
    // A pair's two floats loaded as one, into every pair of the vector.
    static F BroadcastPair(const float (&pair)[2]) {
        return _mm256_castpd_ps(_mm256_set1_pd(PairBits(pair)));
    }
    // Pair kPair of yes, the others of no.
    template <int kPair> static F BlendPair(F yes, F no) {
        return _mm256_blend_ps(no, yes, 3 << (2 * kPair));
    }
};

} // namespace

void RunKernelAvx2(KernelJob& job, float* left, float* right, std::int64_t frameCount) {
    RunKernel<IsaAvx2>(job, left, right, frameCount);
}

} // namespace VLM
