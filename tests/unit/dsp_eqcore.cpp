#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dsp/eqcore.h"
#include "dsp_reference.h"

using namespace VLM;

namespace {

constexpr double kPi = 3.14159265358979323846;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

using Faders = float[kEqBandCount];

void Fill(Faders& f, float v) {
    std::fill(std::begin(f), std::end(f), v);
}

// Two channels as the host hands them over; a copy points at its own samples.
struct Stereo {
    std::vector<float> left, right;
    float* channels[2];
    explicit Stereo(std::size_t n) : left(n), right(n), channels{left.data(), right.data()} {}
    Stereo(const Stereo& o) : left(o.left), right(o.right), channels{left.data(), right.data()} {}
    Stereo& operator=(const Stereo&) = delete;
    float** data() { return channels; }
    std::int32_t frames() const { return static_cast<std::int32_t>(left.size()); }
};

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}
std::uint64_t Bits(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

::testing::AssertionResult SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) {
        return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Bits(a[i]) != Bits(b[i])) {
            return ::testing::AssertionFailure()
                   << "sample " << i << ": expected " << b[i] << ", got " << a[i];
        }
    }
    return ::testing::AssertionSuccess();
}

template <typename T> bool SameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Every word the filtering touches, compared bit for bit.
::testing::AssertionResult SameState(const EqCore& a, const EqCore& b) {
    for (int k = 0; k < kEqBandCount; ++k) {
        if (!SameBytes(a.bands[k], b.bands[k])) {
            return ::testing::AssertionFailure() << "band " << k << " differs";
        }
    }
    if (!SameBytes(a.lowPassState, b.lowPassState)) {
        return ::testing::AssertionFailure() << "low-pass state differs";
    }
    if (!SameBytes(a.values, b.values)) {
        return ::testing::AssertionFailure() << "smoothed values differ";
    }
    if (a.dirty != b.dirty || a.bypass != b.bypass || a.blockSize != b.blockSize ||
        Bits(a.sampleRate) != Bits(b.sampleRate)) {
        return ::testing::AssertionFailure() << "block bookkeeping differs";
    }
    return ::testing::AssertionSuccess();
}

void FillSine(Stereo& s, double frequency, double sampleRate, std::int64_t start, float level) {
    for (std::int32_t i = 0; i < s.frames(); ++i) {
        const double t = static_cast<double>(start + i) / sampleRate;
        const float v = level * static_cast<float>(std::sin(2.0 * kPi * frequency * t));
        s.left[i] = v;
        s.right[i] = v;
    }
}

void FillNoise(Stereo& s, std::mt19937& rng, float level) {
    std::uniform_real_distribution<float> u(-level, level);
    for (std::int32_t i = 0; i < s.frames(); ++i) {
        s.left[i] = u(rng);
        s.right[i] = u(rng);
    }
}

// Runs the engine until every band has reached its fader value.
void Settle(EqCore& core, const Faders& faders, float sampleRate, std::int32_t frames = 512) {
    for (int i = 0; i < 100; ++i) {
        Stereo silence(static_cast<std::size_t>(frames));
        core.ProcessBlock(silence.data(), frames, sampleRate, faders, 1.0f);
    }
    for (int b = 0; b < kEqBandCount; ++b) {
        ASSERT_EQ(core.values[b], faders[b]) << "band " << b << " did not settle";
    }
}

