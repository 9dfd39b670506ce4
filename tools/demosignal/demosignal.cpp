// Writes the demo signal of the main job: eight seconds of stereo audio at 48 kHz, 24-bit, with
// something in every band: a bass line, a chord, hi-hat-like noise bursts and a slow sweep.
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 8;
constexpr double kPi = 3.14159265358979323846;

// A small deterministic noise source, so that the file is the same on every machine.
struct Noise {
    std::uint32_t state = 0x12345678u;
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 4294967295.0 * 2.0 - 1.0;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demosignal OUT.wav\n");
        return 2;
    }
    const int frames = kRate * kSeconds;
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    Noise noise;
    const double bassNotes[4] = {55.0, 55.0, 73.42, 65.41}; // A1, A1, D2, C2
    const double chord[3] = {220.0, 277.18, 329.63};         // A minor-ish triad
    double sweepPhase = 0.0;
    double hiss = 0.0;
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double beat = std::fmod(t, 0.5);
        const double bass = bassNotes[static_cast<int>(t / 2.0) % 4];
        double left = 0.35 * std::sin(2 * kPi * bass * t) * std::exp(-3.0 * std::fmod(t, 1.0));
        double right = left;
        for (int k = 0; k < 3; ++k) {
            const double tone = 0.08 * std::sin(2 * kPi * chord[k] * t);
            left += tone * (k == 0 ? 1.2 : 0.8);
            right += tone * (k == 2 ? 1.2 : 0.8);
        }
        // Noise bursts high-passed by a first difference: bright, like a hi-hat.
        const double white = noise.Next();
        const double bright = white - hiss;
        hiss = white;
        const double burst = 0.12 * bright * std::exp(-40.0 * std::fmod(beat + 0.25, 0.5));
        left += burst;
        right += burst * 0.8;
        // A logarithmic sweep from 40 Hz to 18 kHz across the file.
        const double f = 40.0 * std::pow(18000.0 / 40.0, t / kSeconds);
        sweepPhase += 2 * kPi * f / kRate;
        const double sweep = 0.05 * std::sin(sweepPhase);
        samples[static_cast<std::size_t>(n) * 2] = static_cast<float>(left + sweep);
        samples[static_cast<std::size_t>(n) * 2 + 1] = static_cast<float>(right + sweep);
    }
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "demosignal: cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const sf_count_t written = sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    if (written != frames) {
        std::fprintf(stderr, "demosignal: short write to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
