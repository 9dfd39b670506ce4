#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/eqcore.h"
#include "dsp/kernel.h"
#include "dsp/kernel_pipeline.h"
#include "dsp_reference.h"

using namespace VLM;

namespace {

// A stand-in for the 512-bit instruction set built from four 128-bit quarters, so that the
// pipeline's layout for the widest vectors (eight slots a vector, ten bands in two) runs and is
// checked on any processor.
struct Quarters {
    __m128 q[4];
};

struct IsaFourQuarters {
    static constexpr int kQuarters = 4;
    static constexpr int kWrapSkew = 3;
    static constexpr bool kUnrollEnds = true;
    using F = Quarters;
    using LowPass = LowPass128;

    template <typename Op> static F Each(const F& a, const F& b, Op op) {
        return F{{op(a.q[0], b.q[0]), op(a.q[1], b.q[1]), op(a.q[2], b.q[2]), op(a.q[3], b.q[3])}};
    }
    static F Zero() {
        return F{{_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()}};
    }
    static F FromQuarters(const __m128 (&q)[kQuarters]) { return F{{q[0], q[1], q[2], q[3]}}; }
    static F Add(const F& a, const F& b) {
        return Each(a, b, [](__m128 x, __m128 y) { return _mm_add_ps(x, y); });
    }
    static F Sub(const F& a, const F& b) {
        return Each(a, b, [](__m128 x, __m128 y) { return _mm_sub_ps(x, y); });
    }
    static F Mul(const F& a, const F& b) {
        return Each(a, b, [](__m128 x, __m128 y) { return _mm_mul_ps(x, y); });
    }
    static F InsertInput(F x, __m128 in) {
        x.q[0] = _mm_castpd_ps(_mm_move_sd(_mm_castps_pd(x.q[0]), _mm_castps_pd(in)));
        return x;
    }
    // Pair k moves to pair k + 1, across the quarters.
    static F ShiftPairs(const F& y) {
        return F{{_mm_movelh_ps(y.q[0], y.q[0]),
                  _mm_shuffle_ps(y.q[0], y.q[1], _MM_SHUFFLE(1, 0, 3, 2)),
                  _mm_shuffle_ps(y.q[1], y.q[2], _MM_SHUFFLE(1, 0, 3, 2)),
                  _mm_shuffle_ps(y.q[2], y.q[3], _MM_SHUFFLE(1, 0, 3, 2))}};
    }
    template <int kQuarter> static __m128 Quarter(const F& v) { return v.q[kQuarter]; }
    static F BroadcastPair(const float (&pair)[2]) {
        const __m128 x = BroadcastPair128(pair);
        return F{{x, x, x, x}};
    }
    template <int kPair> static F BlendPair(const F& yes, F no) {
        no.q[kPair / 2] = BlendPair128<kPair % 2>(yes.q[kPair / 2], no.q[kPair / 2]);
        return no;
    }
};

void RunFourQuarters(KernelJob& job, float* left, float* right, std::int64_t frames) {
    RunKernel<IsaFourQuarters>(job, left, right, frames);
}

// A kernel under test: each one the processor supports, and the stand-in for the widest.
struct Kernel {
    const char* name;
    KernelFunction run;
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

std::vector<KernelIsa> SupportedIsas() {
    std::vector<KernelIsa> isas;
    for (KernelIsa isa : kKernelIsas) {
        if (KernelSupported(isa)) {
            isas.push_back(isa);
        }
    }
    return isas;
}

std::vector<Kernel> KernelsUnderTest() {
    std::vector<Kernel> kernels;
    for (KernelIsa isa : SupportedIsas()) {
        kernels.push_back({KernelIsaName(isa), KernelFor(isa)});
    }
    kernels.push_back({"four 128-bit quarters", &RunFourQuarters});
    return kernels;
}

// Bit equality, except that any NaN matches any NaN: payloads may differ by operand order.
template <typename T> bool Same(T a, T b) {
    if (std::isnan(a) && std::isnan(b)) {
        return true;
    }
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(std::size_t n) : left(n), right(n) {}
};

::testing::AssertionResult SameSamples(const std::vector<float>& got,
                                       const std::vector<float>& expected, const char* channel) {
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (!Same(got[i], expected[i])) {
            return ::testing::AssertionFailure()
                   << channel << " sample " << i << " of " << got.size() << ": expected "
                   << expected[i] << ", got " << got[i];
        }
    }
    return ::testing::AssertionSuccess();
}

// Every state word the filtering writes.
::testing::AssertionResult SameState(const EqCore& got, const EqCore& expected) {
    for (int b = 0; b < kEqBandCount; ++b) {
        const BandSection& g = got.bands[b].section;
        const BandSection& e = expected.bands[b].section;
        for (int c = 0; c < 2; ++c) {
            if (!Same(g.w1[c], e.w1[c]) || !Same(g.w2[c], e.w2[c])) {
                return ::testing::AssertionFailure()
                       << "band " << b << " channel " << c << " state: expected " << e.w1[c] << ", "
                       << e.w2[c] << ", got " << g.w1[c] << ", " << g.w2[c];
            }
        }
    }
    for (int c = 0; c < 2; ++c) {
        const CascadeState& g = got.lowPassState[c];
        const CascadeState& e = expected.lowPassState[c];
        bool same = Same(g.offset, e.offset);
        for (int k = 0; k < 2; ++k) {
            same = same && Same(g.d[k][0], e.d[k][0]) && Same(g.d[k][1], e.d[k][1]);
        }
        if (!same) {
            return ::testing::AssertionFailure()
                   << "low-pass state of channel " << c << ": expected offset " << e.offset << " d "
                   << e.d[0][0] << " " << e.d[0][1] << " " << e.d[1][0] << " " << e.d[1][1]
                   << ", got offset " << g.offset << " d " << g.d[0][0] << " " << g.d[0][1] << " "
                   << g.d[1][0] << " " << g.d[1][1];
        }
    }
    return ::testing::AssertionSuccess();
}

// Random engines, signals and settings, all from one seeded generator.
class Randomiser {
public:
    explicit Randomiser(unsigned seed) : rng(seed) {}

    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng); }

    // Any float bit pattern that is not NaN: subnormals, zeros of both signs, huge values.
    float AnyFloat() {
        for (;;) {
            const std::uint32_t bits = static_cast<std::uint32_t>(rng());
            float f;
            std::memcpy(&f, &bits, sizeof f);
            if (!std::isnan(f)) {
                return f;
            }
        }
    }

    float Sample() {
        const int kind = Int(0, 99);
        if (kind < 70) {
            return Uniform(-1.0f, 1.0f);
        }
        switch (kind % 10) {
        case 0:
            return 0.0f;
        case 1:
            return -0.0f;
        case 2:
            return Uniform(-1.0f, 1.0f) * 1e-39f; // subnormal
        case 3:
            return Uniform(-1.0f, 1.0f) * 3e38f;
        case 4:
            return Chance(0.5) ? kInf : -kInf;
        case 5:
            return kNaN;
        case 6:
            return AnyFloat();
        default:
            return Uniform(-1e4f, 1e4f);
        }
    }

    // Mostly ordinary audio, with runs of silence, tiny values and the odd bad sample.
    void Fill(Stereo& s) {
        const int style = Int(0, 3);
        for (std::size_t i = 0; i < s.left.size(); ++i) {
            for (float* v : {&s.left[i], &s.right[i]}) {
                switch (style) {
                case 0:
                    *v = Uniform(-1.0f, 1.0f);
                    break;
                case 1:
                    *v = Chance(0.02) ? Sample() : Uniform(-1.0f, 1.0f);
                    break;
                case 2:
                    *v = Chance(0.5) ? 0.0f : Uniform(-1.0f, 1.0f) * 1e-30f;
                    break;
                default:
                    *v = Sample();
                    break;
                }
            }
        }
    }

    float StateWord() {
        switch (Int(0, 5)) {
        case 0:
            return 0.0f;
        case 1:
            return -0.0f;
        case 2:
            return Uniform(-1.0f, 1.0f) * 1e-38f;
        default:
            return Uniform(-2.0f, 2.0f);
        }
    }

    // Either a band's own stable design at a random position and rate, or raw numbers.
    void Section(EqBand& band, float gainPosition) {
        band.gainPosition = gainPosition;
        if (Chance(0.7)) {
            const float rates[] = {44100.0f, 48000.0f,  88200.0f,
                                   96000.0f, 192000.0f, Uniform(44000.0f, 200000.0f)};
            const BandCoefficients c = DesignBand(
                band.index, gainPosition, kBandCentreFrequency[band.index], rates[Int(0, 5)]);
            BandSection& s = band.section;
            for (int ch = 0; ch < 2; ++ch) {
                s.b0[ch] = c.b0;
                s.b1[ch] = c.b1;
                s.b2[ch] = c.b2;
                s.a1[ch] = c.a1;
                s.a2[ch] = c.a2;
            }
        } else {
            BandSection& s = band.section;
            for (int ch = 0; ch < 2; ++ch) {
                for (float* v : {&s.b0[ch], &s.b1[ch], &s.b2[ch], &s.a1[ch], &s.a2[ch]}) {
                    *v = Chance(0.9) ? Uniform(-2.5f, 2.5f) : AnyFloat();
                }
            }
        }
    }

    // New settings between blocks, as fader moves and rate changes bring them.
    void Settings(EqCore& core, bool everything) {
        for (EqBand& band : core.bands) {
            if (!everything && !Chance(0.3)) {
                continue;
            }
            const float g = Chance(0.35) ? (Chance(0.5) ? 0.0f : -0.0f) : Uniform(-1.0f, 1.0f);
            Section(band, g);
        }
        if (!everything && !Chance(0.2)) {
            return;
        }
        const int kind = Int(0, 9);
        if (kind < 6) {
            DesignOutputLowPass(core.lowPass, Uniform(44000.0f, 200000.0f));
        } else if (kind < 8) {
            DesignOutputLowPass(core.lowPass, 32000.0); // left out
        } else {
            core.lowPass.cascade.numSections = 2;
            for (Biquad& q : core.lowPass.cascade.sections) {
                for (double* v : {&q.b0, &q.b1, &q.b2, &q.a1, &q.a2}) {
                    *v = Uniform(-2.5f, 2.5f);
                }
            }
        }
    }

    void States(EqCore& core) {
        for (EqBand& band : core.bands) {
            for (int c = 0; c < 2; ++c) {
                band.section.w1[c] = StateWord();
                band.section.w2[c] = StateWord();
            }
        }
        for (CascadeState& state : core.lowPassState) {
            state.offset = Chance(0.5) ? 1e-8 : -1e-8;
            for (auto& section : state.d) {
                section[0] = StateWord();
                section[1] = StateWord();
            }
        }
    }

    std::mt19937 rng;
};