// Level of the engine's output for a sine, relative to its input, in dB; also checks that both
// channels came out alike.
double MeasuredGainDb(EqCore& core, const Faders& faders, double frequency, float sampleRate) {
    const std::int32_t block = 512;
    const std::int64_t settle = static_cast<std::int64_t>(sampleRate); // one second
    const double periods = std::max(1.0, std::round(frequency));
    const std::int64_t window =
        static_cast<std::int64_t>(std::llround(periods * sampleRate / frequency));
    double in = 0.0, out = 0.0;
    Stereo s(block);
    for (std::int64_t start = 0; start < settle + window; start += block) {
        FillSine(s, frequency, sampleRate, start, 0.5f);
        const Stereo input(s);
        core.ProcessBlock(s.data(), block, sampleRate, faders, 1.0f);
        EXPECT_TRUE(SameBits(s.right, s.left)) << "both channels alike";
        for (std::int32_t i = 0; i < block; ++i) {
            const std::int64_t n = start + i;
            if (n >= settle && n < settle + window) {
                in += static_cast<double>(input.left[i]) * input.left[i];
                out += static_cast<double>(s.left[i]) * s.left[i];
            }
        }
    }
    return 10.0 * std::log10(out / in);
}

double CascadeDb(const BiquadCascade& c, double frequency, double sampleRate) {
    return 20.0 * std::log10(std::abs(Response(c, frequency / sampleRate)));
}

double BandDb(int band, float value, double frequency, float sampleRate) {
    const BandCoefficients c =
        DesignBand(band, value * 2.0f - 1.0f, kBandCentreFrequency[band], sampleRate);
    BiquadCascade cascade;
    cascade.numSections = 1;
    cascade.sections[0] = Biquad{1.0, c.a1, c.a2, c.b1, c.b2, c.b0};
    return CascadeDb(cascade, frequency, sampleRate);
}

EqCore Engine(float sampleRate = 44100.0f) {
    EqCore core;
    core.Init(sampleRate);
    return core;
}

bool IsSubnormal(float f) {
    return std::fpclassify(f) == FP_SUBNORMAL;
}

} // namespace

TEST(EqCoreInit, StartsDirtyWithFiniteFlatDesigns) {
    const EqCore core = Engine(48000.0f);
    EXPECT_TRUE(core.dirty);
    EXPECT_EQ(core.blockSize, 0);
    EXPECT_EQ(core.sampleRate, 48000.0f);
    EXPECT_EQ(core.smoothing.rise.rate, 44100.0f) << "the block rate is not known before a block";
    for (const EqBand& band : core.bands) {
        EXPECT_EQ(band.gainPosition, 0.0f);
        for (float c : {band.section.b0[0], band.section.b1[0], band.section.b2[0],
                        band.section.a1[0], band.section.a2[0]}) {
            EXPECT_TRUE(std::isfinite(c))
                << "a flat band's design must not be NaN, band " << band.index;
        }
    }
    EXPECT_EQ(core.lowPass.cascade.numSections, 2);
    EXPECT_EQ(core.lowPassState[1].offset, 1e-8);
}

TEST(EqCoreInit, UnusableRateStartsAtTheDefault) {
    for (float rate : {0.0f, -1.0f, kNaN, kInf}) {
        const EqCore core = Engine(rate);
        EXPECT_EQ(core.sampleRate, 44100.0f) << "Init with " << rate;
        EXPECT_EQ(core.lowPass.cascade.numSections, 2);
    }
}

TEST(EqCoreSmoothing, FirstBlockStartsAtTheFaders) {
    // Flat faders: from frame 0 the output is the low-pass alone, whatever the block size.
    Faders flat;
    Fill(flat, 0.5f);
    std::mt19937 rng(7);
    for (std::int32_t block : {1, 64, 512, 8192}) {
        EqCore core = Engine();
        Stereo signal(16384);
        FillNoise(signal, rng, 0.5f);
        Stereo expected(signal);
        CascadeState state[2];
        RunOutputLowPass(core.lowPass.cascade, state[0], expected.left.data(), expected.frames());
        RunOutputLowPass(core.lowPass.cascade, state[1], expected.right.data(), expected.frames());
        for (std::int32_t at = 0; at < signal.frames(); at += block) {
            float* part[2] = {signal.left.data() + at, signal.right.data() + at};
            core.ProcessBlock(part, block, 44100.0f, flat, 1.0f);
        }
        EXPECT_TRUE(SameBits(signal.left, expected.left)) << "left, blocks of " << block;
        EXPECT_TRUE(SameBits(signal.right, expected.right)) << "right, blocks of " << block;
    }

    // Any other setting is designed in full at the first block, and the next block only filters.
    EqCore core = Engine();
    Faders faders;
    for (int b = 0; b < kEqBandCount; ++b) {
        faders[b] = 0.05f + 0.1f * static_cast<float>(b);
    }
    Stereo s(64);
    core.ProcessBlock(s.data(), 64, 44100.0f, faders, 1.0f);
    EXPECT_FALSE(core.dirty) << "the first block clears dirty";
    const EqCore afterFirst = core;
    for (int b = 0; b < kEqBandCount; ++b) {
        EXPECT_EQ(core.values[b], faders[b]) << "band " << b;
        EXPECT_EQ(core.bands[b].gainPosition, faders[b] * 2.0f - 1.0f) << "band " << b;
    }
    core.ProcessBlock(s.data(), 64, 44100.0f, faders, 1.0f);
    EXPECT_TRUE(SameBytes(core.values, afterFirst.values)) << "nothing left to glide";
}

