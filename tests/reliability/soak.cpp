// The soak: one instance processes a long run of 512-frame stereo blocks (a million by default,
// about three hours of audio at 48 kHz) under random automation, sample-rate changes, IN toggles,
// state restores and text requests, fed with noise, tones, impulses, silence and input in the
// subnormal range. It fails (exit status 1) on any non-finite output from finite input and on
// any growth of the heap in use or of the resident memory; it reports, and never judges, the
// time each block took, so that a denormal slow-down shows up in the figures.
//
// reliability_soak [--blocks N] [--seed S]
#include "counting_host.h"

#include "host/vstmain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#if VLM_SANITIZED
// The sanitizer runtime's count of the bytes its allocator has handed out and not had back.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

constexpr VstInt32 kFrames = 512;
constexpr long kWarmUpBlocks = 2000;
// Resident memory may move by a page or two as the kernel pleases; the heap may not move at all.
constexpr long kResidentSlackBytes = 256 * 1024;

// A small generator of random numbers, the same on every machine and cheap per sample.
class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed * 2862933555777941757ULL + 3037000493ULL) {}
    std::uint32_t Next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
    float Uniform() { return static_cast<float>(Next() >> 8) / 16777216.0f; } // 0..1
    float Signed() { return Uniform() * 2.0f - 1.0f; }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint64_t state;
};

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

long HeapInUse() {
#if VLM_SANITIZED
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<long>(mallinfo2().uordblks);
#endif
}

// What the input is made of for a stretch of blocks.
enum class Material { Noise, Tone, Impulses, Silence, Subnormal, Square, Count };

const char* Name(Material m) {
    switch (m) {
    case Material::Noise:
        return "noise";
    case Material::Tone:
        return "tone";
    case Material::Impulses:
        return "impulses";
    case Material::Silence:
        return "silence";
    case Material::Subnormal:
        return "subnormal";
    case Material::Square:
        return "square";
    default:
        return "?";
    }
}

class Soak {
public:
    Soak(long blockCount, std::uint64_t seed)
        : blocks(blockCount), random(seed), left(kFrames), right(kFrames),
          times(static_cast<std::size_t>(blockCount)),
          materials(static_cast<std::size_t>(blockCount)) {}

    int Run() {
        fx = VSTPluginMain(VLM::Reliability::CountingHost);
        if (fx == nullptr) {
            std::fprintf(stderr, "soak: the entry point answered null\n");
            return 1;
        }
        for (long b = 0; b < kWarmUpBlocks; ++b) {
            Block(b, false);
        }
        Settle();
        const long residentBefore = ResidentBytes();
        const long heapBefore = HeapInUse();
        for (long b = 0; b < blocks; ++b) {
            Block(b, true);
        }
        Settle();
        const long residentAfter = ResidentBytes();
        const long heapAfter = HeapInUse();
        fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);

        Report(residentBefore, residentAfter, heapBefore, heapAfter);
        bool ok = true;
        if (nonFiniteFrames != 0) {
            std::printf("FAIL: %ld frames came out NaN or infinite from finite input (first in "
                        "block %ld), expected none\n",
                        nonFiniteFrames, firstNonFiniteBlock);
            ok = false;
        }
        if (heapAfter != heapBefore) {
            std::printf("FAIL: the heap in use went from %ld to %ld bytes, expected no change\n",
                        heapBefore, heapAfter);
            ok = false;
        }
        // A sanitizer holds freed blocks back in quarantine and takes fresh pages meanwhile, so
        // resident memory is judged in the plain build only; the heap count is exact in both.
        if (!VLM_SANITIZED && residentAfter - residentBefore > kResidentSlackBytes) {
            std::printf("FAIL: resident memory grew from %ld to %ld bytes, expected at most %ld "
                        "bytes more\n",
                        residentBefore, residentAfter, kResidentSlackBytes);
            ok = false;
        }
        if (VLM::Reliability::Counters().badAutomations.load() != 0) {
            std::printf("FAIL: %ld automations of an index beyond the ten parameters or with "
                        "a value outside 0..1\n",
                        VLM::Reliability::Counters().badAutomations.load());
            ok = false;
        }
        std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
        return ok ? 0 : 1;
    }

