#include "dsp/kernel.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

// A private two-block job with every section and the low-pass active and stable coefficients:
// the work the engine does most. The kernels give the same bits, so which one wins changes only
// the time a block takes.
constexpr int kProbeFrames[] = {64, 512};
constexpr int kProbeRepetitions = 6;

// The probe's own sections and low-pass state, which the kernels work on in place.
struct Probe {
    KernelJob job;
    BandSection sections[kKernelMaxSections];
    CascadeState lowPassState[2];
};

void FillProbe(Probe& probe, float* left, float* right, int frames) {
    KernelJob& job = probe.job;
    job = KernelJob{};
    job.sectionCount = kKernelMaxSections;
    for (int k = 0; k < kKernelMaxSections; ++k) {
        BandSection& s = probe.sections[k];
        s = BandSection{};
        for (int c = 0; c < 2; ++c) {
            s.b0[c] = 1.05f;
            s.b1[c] = -1.7f;
            s.b2[c] = 0.72f;
            s.a1[c] = -1.68f;
            s.a2[c] = 0.75f;
        }
        job.sections[k] = &s;
    }
    job.lowPass = true;
    for (KernelLowPassSection& q : job.lowPassSections) {
        q = KernelLowPassSection{0.2, 0.4, 0.2, -0.5, 0.25};
    }
    probe.lowPassState[0] = probe.lowPassState[1] = CascadeState{};
    job.lowPassState = probe.lowPassState;
    std::uint32_t noise = 12345u;
    for (int i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        left[i] = static_cast<float>(noise >> 8) * (1.0f / 16777216.0f) - 0.5f;
        right[i] = -left[i];
    }
}

// The probe's job in both block sizes, in nanoseconds.
double RunProbe(KernelFunction kernel) {
    constexpr int kMaxFrames = 512;
    alignas(64) static float left[kMaxFrames];
    alignas(64) static float right[kMaxFrames];
    double total = 0.0;
    for (int frames : kProbeFrames) {
        Probe probe;
        FillProbe(probe, left, right, frames);
        const auto start = std::chrono::steady_clock::now();
        kernel(probe.job, left, right, frames);
        const auto stop = std::chrono::steady_clock::now();
        total += std::chrono::duration<double, std::nano>(stop - start).count();
    }
    return total;
}

// The shortest of a few runs after a warm-up: a processor runs its first wide instructions
// slowly for some tens of microseconds, which would favour the narrower kernels.
double TimeKernel(KernelFunction kernel) {
    constexpr double kWarmUpNanoseconds = 50000.0;
    constexpr int kMaxWarmUpRuns = 200;
    double warm = 0.0;
    for (int r = 0; r < kMaxWarmUpRuns && warm < kWarmUpNanoseconds; ++r) {
        warm += RunProbe(kernel);
    }
    double best = RunProbe(kernel);
    for (int r = 1; r < kProbeRepetitions; ++r) {
        const double t = RunProbe(kernel);
        best = t < best ? t : best;
    }
    return best;
}

struct Choice {
    KernelIsa isa = KernelIsa::Sse2;
    KernelFunction kernel = nullptr;
    double nanoseconds[std::size(kKernelIsas)] = {};
};

Choice Measure() {
    const auto start = std::chrono::steady_clock::now();
    Choice choice;
    double best = 0.0;
    for (std::size_t i = 0; i < std::size(kKernelIsas); ++i) {
        const KernelFunction kernel = KernelFor(kKernelIsas[i]);
        if (kernel == nullptr) {
            continue;
        }
        choice.nanoseconds[i] = TimeKernel(kernel);
        if (choice.kernel == nullptr || choice.nanoseconds[i] < best) {
            best = choice.nanoseconds[i];
            choice.isa = kKernelIsas[i];
            choice.kernel = kernel;
        }
    }
    const auto stop = std::chrono::steady_clock::now();
    const char* report = std::getenv("VLM_KERNEL_REPORT");
    if (report != nullptr && report[0] != '\0' && std::strcmp(report, "0") != 0) {
        std::fprintf(stderr, "VLM kernel: %s chosen;", KernelIsaName(choice.isa));
        for (std::size_t i = 0; i < std::size(kKernelIsas); ++i) {
            if (choice.nanoseconds[i] > 0.0) {
                std::fprintf(stderr, " %s %.0f ns", KernelIsaName(kKernelIsas[i]),
                             choice.nanoseconds[i]);
            }
        }
        std::fprintf(stderr, " (64 + 512 frames, 10 bands, low-pass; measured in %.0f us)\n",
                     std::chrono::duration<double, std::micro>(stop - start).count());
    }
    return choice;
}

// Measured once, at the first call: EqCore::Init makes it on the UI thread at effect
// construction, so the audio thread only reads the finished choice.
const Choice& TheChoice() {
    static const Choice choice = Measure();
    return choice;
}

} // namespace

bool KernelSupported(KernelIsa isa) {
    return Built(isa) != nullptr && ProcessorHas(isa);
}

KernelFunction KernelFor(KernelIsa isa) {
    return KernelSupported(isa) ? Built(isa) : nullptr;
}

KernelFunction ChosenKernel() {
    return TheChoice().kernel;
}

KernelIsa ChosenKernelIsa() {
    return TheChoice().isa;
}

double ChosenKernelProbeNanoseconds(KernelIsa isa) {
    for (std::size_t i = 0; i < std::size(kKernelIsas); ++i) {
        if (kKernelIsas[i] == isa) {
            return TheChoice().nanoseconds[i];
        }
    }
    return 0.0;
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