TEST(EqCoreSmoothing, FullBoostStepRisesOverBlocksThenSnaps) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.5f);
    Settle(core, faders, 44100.0f);
    faders[4] = 1.0f;
    Stereo s(512);
    float last = core.bands[4].gainPosition;
    int blocks = 0;
    while (core.values[4] != 1.0f && blocks < 50) {
        std::fill(s.left.begin(), s.left.end(), 0.0f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
        EXPECT_GT(core.bands[4].gainPosition, last) << "the gain rises at every block";
        last = core.bands[4].gainPosition;
        ++blocks;
    }
    EXPECT_EQ(blocks, 9) << "eight coefficient steps, then the snap to 1";
    EXPECT_EQ(core.bands[4].gainPosition, 1.0f);
    const BandCoefficients c = DesignBand(4, 1.0f, 500.0f, 44100.0f);
    EXPECT_EQ(core.bands[4].section.b0[0], c.b0);
    EXPECT_EQ(core.bands[4].section.a2[1], c.a2);
}

TEST(EqCoreSmoothing, RateFollowsSampleRateAndBlockSize) {
    EqCore core = Engine();
    Faders flat;
    Fill(flat, 0.5f);
    Stereo s(512);
    core.ProcessBlock(s.data(), 512, 44100.0f, flat, 1.0f);
    EXPECT_EQ(core.smoothing.rise.rate, 44100.0f / 512.0f);
    core.ProcessBlock(s.data(), 256, 44100.0f, flat, 1.0f);
    EXPECT_EQ(core.blockSize, 256);
    EXPECT_EQ(core.smoothing.fall.rate, 44100.0f / 256.0f);
    core.ProcessBlock(s.data(), 256, 96000.0f, flat, 1.0f);
    EXPECT_EQ(core.smoothing.rise.rate, 96000.0f / 256.0f);
}

TEST(EqCoreResponse, SingleBandMatchesItsTableAtItsCentre) {
    struct Case {
        int band;
        float value;
        float rate;
    };
    const Case cases[] = {{0, 0.0f, 44100.0f},  {5, 1.0f, 44100.0f},  {5, 23.5f / 24.0f, 44100.0f},
                          {9, 0.25f, 44100.0f}, {3, 0.75f, 48000.0f}, {7, 0.6f, 96000.0f},
                          {9, 1.0f, 48000.0f}};
    for (const Case& c : cases) {
        EqCore core = Engine();
        Faders faders;
        Fill(faders, 0.5f);
        faders[c.band] = c.value;
        Settle(core, faders, c.rate);
        const double f = kBandCentreFrequency[c.band];
        // The other bands are exactly flat and skipped; the output low-pass still acts.
        const double expected = BandShapeAt(c.band, c.value * 2.0f - 1.0f).gainDb +
                                CascadeDb(core.lowPass.cascade, f, c.rate);
        EXPECT_NEAR(MeasuredGainDb(core, faders, f, c.rate), expected, 0.02)
            << "band " << c.band << " at fader " << c.value << ", " << c.rate << " Hz";
    }
}

