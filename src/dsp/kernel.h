// The fast filtering kernels of the engine and the choice between them. This header is included
// by the sources built for one instruction set each, so it holds plain data and declarations
// only: an inline function defined here could be emitted with that instruction set and picked by
// the linker for code that runs on any processor.
#pragma once

#include <cstdint>

namespace VLM {

constexpr int kKernelMaxSections = 10;

// The coefficients and state words of one band's section for both channels; each pair holds the
// left value, then the right one. This is how the engine keeps its bands, so that a kernel reads
// and writes them in place.
struct BandSection {
    float b0[2], b1[2], b2[2], a1[2], a2[2], w1[2], w2[2];
};

// The state of the output low-pass for one channel: the alternating anti-denormal offset and the
// two words d1, d2 of each section.
struct CascadeState {
    double offset = 1e-8;
    double d[2][2] = {};
};

// One section of the output low-pass, shared by both channels; a0 is 1.
struct KernelLowPassSection {
    double b0, b1, b2, a1, a2;
};

// Everything one block's filtering reads and writes. The sections and the low-pass state are the
// engine's own, worked on in place. When the kernel returns, their state words are settled as the
// engine's scalar filter settles them: a band section's channel, or the low-pass of a channel,
// with a non-finite word restarts from zeros, and a subnormal band state word becomes +0.0.
struct KernelJob {
    std::int32_t sectionCount;                 // the active bands, in filtering order
    BandSection* sections[kKernelMaxSections]; // none of them the same
    bool lowPass;                              // false: the output is only flushed of subnormals
    KernelLowPassSection lowPassSections[2];
    CascadeState* lowPassState; // both channels; the offset changes sign before every sample
};

// Filters frameCount samples of both channels in place: the active band sections in order, then
// the double-precision low-pass or the flush. The two buffers must not overlap.
using KernelFunction = void (*)(KernelJob& job, float* left, float* right, std::int64_t frameCount);

enum class KernelIsa { Sse2, Avx2, Avx512f };
constexpr KernelIsa kKernelIsas[] = {KernelIsa::Sse2, KernelIsa::Avx2, KernelIsa::Avx512f};

// True when this build has the kernel and the processor and operating system can run it.
bool KernelSupported(KernelIsa isa);
// The kernel for an instruction set; null when it is not supported.
KernelFunction KernelFor(KernelIsa isa);
// The fastest supported kernel, timed on a short private job at the first call (well under a
// millisecond) and kept for the process; null when this build has no kernel at all and the
// engine filters with its scalar code. VLM_KERNEL_REPORT=1 prints the choice and its figures to
// standard error when it is made.
KernelFunction ChosenKernel();
KernelIsa ChosenKernelIsa();
// The probe's time of a kernel in nanoseconds at that choice; 0 for one not supported.
double ChosenKernelProbeNanoseconds(KernelIsa isa);
const char* KernelIsaName(KernelIsa isa);

void RunKernelSse2(KernelJob& job, float* left, float* right, std::int64_t frameCount);
void RunKernelAvx2(KernelJob& job, float* left, float* right, std::int64_t frameCount);
void RunKernelAvx512f(KernelJob& job, float* left, float* right, std::int64_t frameCount);

} // namespace VLM