EqCore Engine() {
    EqCore core;
    core.Init(48000.0f);
    core.dirty = false;
    return core;
}

// Filters one block with a kernel and with the scalar reference, from the same state.
::testing::AssertionResult SameAsReference(const Kernel& kernel, EqCore& core, EqCore& twin,
                                           Stereo& s) {
    Stereo expected = s;
    const auto n = static_cast<std::int32_t>(s.left.size());
    float* got[2] = {s.left.data(), s.right.data()};
    float* want[2] = {expected.left.data(), expected.right.data()};
    core.FilterWith(kernel.run, got, n);
    // A block without frames is no block: the engine leaves even the states' settling to the
    // next real one, where the reference would settle them at once.
    if (n > 0) {
        DspReference::Filter(twin, want, n);
    }
    ::testing::AssertionResult left = SameSamples(s.left, expected.left, "left");
    if (!left) {
        return left;
    }
    ::testing::AssertionResult right = SameSamples(s.right, expected.right, "right");
    if (!right) {
        return right;
    }
    return SameState(core, twin);
}

std::string Describe(const Kernel& kernel, const EqCore& core, std::size_t frames) {
    std::ostringstream text;
    text << kernel.name << ", " << frames << " frames, active bands";
    for (const EqBand& band : core.bands) {
        if (band.gainPosition != 0.0f) {
            text << ' ' << band.index;
        }
    }
    text << (core.lowPass.cascade.numSections == 2 ? ", low-pass" : ", no low-pass");
    return text.str();
}

} // namespace