TEST(EqCoreResponse, NeighbouringBandsAddUp) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.5f);
    faders[5] = 0.9f;
    faders[6] = 0.2f;
    Settle(core, faders, 44100.0f);
    for (double f : {700.0, 1400.0, 3000.0}) {
        const double expected = BandDb(5, 0.9f, f, 44100.0f) + BandDb(6, 0.2f, f, 44100.0f) +
                                CascadeDb(core.lowPass.cascade, f, 44100.0);
        EXPECT_NEAR(MeasuredGainDb(core, faders, f, 44100.0f), expected, 0.02) << f << " Hz";
    }
}

TEST(EqCoreResponse, AllFlatLeavesOnlyTheLowPass) {
    EqCore core = Engine();
    Faders flat;
    Fill(flat, 0.5f);
    Settle(core, flat, 44100.0f);
    EXPECT_NEAR(MeasuredGainDb(core, flat, 1000.0, 44100.0f), 0.0, 1e-3);
    EXPECT_NEAR(MeasuredGainDb(core, flat, 20000.0, 44100.0f), -0.0016, 1e-3);
}

TEST(EqCoreBypass, OutputIsBitIdenticalWithInOut) {
    EqCore core = Engine();
    Faders faders;
    for (int b = 0; b < kEqBandCount; ++b) {
        faders[b] = 0.1f * static_cast<float>(b);
    }
    std::mt19937 rng(7);
    Stereo s(300);
    for (int block = 0; block < 20; ++block) {
        FillNoise(s, rng, 1.0f);
        s.left[5] = 1e-40f; // even subnormal input passes untouched
        const Stereo input(s);
        core.ProcessBlock(s.data(), s.frames(), 44100.0f, faders, 0.0f);
        ASSERT_TRUE(core.bypass);
        ASSERT_TRUE(SameBits(s.left, input.left)) << "block " << block;
        ASSERT_TRUE(SameBits(s.right, input.right)) << "block " << block;
    }
}

TEST(EqCoreBypass, SmoothingGoesOnAndStateWaits) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.8f);
    std::mt19937 rng(3);
    Stereo s(512);
    for (int block = 0; block < 30; ++block) {
        FillNoise(s, rng, 0.5f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
    }
    Fill(faders, 0.3f);
    const EqCore before = core;
    for (int block = 0; block < 30; ++block) {
        FillNoise(s, rng, 0.5f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 0.0f);
    }
    for (int b = 0; b < kEqBandCount; ++b) {
        EXPECT_EQ(core.values[b], 0.3f) << "band " << b << " kept gliding while IN was out";
        EXPECT_EQ(core.bands[b].section.b0[0],
                  DesignBand(b, 0.3f * 2.0f - 1.0f, kBandCentreFrequency[b], 44100.0f).b0);
        EXPECT_EQ(Bits(core.bands[b].section.w1[0]), Bits(before.bands[b].section.w1[0]))
            << "band " << b << " state waits for IN";
        EXPECT_EQ(Bits(core.bands[b].section.w2[1]), Bits(before.bands[b].section.w2[1]));
    }
    EXPECT_EQ(Bits(core.lowPassState[0].d[0][0]), Bits(before.lowPassState[0].d[0][0]));
    EXPECT_EQ(Bits(core.lowPassState[1].offset), Bits(before.lowPassState[1].offset));
}

TEST(EqCoreBypass, OnlyAnInValueOfZeroSwitchesOut) {
    EqCore core = Engine();
    Faders flat;
    Fill(flat, 0.5f);
    Stereo s(16);
    core.ProcessBlock(s.data(), 16, 44100.0f, flat, 0.0f);
    EXPECT_TRUE(core.bypass);
    core.ProcessBlock(s.data(), 16, 44100.0f, flat, 1.0f);
    EXPECT_FALSE(core.bypass);
    core.ProcessBlock(s.data(), 16, 44100.0f, flat, 0.5f);
    EXPECT_FALSE(core.bypass);
}

