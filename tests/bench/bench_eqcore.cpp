// The engine's filtering side by side in one process: the scalar reference, the engine's own
// scalar code, each instruction set's kernel this processor has, the engine's whole block with
// the kernel chosen by speed (named in the benchmark and in the context with the probe's
// figures), and the built plug-in's processReplacing through its record. Each runs 32-, 64-,
// 128-, 512- and 4096-frame stereo blocks at 48 kHz with every band active, every other band
// active, and every band flat.
//
// Counters: per_frame is CPU time per stereo frame; x_realtime is the frames per second achieved
// divided by 48 000. For medians and ratios in one run (interleaving the repetitions spreads a
// noisy machine's bursts over every contender rather than over one):
//   bench_eqcore --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//       --benchmark_out=eq.json && summarise.py eq.json
// VLM_BENCH_OTHER=path/to/earlier/VLMTarvix.so adds that build's processReplacing as "Other".
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dsp/eqcore.h"
#include "dsp/kernel.h"
#include "dsp_reference.h"
#include "host/aeffect.h"

namespace {

constexpr float kSampleRate = 48000.0f;

enum class Bands { All, Half, Flat };

const char* BandsName(Bands bands) {
    switch (bands) {
    case Bands::All:
        return "all_active";
    case Bands::Half:
        return "half_active";
    case Bands::Flat:
        return "all_flat";
    }
    return "";
}

using Faders = float[VLM::kEqBandCount];

// A fader at 0.5 is flat and its band skipped; 0.8 boosts it.
void SetFaders(Bands bands, Faders& faders) {
    for (int b = 0; b < VLM::kEqBandCount; ++b) {
        const bool active = bands == Bands::All || (bands == Bands::Half && b % 2 == 0);
        faders[b] = active ? 0.8f : 0.5f;
    }
}

// Blocks enough for the smoothing to reach the faders (about 100 ms) with room to spare.
std::int64_t SettleBlocks(std::int32_t frames) {
    return static_cast<std::int64_t>(kSampleRate) / frames + 8;
}

// Noise at -6 dBFS in both channels, and output buffers the host would hand over.
struct Stereo {
    std::vector<float> input;
    std::vector<float> left, right;
    float* channels[2];
    explicit Stereo(std::int32_t frames)
        : input(2 * static_cast<std::size_t>(frames)), left(static_cast<std::size_t>(frames)),
          right(static_cast<std::size_t>(frames)), channels{left.data(), right.data()} {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        for (float& v : input) {
            v = noise(rng);
        }
    }
    // What processReplacing does first: the input is copied into the output buffers.
    void Load() {
        std::copy(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(left.size()),
                  left.begin());
        std::copy(input.begin() + static_cast<std::ptrdiff_t>(left.size()), input.end(),
                  right.begin());
    }
    float* InputLeft() { return input.data(); }
    float* InputRight() { return input.data() + left.size(); }
};

void SetCounters(benchmark::State& state, std::int32_t frames) {
    const double perIteration = static_cast<double>(frames);
    // Seconds per stereo frame, shown in ns.
    state.counters["per_frame"] = benchmark::Counter(
        perIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    // Seconds of audio at 48 kHz per second of processing; the library shows it as a rate.
    state.counters["x_realtime"] =
        benchmark::Counter(perIteration / static_cast<double>(kSampleRate),
                           benchmark::Counter::kIsIterationInvariantRate);
}

enum class Engine { Reference, Scalar, Kernel, Chosen };

// One block per iteration: the input copied to the outputs, the block's preparation (nothing
// moves once settled), then the filtering in place.
void RunEngine(benchmark::State& state, Engine engine, VLM::KernelFunction kernel, Bands bands) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    VLM::EqCore core;
    core.Init(kSampleRate);
    Faders faders;
    SetFaders(bands, faders);
    Stereo s(frames);
    const auto block = [&] {
        s.Load();
        if (engine == Engine::Chosen) {
            core.ProcessBlock(s.channels, frames, kSampleRate, faders, 1.0f);
            benchmark::DoNotOptimize(s.left.data());
            benchmark::DoNotOptimize(s.right.data());
            benchmark::ClobberMemory();
            return;
        }
        core.PrepareBlock(frames, kSampleRate, faders, 1.0f);
        switch (engine) {
        case Engine::Reference:
            DspReference::Filter(core, s.channels, frames);
            break;
        case Engine::Scalar:
            core.FilterWith(nullptr, s.channels, frames);
            break;
        case Engine::Kernel:
        case Engine::Chosen:
            core.FilterWith(kernel, s.channels, frames);
            break;
        }
        benchmark::DoNotOptimize(s.left.data());
        benchmark::DoNotOptimize(s.right.data());
        benchmark::ClobberMemory();
    };
    for (std::int64_t i = 0; i < SettleBlocks(frames); ++i) {
        block();
    }
    for (auto _ : state) {
        block();
    }
    SetCounters(state, frames);
}

VstIntPtr VLM_VSTCALL HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

using EntryPoint = AEffect* (*)(audioMasterCallback);

EntryPoint Load(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return library != nullptr ? reinterpret_cast<EntryPoint>(dlsym(library, "VSTPluginMain"))
                              : nullptr;
}

EntryPoint LoadPlugin() {
#if defined(VLM_PLUGIN_PATH)
    return Load(VLM_PLUGIN_PATH);
#else
    return nullptr;
#endif
}

// The plug-in as a host drives it: separate input and output buffers, so processReplacing
// copies the input before the engine runs. With `subnormal`, the input is what a fade or a
// reverb tail leaves behind (samples around 1e-39 and 1e-41), under the host's default control
// word (no flush-to-zero), where each multiplication may take the processor's slow path.
void RunPlugin(benchmark::State& state, EntryPoint entry, Bands bands, bool subnormal) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    AEffect* effect = entry(&HostCallback);
    if (effect == nullptr) {
        state.SkipWithError("the plug-in gave no effect");
        return;
    }
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kSampleRate);
    effect->dispatcher(effect, effSetBlockSize, 0, frames, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    Faders faders;
    SetFaders(bands, faders);
    for (int b = 0; b < VLM::kEqBandCount; ++b) {
        effect->setParameter(effect, b, faders[b]);
    }
    Stereo s(frames);
    if (subnormal) {
        for (std::size_t i = 0; i < s.input.size(); ++i) {
            s.input[i] = (i < s.left.size() ? 1e-39f : 1e-41f) * s.input[i] * 2.0f;
        }
    }
    float* inputs[2] = {s.InputLeft(), s.InputRight()};
    const auto block = [&] {
        effect->processReplacing(effect, inputs, s.channels, frames);
        benchmark::DoNotOptimize(s.left.data());
        benchmark::DoNotOptimize(s.right.data());
        benchmark::ClobberMemory();
    };
    for (std::int64_t i = 0; i < SettleBlocks(frames); ++i) {
        block();
    }
    for (auto _ : state) {
        block();
    }
    SetCounters(state, frames);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(4096);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const EntryPoint plugin = LoadPlugin();
    // Another build of the plug-in (VLM_BENCH_OTHER=path, say an earlier one), measured in the
    // same run for a fair comparison. It is loaded under its own path, so its code is its own.
    const char* otherPath = std::getenv("VLM_BENCH_OTHER");
    const EntryPoint other =
        otherPath != nullptr && otherPath[0] != '\0' ? Load(otherPath) : nullptr;
    for (Bands bands : {Bands::All, Bands::Half, Bands::Flat}) {
        const std::string suffix = std::string("/") + BandsName(bands);
        benchmark::RegisterBenchmark(("Reference" + suffix).c_str(), RunEngine, Engine::Reference,
                                     nullptr, bands)
            ->Apply(Sizes);
        benchmark::RegisterBenchmark(("Scalar" + suffix).c_str(), RunEngine, Engine::Scalar,
                                     nullptr, bands)
            ->Apply(Sizes);
        for (VLM::KernelIsa isa : VLM::kKernelIsas) {
            if (VLM::KernelSupported(isa)) {
                benchmark::RegisterBenchmark(
                    (std::string("Kernel_") + VLM::KernelIsaName(isa) + suffix).c_str(), RunEngine,
                    Engine::Kernel, VLM::KernelFor(isa), bands)
                    ->Apply(Sizes);
            }
        }
        // The engine's whole block, as processReplacing runs it, with the kernel chosen by speed.
        benchmark::RegisterBenchmark(
            (std::string("ProcessBlock_") + VLM::KernelIsaName(VLM::ChosenKernelIsa()) + suffix)
                .c_str(),
            RunEngine, Engine::Chosen, nullptr, bands)
            ->Apply(Sizes);
        for (const bool subnormal : {false, true}) {
            // Near-silent input is measured with every band in use, at the usual block size.
            if (subnormal && bands != Bands::All) {
                continue;
            }
            const std::string kind = subnormal ? "_subnormal" : "";
            if (plugin != nullptr) {
                auto* b = benchmark::RegisterBenchmark(
                    ("Plugin_processReplacing" + kind + suffix).c_str(), RunPlugin, plugin, bands,
                    subnormal);
                subnormal ? b->Arg(512) : b->Apply(Sizes);
            }
            if (other != nullptr) {
                auto* b =
                    benchmark::RegisterBenchmark(("Other_processReplacing" + kind + suffix).c_str(),
                                                 RunPlugin, other, bands, subnormal);
                subnormal ? b->Arg(512) : b->Apply(Sizes);
            }
        }
    }
    benchmark::AddCustomContext("kernel_chosen", VLM::KernelIsaName(VLM::ChosenKernelIsa()));
    std::string probe;
    for (VLM::KernelIsa isa : VLM::kKernelIsas) {
        if (VLM::KernelSupported(isa)) {
            probe += std::string(probe.empty() ? "" : ", ") + VLM::KernelIsaName(isa) + " " +
                     std::to_string(static_cast<long>(VLM::ChosenKernelProbeNanoseconds(isa))) +
                     " ns";
        }
    }
    benchmark::AddCustomContext("kernel_probe", probe);
    benchmark::AddCustomContext("plugin", plugin != nullptr ? "loaded" : "not built");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