TEST(FilterKernel, EveryBuildOffersTheBaselineKernelAndChoosesTheFastest) {
    std::string names;
    for (KernelIsa isa : SupportedIsas()) {
        names += std::string(names.empty() ? "" : " ") + KernelIsaName(isa);
    }
    RecordProperty("kernels", names);
    RecordProperty("chosen", KernelIsaName(ChosenKernelIsa()));
    EXPECT_TRUE(KernelSupported(KernelIsa::Sse2)) << "the x86-64 baseline kernel is missing";
    EXPECT_TRUE(KernelSupported(ChosenKernelIsa()))
        << "chosen kernel " << KernelIsaName(ChosenKernelIsa()) << " cannot run here";
    EXPECT_EQ(ChosenKernel(), KernelFor(ChosenKernelIsa()));
    for (KernelIsa isa : SupportedIsas()) {
        EXPECT_LE(ChosenKernelProbeNanoseconds(ChosenKernelIsa()),
                  ChosenKernelProbeNanoseconds(isa))
            << "a faster kernel, " << KernelIsaName(isa) << ", is supported but not chosen";
    }
}

// Random coefficients, active sets, block sizes and signals over several blocks in a row, so
// that every state word is carried into the next block and compared there again.
TEST(FilterKernel, MatchesTheScalarReferenceBitForBit) {
    for (const Kernel& kernel : KernelsUnderTest()) {
        Randomiser random(20240611u);
        for (int trial = 0; trial < 150; ++trial) {
            EqCore core = Engine();
            random.Settings(core, true);
            random.States(core);
            EqCore twin = core;
            for (int block = 0; block < 4; ++block) {
                Stereo s(static_cast<std::size_t>(random.Int(0, 1100)));
                random.Fill(s);
                ASSERT_TRUE(SameAsReference(kernel, core, twin, s))
                    << Describe(kernel, twin, s.left.size()) << ", trial " << trial << ", block "
                    << block;
                random.Settings(core, false);
                for (int b = 0; b < kEqBandCount; ++b) {
                    twin.bands[b] = core.bands[b];
                }
                twin.lowPass = core.lowPass;
            }
        }
    }
}