TEST(EqCoreBands, FlatBandIsSkippedAndItsStateFrozen) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.75f);
    std::mt19937 rng(11);
    Stereo s(512);
    for (int block = 0; block < 30; ++block) {
        FillNoise(s, rng, 0.5f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
    }
    faders[2] = 0.5f;
    for (int block = 0; block < 30; ++block) {
        FillNoise(s, rng, 0.5f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
    }
    ASSERT_EQ(core.bands[2].gainPosition, 0.0f);
    const EqCore before = core;
    FillNoise(s, rng, 0.5f);
    core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
    EXPECT_TRUE(SameBytes(core.bands[2].section, before.bands[2].section)) << "flat band frozen";
    EXPECT_NE(Bits(core.bands[3].section.w1[0]), Bits(before.bands[3].section.w1[0]))
        << "others run";
    EXPECT_NE(before.bands[2].section.w1[0], 0.0f) << "the frozen state is the one it had";
}

TEST(EqCoreBands, StateFlushBelowTheSmallestNormalFloat) {
    BandSection s = {};
    s.b0[1] = 1.0f;
    s.a1[1] = -0.5f;
    s.w1[1] = 1e-39f; // subnormal state left by a decaying tail
    s.w2[1] = 0.0f;
    float x[1] = {0.0f};
    RunBandSection(s, 1, x, 1);
    EXPECT_EQ(s.w1[1], 0.0f) << "5e-40 is below 1.17549435e-38";
    EXPECT_EQ(s.w2[1], 0.0f);
    s.w1[1] = 4e-38f;
    s.w2[1] = 0.0f;
    x[0] = 0.0f;
    RunBandSection(s, 1, x, 1);
    EXPECT_EQ(s.w1[1], 2e-38f) << "normal state words are kept";
    EXPECT_EQ(s.w2[1], 4e-38f);
}

TEST(EqCoreSampleRate, ChangeRedesignsAndCarriesStateOver) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.5f);
    faders[1] = 0.9f;
    faders[8] = 0.1f;
    std::mt19937 rng(5);
    Stereo s(512);
    for (int block = 0; block < 30; ++block) {
        FillNoise(s, rng, 0.5f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
    }
    EqCore twin = core;
    FillNoise(s, rng, 0.5f);
    Stereo reference(s);
    core.ProcessBlock(s.data(), 512, 48000.0f, faders, 1.0f);
    EXPECT_EQ(core.sampleRate, 48000.0f);
    EXPECT_EQ(core.smoothing.rise.rate, 48000.0f / 512.0f);
    const BandCoefficients c = DesignBand(8, 0.1f * 2.0f - 1.0f, 8000.0f, 48000.0f);
    EXPECT_EQ(core.bands[8].section.a1[0], c.a1) << "the block already uses the 48 kHz design";
    EXPECT_NEAR(core.lowPass.cascade.sections[1].a1, 0.716589866, 1e-9);

    // The twin takes over the same change; its states still hold the 44.1 kHz block's words.
    twin.PrepareBlock(512, 48000.0f, faders, 1.0f);
    ASSERT_NE(twin.bands[1].section.w1[0], 0.0f);
    ASSERT_NE(twin.lowPassState[0].d[0][0], 0.0);
    DspReference::Filter(twin, reference.data(), 512);
    EXPECT_TRUE(SameBits(s.left, reference.left));
    EXPECT_TRUE(SameState(core, twin));
}