private:
    // The same settings and the same texts asked for before and after. The controls cache their
    // read-out texts, and a text keeps the longest block it ever needed ("-12.0"), so each
    // fader shows its longest text once before it goes back to 0 dB.
    void Settle() {
        for (float v : {0.0f, 0.5f}) {
            for (VstInt32 id = 0; id < 10; ++id) {
                fx->setParameter(fx, id, v);
                char text[kVstMaxParamStrLen];
                fx->dispatcher(fx, effGetParamDisplay, id, 0, text, 0.0f);
            }
        }
        fx->setParameter(fx, 10, 1.0f);
    }

    void Host(long b) {
        // Automation: two faders glide every block, all of them jump now and then.
        for (int k = 0; k < 2; ++k) {
            const auto band = static_cast<int>(random.Below(10));
            fader[band] = std::clamp(fader[band] + 0.02f * random.Signed(), 0.0f, 1.0f);
            fx->setParameter(fx, band, fader[band]);
        }
        if (b % 1000 == 999) {
            for (int band = 0; band < 10; ++band) {
                fader[band] = random.Uniform();
                fx->setParameter(fx, band, fader[band]);
            }
        }
        // The IN switch: short spells out now and then.
        if (b % 5000 == 4000) {
            fx->setParameter(fx, 10, 0.0f);
        } else if (b % 5000 == 4200) {
            fx->setParameter(fx, 10, 1.0f);
        }
        if (b % 20000 == 0) {
            static const float kRates[] = {44100.0f, 48000.0f,  88200.0f, 96000.0f,
                                           22050.0f, 192000.0f, 32000.0f, 176400.0f};
            rate = kRates[random.Below(sizeof kRates / sizeof kRates[0])];
            fx->dispatcher(fx, effSetSampleRate, 0, 0, nullptr, rate);
        }
        // The host's other thread, here in turn: state saved and restored, texts shown.
        if (b % 1000 == 500) {
            void* data = nullptr;
            const auto size = fx->dispatcher(fx, effGetChunk, 0, 0, &data, 0.0f);
            if (size > 0 && size <= static_cast<VstIntPtr>(sizeof chunk)) {
                std::memcpy(chunk, data, static_cast<std::size_t>(size));
                fx->dispatcher(fx, effSetChunk, 0, size, chunk, 0.0f);
            }
        }
        if (b % 100 == 50) {
            char text[kVstMaxParamStrLen];
            fx->dispatcher(fx, effGetParamDisplay, static_cast<VstInt32>(random.Below(10)), 0, text,
                           0.0f);
        }
        if (b % 2000 == 0) {
            material = static_cast<Material>(random.Below(static_cast<int>(Material::Count)));
            amplitude = 0.05f + random.Uniform();
            phaseStep = 0.0005f + 0.2f * random.Uniform();
        }
    }

    void Fill() {
        for (VstInt32 i = 0; i < kFrames; ++i) {
            const auto k = static_cast<std::size_t>(i);
            float l = 0.0f, r = 0.0f;
            switch (material) {
            case Material::Noise:
                l = amplitude * random.Signed();
                r = amplitude * random.Signed();
                break;
            case Material::Tone:
                phase += phaseStep;
                if (phase > 6.2831853f) {
                    phase -= 6.2831853f;
                }
                l = amplitude * std::sin(phase);
                r = amplitude * std::cos(phase);
                break;
            case Material::Impulses:
                l = r = random.Below(4096) == 0 ? amplitude : 0.0f;
                break;
            case Material::Silence:
                break;
            case Material::Subnormal:
                l = 1e-39f * random.Signed();
                r = 1e-41f * random.Signed();
                break;
            default:
                l = r = (i / 64) % 2 == 0 ? amplitude : -amplitude;
                break;
            }
            left[k] = l;
            right[k] = r;
        }
    }

    void Block(long b, bool measured) {
        Host(b);
        Fill();
        float* channels[2] = {left.data(), right.data()};
        const auto start = std::chrono::steady_clock::now();
        fx->processReplacing(fx, channels, channels, kFrames);
        const auto end = std::chrono::steady_clock::now();
        for (VstInt32 i = 0; i < kFrames; ++i) {
            const auto k = static_cast<std::size_t>(i);
            if (!std::isfinite(left[k]) || !std::isfinite(right[k])) {
                if (nonFiniteFrames++ == 0) {
                    firstNonFiniteBlock = b;
                }
            }
        }
        if (measured) {
            const auto k = static_cast<std::size_t>(b);
            times[k] =
                static_cast<float>(std::chrono::duration<double, std::micro>(end - start).count());
            materials[k] = static_cast<std::uint8_t>(material);
        }
    }

    static float Percentile(std::vector<float>& sorted, double p) {
        if (sorted.empty()) {
            return 0.0f;
        }
        const auto i = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
        return sorted[i];
    }

    void Report(long residentBefore, long residentAfter, long heapBefore, long heapAfter) {
        std::vector<float> sorted(times);
        std::sort(sorted.begin(), sorted.end());
        const float median = Percentile(sorted, 0.5);
        const float worst = sorted.empty() ? 0.0f : sorted.back();
        const double hours = static_cast<double>(blocks) * kFrames / 48000.0 / 3600.0;
        std::printf("blocks: %ld of %d stereo frames (%.2f hours of audio at 48 kHz), %s build\n",
                    blocks, kFrames, hours, VLM_SANITIZED ? "sanitizer" : "plain");
        std::printf("non-finite output frames: %ld\n", nonFiniteFrames);
        std::printf("heap in use: %ld bytes before, %ld after\n", heapBefore, heapAfter);
        std::printf("resident memory: %ld KiB before, %ld KiB after\n", residentBefore / 1024,
                    residentAfter / 1024);
        std::printf("time per block (us): median %.2f, 99%% %.2f, 99.9%% %.2f, worst %.2f, "
                    "worst/median %.1f\n",
                    static_cast<double>(median), static_cast<double>(Percentile(sorted, 0.99)),
                    static_cast<double>(Percentile(sorted, 0.999)), static_cast<double>(worst),
                    median > 0.0f ? static_cast<double>(worst / median) : 0.0);
        // Per kind of input: silence and subnormal input are where denormals would show.
        for (int m = 0; m < static_cast<int>(Material::Count); ++m) {
            std::vector<float> own;
            for (std::size_t k = 0; k < times.size(); ++k) {
                if (materials[k] == m) {
                    own.push_back(times[k]);
                }
            }
            std::sort(own.begin(), own.end());
            std::printf("  %-9s %8zu blocks, median %.2f us, 99%% %.2f us\n",
                        Name(static_cast<Material>(m)), own.size(),
                        static_cast<double>(Percentile(own, 0.5)),
                        static_cast<double>(Percentile(own, 0.99)));
        }
    }

    long blocks;
    Random random;
    AEffect* fx = nullptr;
    std::vector<float> left, right;
    std::vector<float> times;
    std::vector<std::uint8_t> materials;
    std::uint8_t chunk[4096] = {};
    float fader[10] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    float rate = 44100.0f;
    Material material = Material::Noise;
    float amplitude = 0.5f;
    float phase = 0.0f;
    float phaseStep = 0.01f;
    long nonFiniteFrames = 0;
    long firstNonFiniteBlock = -1;
};

} // namespace

int main(int argc, char** argv) {
    long blocks = 1000000;
    std::uint64_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--blocks") {
            blocks = std::strtol(argv[i + 1], nullptr, 10);
        } else if (option == "--seed") {
            seed = std::strtoull(argv[i + 1], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: %s [--blocks N] [--seed S]\n", argv[0]);
            return 2;
        }
    }
    if (blocks <= 0 || (argc % 2) == 0) {
        std::fprintf(stderr, "usage: %s [--blocks N] [--seed S]\n", argv[0]);
        return 2;
    }
    return Soak(blocks, seed).Run();
}
