#include "dsp/kernel.h"

namespace VLM {
namespace {

bool ProcessorHas(KernelIsa isa) {
#if defined(__x86_64__) || defined(_M_X64)
    // The checks include the system's saving of the wider registers, not only the processor.
    __builtin_cpu_init();
    switch (isa) {
    case KernelIsa::Sse2:
        return true;
    case KernelIsa::Avx2:
        return __builtin_cpu_supports("avx2") != 0;
    case KernelIsa::Avx512f:
        // The AVX-512F kernel also runs the 256-bit low-pass.
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx2") != 0;
    }
#else
    (void)isa;
#endif
    return false;
}

KernelFunction Built(KernelIsa isa) {
#if defined(__x86_64__) || defined(_M_X64)
    switch (isa) {
    case KernelIsa::Sse2:
        return &RunKernelSse2;
    case KernelIsa::Avx2:
        return &RunKernelAvx2;
    case KernelIsa::Avx512f:
        return &RunKernelAvx512f;
    }
#else
    (void)isa;
#endif
    return nullptr;
}

KernelIsa Choose() {
    if (KernelSupported(KernelIsa::Avx512f)) {
        return KernelIsa::Avx512f;
    }
    if (KernelSupported(KernelIsa::Avx2)) {
        return KernelIsa::Avx2;
    }
    return KernelIsa::Sse2;
}

// Chosen while the library loads, so the audio thread only reads it.
const KernelIsa chosenIsa = Choose();
const KernelFunction chosenKernel = KernelFor(chosenIsa);

} // namespace

bool KernelSupported(KernelIsa isa) {
    return Built(isa) != nullptr && ProcessorHas(isa);
}

KernelFunction KernelFor(KernelIsa isa) {
    return KernelSupported(isa) ? Built(isa) : nullptr;
}

KernelFunction ChosenKernel() {
    return chosenKernel;
}

KernelIsa ChosenKernelIsa() {
    return chosenIsa;
}

const char* KernelIsaName(KernelIsa isa) {
    switch (isa) {
    case KernelIsa::Sse2:
        return "SSE2";
    case KernelIsa::Avx2:
        return "AVX2";
    case KernelIsa::Avx512f:
        return "AVX-512F";
    }
    return "unknown";
}

} // namespace VLM