TEST(EqCoreSampleRate, UnusableRateKeepsTheLastValidOne) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.7f);
    Settle(core, faders, 48000.0f);
    const EqCore before = core;
    std::mt19937 rng(9);
    Stereo s(512);
    for (float rate : {0.0f, -48000.0f, kNaN, kInf, -kInf, 1e-30f, 999.0f, 3.4e38f, 2e6f}) {
        FillNoise(s, rng, 1.0f);
        core.ProcessBlock(s.data(), 512, rate, faders, 1.0f);
        EXPECT_EQ(core.sampleRate, 48000.0f) << "after a rate of " << rate;
        EXPECT_EQ(core.smoothing.rise.rate, 48000.0f / 512.0f);
        EXPECT_EQ(Bits(core.bands[9].section.a1[0]), Bits(before.bands[9].section.a1[0]))
            << "designs kept";
        EXPECT_EQ(core.lowPass.cascade.sections[0].a1, before.lowPass.cascade.sections[0].a1);
        for (float v : s.left) {
            ASSERT_TRUE(std::isfinite(v)) << "rate " << rate;
        }
    }
}

TEST(EqCoreSampleRate, ALeftOutLowPassForgetsItsStateBeforeItComesBack) {
    EqCore core = Engine(48000.0f);
    Faders faders;
    Fill(faders, 0.5f);
    Settle(core, faders, 48000.0f);
    // A sample near the float limit leaves a huge, still finite, state in the low-pass.
    Stereo loud(512);
    loud.left[500] = 3.0e38f;
    loud.right[500] = -3.0e38f;
    core.ProcessBlock(loud.data(), 512, 48000.0f, faders, 1.0f);
    // At 32 kHz the low-pass is left out; back at 48 kHz it must start from silence.
    Stereo silence(512);
    core.ProcessBlock(silence.data(), 512, 32000.0f, faders, 1.0f);
    for (const CascadeState& state : core.lowPassState) {
        for (const auto& section : state.d) {
            EXPECT_EQ(section[0], 0.0);
            EXPECT_EQ(section[1], 0.0);
        }
    }
    std::mt19937 rng(3);
    for (int block = 0; block < 4; ++block) {
        Stereo s(512);
        FillNoise(s, rng, 1.0f);
        core.ProcessBlock(s.data(), 512, 48000.0f, faders, 1.0f);
        for (std::int32_t i = 0; i < 512; ++i) {
            ASSERT_TRUE(std::isfinite(s.left[i]) && std::fabs(s.left[i]) < 16.0f)
                << "block " << block << " sample " << i << ": " << s.left[i];
        }
    }
}

