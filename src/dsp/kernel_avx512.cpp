// The filtering kernel for AVX-512F: sixteen floats per band vector, so ten bands fit in two.
// Built with -mavx512f and called only when the processor and the system support it.
#include "dsp/kernel_pipeline.h"

namespace VLM {
namespace {

struct IsaAvx512f {
    static constexpr int kQuarters = 4;
    static constexpr int kLanes = 16;
    using F = __m512;
    using M = __mmask16;
    using Index = __m512i;
    using LowPass = LowPass256;

    static F Load(const float* p) { return _mm512_loadu_ps(p); }
    static void Store(float* p, F v) { _mm512_storeu_ps(p, v); }
    static Index LoadIndex(const std::int32_t* p) { return _mm512_loadu_si512(p); }
    static F Zero() { return _mm512_setzero_ps(); }
    static F Add(F a, F b) { return _mm512_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
    // [a2, a3, b0, b1] in each quarter
    static F Shuffle(F a, F b) { return _mm512_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 3, 2)); }
    // Quarter 0: the new sample; quarters 1 to 3: quarters 0 to 2 of the last vector.
    static F ShiftIn(F last, __m128 in) {
        const __m512i pick =
            _mm512_set_epi32(27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 3, 2, 1, 0);
        return _mm512_permutex2var_ps(_mm512_castps128_ps512(in), pick, last);
    }
    // The zero-masking form: GCC 12 warns about the undefined source of the plain one, which
    // its cast to 128 bits uses too.
    template <int kQuarter> static __m128 Quarter(F v) {
        return _mm512_maskz_extractf32x4_ps(0xF, v, kQuarter);
    }
    static M Active(Index slot, int lo, int hi) {
        return static_cast<M>(_mm512_cmpge_epi32_mask(slot, _mm512_set1_epi32(lo)) &
                              _mm512_cmple_epi32_mask(slot, _mm512_set1_epi32(hi)));
    }
    static F Select(M mask, F yes, F no) { return _mm512_mask_blend_ps(mask, no, yes); }
};

} // namespace

void RunKernelAvx512f(KernelJob& job, float* left, float* right, std::int64_t frameCount) {
    RunKernel<IsaAvx512f>(job, left, right, frameCount);
}

} // namespace VLM