// Each number of active bands, with and without the low-pass, at every block size up to well
// past the pipeline's depth and at a few long ones, so every start, run and end is exercised.
TEST(FilterKernel, EveryActiveCountAndBlockSize) {
    std::vector<std::size_t> sizes;
    for (std::size_t n = 1; n <= 96; ++n) {
        sizes.push_back(n);
    }
    for (std::size_t n : {255u, 1023u, 4093u, 8191u, 8192u}) {
        sizes.push_back(n);
    }
    for (const Kernel& kernel : KernelsUnderTest()) {
        Randomiser random(7u);
        for (int active = 0; active <= kEqBandCount; ++active) {
            for (bool lowPass : {true, false}) {
                EqCore core = Engine();
                random.Settings(core, true);
                std::vector<int> order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
                std::shuffle(order.begin(), order.end(), random.rng);
                for (int k = 0; k < kEqBandCount; ++k) {
                    random.Section(core.bands[order[k]],
                                   k < active ? random.Uniform(0.1f, 1.0f) : 0.0f);
                }
                DesignOutputLowPass(core.lowPass, lowPass ? 96000.0 : 22050.0);
                random.States(core);
                EqCore twin = core;
                for (std::size_t n : sizes) {
                    Stereo s(n);
                    random.Fill(s);
                    ASSERT_TRUE(SameAsReference(kernel, core, twin, s))
                        << Describe(kernel, twin, n);
                }
            }
        }
    }
}

TEST(FilterKernel, NoFramesLeaveEverythingAsItWas) {
    for (const Kernel& kernel : KernelsUnderTest()) {
        Randomiser random(3u);
        EqCore core = Engine();
        random.Settings(core, true);
        random.States(core);
        const EqCore before = core;
        float sample = 0.25f;
        float* buffers[2] = {&sample, &sample};
        core.FilterWith(kernel.run, buffers, 0);
        core.FilterWith(kernel.run, buffers, -3);
        EXPECT_TRUE(SameState(core, before)) << kernel.name;
        EXPECT_EQ(sample, 0.25f) << kernel.name;
    }
}

// A host may hand over one buffer for both channels, or overlapping ones: the outcome is the
// scalar filter's, band by band on the shared samples.
TEST(FilterKernel, SharedChannelBuffersGiveTheScalarResult) {
    for (const Kernel& kernel : KernelsUnderTest()) {
        Randomiser random(11u);
        for (std::ptrdiff_t shift : {0, 1, 100}) {
            EqCore core = Engine();
            random.Settings(core, true);
            DesignOutputLowPass(core.lowPass, 48000.0);
            random.States(core);
            EqCore twin = core;
            std::vector<float> samples(600), expected;
            for (float& v : samples) {
                v = random.Uniform(-1.0f, 1.0f);
            }
            expected = samples;
            float* got[2] = {samples.data(), samples.data() + shift};
            float* want[2] = {expected.data(), expected.data() + shift};
            core.FilterWith(kernel.run, got, 500);
            DspReference::Filter(twin, want, 500);
            EXPECT_TRUE(SameSamples(samples, expected, "shared"))
                << kernel.name << ", channels " << shift << " samples apart";
            EXPECT_TRUE(SameState(core, twin)) << kernel.name;
        }
    }
}

TEST(FilterKernel, BypassLeavesSamplesAndStateAlone) {
    for (const Kernel& kernel : KernelsUnderTest()) {
        Randomiser random(5u);
        EqCore core = Engine();
        random.Settings(core, true);
        random.States(core);
        core.bypass = true;
        const EqCore before = core;
        Stereo s(300);
        random.Fill(s);
        const Stereo input = s;
        float* buffers[2] = {s.left.data(), s.right.data()};
        core.FilterWith(kernel.run, buffers, 300);
        EXPECT_TRUE(SameSamples(s.left, input.left, "left")) << kernel.name;
        EXPECT_TRUE(SameSamples(s.right, input.right, "right")) << kernel.name;
        EXPECT_TRUE(SameState(core, before)) << kernel.name;
    }
}