TEST(EqCoreSampleRate, EveryRateRunsStableFilters) {
    const float rates[] = {22050.0f, 32000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
    const float settings[] = {0.0f, 1.0f, -1.0f /* alternate */, -2.0f /* random */};
    for (float rate : rates) {
        for (float setting : settings) {
            EqCore core = Engine();
            Faders faders;
            std::mt19937 rng(static_cast<unsigned>(rate));
            std::uniform_real_distribution<float> u(0.0f, 1.0f);
            for (int b = 0; b < kEqBandCount; ++b) {
                faders[b] = setting >= 0.0f ? setting : setting == -1.0f ? float(b % 2) : u(rng);
            }
            float peak = 0.0f;
            const std::int32_t block = 512;
            Stereo s(block);
            const double tones[] = {0.0, 31.0, 1000.0, 16000.0, 0.45 * rate, 0.5 * rate};
            for (double tone : tones) {
                for (std::int64_t start = 0; start < static_cast<std::int64_t>(rate / 2);
                     start += block) {
                    if (tone == 0.0) {
                        FillNoise(s, rng, 1.0f);
                    } else {
                        FillSine(s, std::min(tone, 0.5 * rate), rate, start, 1.0f);
                        if (tone == 0.5 * rate) {
                            for (std::int32_t i = 0; i < block; ++i) {
                                s.left[i] = s.right[i] = (start + i) % 2 ? -1.0f : 1.0f;
                            }
                        }
                    }
                    core.ProcessBlock(s.data(), block, rate, faders, 1.0f);
                    for (std::int32_t i = 0; i < block; ++i) {
                        ASSERT_TRUE(std::isfinite(s.left[i]) && std::isfinite(s.right[i]))
                            << rate << " Hz, faders " << setting << ", tone " << tone;
                        peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
                    }
                }
            }
            // All ten bands at full boost overlap to about +34 dB; a runaway filter goes far
            // beyond within half a second.
            EXPECT_LT(peak, 128.0f) << rate << " Hz, faders " << setting;
            for (const EqBand& band : core.bands) {
                BandCoefficients c{band.section.b0[0], band.section.b1[0], band.section.b2[0],
                                   band.section.a1[0], band.section.a2[0]};
                EXPECT_TRUE(IsStable(c)) << rate << " Hz, band " << band.index;
            }
            EXPECT_EQ(core.lowPass.cascade.numSections, rate > 43000.0f ? 2 : 0) << rate;
        }
    }
}

TEST(EqCoreRobustness, NonFiniteInputLeavesNoNonFiniteState) {
    for (float bad : {kNaN, kInf, -kInf}) {
        EqCore core = Engine();
        Faders faders;
        Fill(faders, 0.85f);
        std::mt19937 rng(13);
        Stereo s(512);
        for (int block = 0; block < 20; ++block) {
            FillNoise(s, rng, 0.5f);
            core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
        }
        EqCore twin = core;
        FillNoise(s, rng, 0.5f);
        Stereo clean(s);
        s.left[100] = bad;
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
        twin.ProcessBlock(clean.data(), 512, 44100.0f, faders, 1.0f);
        EXPECT_TRUE(SameBits(s.right, clean.right)) << "the other channel is untouched by " << bad;
        for (const EqBand& band : core.bands) {
            EXPECT_TRUE(std::isfinite(band.section.w1[0]) && std::isfinite(band.section.w2[0]))
                << "band " << band.index << " after " << bad;
        }
        for (double d : {core.lowPassState[0].d[0][0], core.lowPassState[0].d[0][1],
                         core.lowPassState[0].d[1][0], core.lowPassState[0].d[1][1]}) {
            EXPECT_TRUE(std::isfinite(d)) << "low-pass state after " << bad;
        }
        FillNoise(s, rng, 0.5f);
        core.ProcessBlock(s.data(), 512, 44100.0f, faders, 1.0f);
        for (float v : s.left) {
            ASSERT_TRUE(std::isfinite(v)) << "the block after " << bad << " is clean";
        }
    }
}

TEST(EqCoreRobustness, AnyFaderValueStaysInsideTheTables) {
    EqCore core = Engine();
    const Faders wild = {kNaN, kInf, -kInf, 2.0f, -1.0f, 1e30f, -0.0f, 1e-40f, -kNaN, 1.0f};
    std::mt19937 rng(17);
    Stereo s(256);
    for (int block = 0; block < 40; ++block) {
        FillNoise(s, rng, 1.0f);
        core.ProcessBlock(s.data(), 256, 44100.0f, wild, 1.0f);
        for (int b = 0; b < kEqBandCount; ++b) {
            ASSERT_GE(core.values[b], 0.0f) << "band " << b;
            ASSERT_LE(core.values[b], 1.0f) << "band " << b;
            ASSERT_GE(core.bands[b].gainPosition, -1.0f);
            ASSERT_LE(core.bands[b].gainPosition, 1.0f);
        }
        for (float v : s.left) {
            ASSERT_TRUE(std::isfinite(v)) << "block " << block;
        }
    }
    EXPECT_EQ(core.values[1], 1.0f) << "+inf reads as the top";
    EXPECT_EQ(core.values[2], 0.0f) << "-inf reads as the bottom";
    EXPECT_EQ(core.values[0], 0.0f) << "NaN holds the band where it was";

    const EqCore before = core;
    core.UpdateBand(-1, 1.0f);
    core.UpdateBand(kEqBandCount, 1.0f);
    EXPECT_TRUE(SameState(core, before)) << "no band outside 0..9";
}

TEST(EqCoreRobustness, NothingHappensWithoutBuffersOrFrames) {
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 1.0f);
    Stereo s(64);
    const EqCore before = core;
    core.ProcessBlock(nullptr, 64, 48000.0f, faders, 0.0f);
    core.ProcessBlock(s.data(), 0, 48000.0f, faders, 0.0f);
    core.ProcessBlock(s.data(), -5, 48000.0f, faders, 0.0f);
    EXPECT_TRUE(SameState(core, before));
    EXPECT_TRUE(core.dirty);

    float* missing[2] = {s.left.data(), nullptr};
    core.ProcessBlock(missing, 64, 44100.0f, faders, 1.0f); // must not crash
}

TEST(EqCoreDenormals, NoSubnormalOutputFromSilenceOrTails) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        EqCore core = Engine(rate);
        Faders faders;
        for (int b = 0; b < kEqBandCount; ++b) {
            faders[b] = b % 3 == 0 ? 0.5f : (b % 3 == 1 ? 1.0f : 0.0f);
        }
        std::mt19937 rng(19);
        Stereo s(512);
        int subnormals = 0, nonZero = 0;
        for (int block = 0; block < 20; ++block) {
            FillNoise(s, rng, 1.0f);
            core.ProcessBlock(s.data(), 512, rate, faders, 1.0f);
        }
        const int silentBlocks = static_cast<int>(rate * 6 / 512);
        for (int block = 0; block < silentBlocks; ++block) {
            std::fill(s.left.begin(), s.left.end(), 0.0f);
            std::fill(s.right.begin(), s.right.end(), 0.0f);
            core.ProcessBlock(s.data(), 512, rate, faders, 1.0f);
            for (std::int32_t i = 0; i < 512; ++i) {
                subnormals += IsSubnormal(s.left[i]) + IsSubnormal(s.right[i]);
                nonZero += (s.left[i] != 0.0f) + (s.right[i] != 0.0f);
                EXPECT_FALSE(std::signbit(s.left[i]) && s.left[i] == 0.0f)
                    << "flushed samples are +0.0";
            }
        }
        EXPECT_EQ(subnormals, 0) << "subnormal output samples at " << rate << " Hz";
        EXPECT_GT(nonZero, 0) << "the tail itself is kept at " << rate << " Hz";
        for (const EqBand& band : core.bands) {
            EXPECT_FALSE(IsSubnormal(band.section.w1[0]) || IsSubnormal(band.section.w2[0]));
        }
    }
}

TEST(EqCoreReference, BitIdenticalToTheScalarFilter) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> frames(1, 1500);
    const float rates[] = {44100.0f, 48000.0f, 96000.0f, 32000.0f, 22050.0f, 0.0f, kNaN};
    EqCore core = Engine();
    Faders faders;
    Fill(faders, 0.5f);
    float rate = 44100.0f;
    float in = 1.0f;
    for (int block = 0; block < 400; ++block) {
        const float event = unit(rng);
        if (event < 0.05f) {
            rate = rates[rng() % 7];
        } else if (event < 0.1f) {
            in = in == 0.0f ? 1.0f : 0.0f;
        } else if (event < 0.4f) {
            const float pick = unit(rng);
            faders[rng() % kEqBandCount] = pick < 0.2f ? 0.5f : (pick < 0.3f ? 1.0f : unit(rng));
        }
        const std::int32_t n = frames(rng);
        Stereo s(static_cast<std::size_t>(n));
        FillNoise(s, rng, 1.0f);
        Stereo expected(s);
        EqCore twin = core;
        core.ProcessBlock(s.data(), n, rate, faders, in);
        twin.PrepareBlock(n, rate, faders, in);
        DspReference::Filter(twin, expected.data(), n);
        ASSERT_TRUE(SameBits(s.left, expected.left)) << "left, block " << block;
        ASSERT_TRUE(SameBits(s.right, expected.right)) << "right, block " << block;
        ASSERT_TRUE(SameState(core, twin)) << "block " << block;
    }
}
