#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsp/filterdesign.h"

using namespace VLM;

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

float GainPositionOf(float tablePosition) {
    return tablePosition / 12.0f - 1.0f;
}

// Magnitude in dB of a band section at a frequency, evaluated in double.
double BandDb(const BandCoefficients& c, double frequency, double sampleRate) {
    BiquadCascade cascade;
    cascade.numSections = 1;
    cascade.sections[0] = Biquad{1.0, c.a1, c.a2, c.b1, c.b2, c.b0};
    return 20.0 * std::log10(std::abs(Response(cascade, frequency / sampleRate)));
}

double LowPassDb(double sampleRate, double frequency) {
    OutputLowPass lp;
    DesignOutputLowPass(lp, sampleRate);
    return 20.0 * std::log10(std::abs(Response(lp.cascade, frequency / sampleRate)));
}

bool IsFinite(const BandCoefficients& c) {
    return std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) &&
           std::isfinite(c.a1) && std::isfinite(c.a2);
}

} // namespace

TEST(BandShapeTable, CornersAndIrregularities) {
    EXPECT_EQ(kBandShapes.gainDb[0][0], -12.05f);
    EXPECT_EQ(kBandShapes.gainDb[0][9], -13.33f);
    EXPECT_EQ(kBandShapes.gainDb[24][8], 10.13f);
    EXPECT_EQ(kBandShapes.gainDb[24][9], 10.03f);
    EXPECT_EQ(kBandShapes.gainDb[24][4], 11.75f);
    EXPECT_EQ(kBandShapes.gainDb[16][6], 1.03f) << "2 kHz at position 16";
    EXPECT_EQ(kBandShapes.gainDb[17][6], 1.0f) << "2 kHz dips at position 17";
    EXPECT_EQ(kBandShapes.q[0][1], 0.86f);
    EXPECT_EQ(kBandShapes.q[24][7], 0.53f) << "4 kHz Q is not symmetric at the ends";
    EXPECT_EQ(kBandShapes.q[0][7], 0.73f);
    for (int b = 0; b < kEqBandCount; ++b) {
        EXPECT_EQ(kBandShapes.gainDb[12][b], 0.0f) << "band " << b;
        EXPECT_EQ(kBandShapes.q[12][b], 0.0f) << "band " << b;
    }
}

TEST(BandShapeTable, GainRisesWithPositionExceptTheTwoKilohertzDip) {
    for (int b = 0; b < kEqBandCount; ++b) {
        for (int p = 1; p < kTablePositions; ++p) {
            if (b == 6 && p == 17) {
                continue;
            }
            EXPECT_GT(kBandShapes.gainDb[p][b], kBandShapes.gainDb[p - 1][b])
                << "band " << b << " position " << p;
        }
    }
}

TEST(BandShape, InterpolatesBetweenPositions) {
    const BandShape at = BandShapeAt(5, GainPositionOf(23.5f));
    EXPECT_NEAR(at.gainDb, 9.7f, 1e-5f) << "1 kHz at position 23.5";
    EXPECT_NEAR(at.q, 0.545f, 1e-6f);
    const BandShape cut = BandShapeAt(0, -0.5f);
    EXPECT_EQ(cut.gainDb, -2.32f) << "a 31 Hz fader at nominal -6 dB cuts by 2.32 dB";
}

TEST(BandShape, LastPositionUsesTheLastEntryAlone) {
    const BandShape top = BandShapeAt(5, 1.0f);
    EXPECT_EQ(top.gainDb, 12.0f);
    EXPECT_EQ(top.q, 0.64f);
}

TEST(BandShape, AnyGainPositionReadsInsideTheTable) {
    EXPECT_EQ(BandShapeAt(9, 5.0f).gainDb, 10.03f) << "above the range reads position 24";
    EXPECT_EQ(BandShapeAt(9, kInf).gainDb, 10.03f);
    EXPECT_EQ(BandShapeAt(9, -3.0f).gainDb, -13.33f) << "below the range reads position 0";
    EXPECT_EQ(BandShapeAt(9, -kInf).gainDb, -13.33f);
    EXPECT_EQ(BandShapeAt(9, kNaN).gainDb, 0.0f) << "NaN reads the flat centre";
    EXPECT_EQ(BandShapeAt(9, kNaN).q, 0.0f);
    EXPECT_EQ(BandShapeAt(10, 1.0f).q, 0.0f) << "no band 10";
    EXPECT_EQ(BandShapeAt(-1, 1.0f).q, 0.0f) << "no band -1";
}

TEST(BandDesign, OneKilohertzBandReachesItsTableGain) {
    const BandCoefficients top = DesignBand(5, 1.0f, 1000.0f, 44100.0f);
    EXPECT_NEAR(BandDb(top, 1000.0, 44100.0), 12.0, 1e-4) << "position 24";
    const BandCoefficients between = DesignBand(5, GainPositionOf(23.5f), 1000.0f, 44100.0f);
    EXPECT_NEAR(BandDb(between, 1000.0, 44100.0), 9.7, 1e-4) << "position 23.5";
}

TEST(BandDesign, SixteenKilohertzBandAtBothEnds) {
    EXPECT_NEAR(BandDb(DesignBand(9, -1.0f, 16000.0f, 44100.0f), 16000.0, 44100.0), -13.33, 1e-3);
    EXPECT_NEAR(BandDb(DesignBand(9, 1.0f, 16000.0f, 44100.0f), 16000.0, 44100.0), 10.03, 1e-3);
}

TEST(BandDesign, EveryBandReachesItsTableGainAtItsCentre) {
    // Single-precision coefficients cost the 31 Hz band up to 0.008 dB at 96 kHz.
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        for (int b = 0; b < kEqBandCount; ++b) {
            for (float p : {0.0f, 3.0f, 6.5f, 11.0f, 13.0f, 18.25f, 24.0f}) {
                const float g = GainPositionOf(p);
                const BandCoefficients c = DesignBand(b, g, kBandCentreFrequency[b], rate);
                EXPECT_NEAR(BandDb(c, kBandCentreFrequency[b], rate), BandShapeAt(b, g).gainDb,
                            1e-2)
                    << "band " << b << " position " << p << " at " << rate << " Hz";
            }
        }
    }
}

TEST(BandDesign, FlatCentreIsAFiniteIdentity) {
    const BandCoefficients c = DesignBand(3, 0.0f, 250.0f, 44100.0f);
    EXPECT_EQ(c.b0, 1.0f);
    EXPECT_EQ(c.b1, 0.0f);
    EXPECT_EQ(c.b2, 0.0f);
    EXPECT_EQ(c.a1, 0.0f);
    EXPECT_EQ(c.a2, 0.0f);
}

TEST(BandDesign, StableAtEverySampleRateAndPosition) {
    for (float rate : {8000.0f, 16000.0f, 22050.0f, 32000.0f, 32001.0f, 44100.0f, 48000.0f,
                       96000.0f, 192000.0f, 384000.0f}) {
        for (int b = 0; b < kEqBandCount; ++b) {
            for (int step = 0; step <= 96; ++step) {
                const float g = static_cast<float>(step) / 48.0f - 1.0f;
                const BandCoefficients c = DesignBand(b, g, kBandCentreFrequency[b], rate);
                ASSERT_TRUE(IsStable(c)) << "band " << b << " g " << g << " at " << rate
                                         << " Hz: a1 " << c.a1 << " a2 " << c.a2;
            }
        }
    }
}

TEST(BandDesign, BandAtOrAboveNyquistStillActsBelowIt) {
    // At 32 kHz the 16 kHz band sits at half the rate; it is moved below rather than dropped.
    const BandCoefficients c = DesignBand(9, 1.0f, 16000.0f, 32000.0f);
    EXPECT_GT(BandDb(c, 14400.0, 32000.0), 9.0) << "full boost still lifts the top octave";
}

TEST(BandDesign, UnusableSampleRateGivesAStableSection) {
    for (float rate : {0.0f, -44100.0f, kNaN, kInf, 1e-30f, 1e30f}) {
        const BandCoefficients c = DesignBand(9, 1.0f, 16000.0f, rate);
        EXPECT_TRUE(IsFinite(c)) << "rate " << rate;
        EXPECT_TRUE(IsStable(c)) << "rate " << rate;
    }
}

TEST(OutputLowPass, PrototypeIsThirdOrderButterworthBuiltOnce) {
    OutputLowPass lp;
    DesignOutputLowPass(lp, 44100.0);
    EXPECT_EQ(lp.analogOrder, 3);
    EXPECT_NEAR(lp.analog.pairs[0].poles[0].real(), -0.5, 1e-15);
    EXPECT_NEAR(lp.analog.pairs[0].poles[0].imag(), 0.8660254037844386, 1e-15);
    EXPECT_TRUE(std::isinf(lp.analog.pairs[0].zeros[0].real())) << "zeros at infinity";
    EXPECT_TRUE(lp.analog.pairs[1].IsSingle());
    EXPECT_EQ(lp.analog.pairs[1].poles[0], Complex(-1.0, 0.0));
    lp.analog.pairs[1].poles[0] = Complex(-2.0, 0.0); // a rebuild would restore -1
    DesignOutputLowPass(lp, 48000.0);
    EXPECT_EQ(lp.analog.pairs[1].poles[0], Complex(-2.0, 0.0))
        << "the prototype is reused once built";
}

TEST(OutputLowPass, CoefficientsAt44100) {
    OutputLowPass lp;
    DesignOutputLowPass(lp, 44100.0);
    ASSERT_EQ(lp.cascade.numSections, 2);
    const Biquad& s0 = lp.cascade.sections[0];
    const Biquad& s1 = lp.cascade.sections[1];
    EXPECT_EQ(s0.a0, 1.0);
    EXPECT_NEAR(s0.b0, 0.924611343, 5e-10);
    EXPECT_NEAR(s0.b1, 1.84922269, 5e-9);
    EXPECT_NEAR(s0.b2, 0.924611343, 5e-10);
    EXPECT_NEAR(s0.a1, 1.9187608, 5e-8);
    EXPECT_NEAR(s0.a2, 0.924667042, 5e-10);
    EXPECT_EQ(s1.b0, 1.0);
    EXPECT_EQ(s1.b1, 1.0);
    EXPECT_EQ(s1.b2, 0.0);
    EXPECT_NEAR(s1.a1, 0.924555643, 5e-10);
    EXPECT_EQ(s1.a2, 0.0);
    // The real pole of the bilinear image is (1 - f) / (1 + f).
    const double p = lp.digital.pairs[1].poles[0].real();
    EXPECT_NEAR((1.0 - p) / (1.0 + p), 25.5096038, 5e-8) << "prewarped f at 44.1 kHz";
}

TEST(OutputLowPass, CoefficientsAt48000) {
    OutputLowPass lp;
    DesignOutputLowPass(lp, 48000.0);
    ASSERT_EQ(lp.cascade.numSections, 2);
    const Biquad& s0 = lp.cascade.sections[0];
    const Biquad& s1 = lp.cascade.sections[1];
    EXPECT_NEAR(s0.b0, 0.719829352, 5e-10);
    EXPECT_NEAR(s0.b1, 1.4396587, 5e-8);
    EXPECT_NEAR(s0.b2, 0.719829352, 5e-10);
    EXPECT_NEAR(s0.a1, 1.6316258, 5e-8);
    EXPECT_NEAR(s0.a2, 0.723068837, 5e-10);
    EXPECT_EQ(s1.b0, 1.0);
    EXPECT_EQ(s1.b1, 1.0);
    EXPECT_NEAR(s1.a1, 0.716589866, 5e-10);
}

TEST(OutputLowPass, GainAtKeyFrequencies) {
    EXPECT_NEAR(LowPassDb(44100.0, 0.0), 0.0, 1e-12) << "unity gain at 0 Hz";
    EXPECT_NEAR(LowPassDb(44100.0, 20000.0), -0.0016, 5e-5);
    EXPECT_NEAR(LowPassDb(44100.0, 21500.0), -3.0103, 5e-5) << "-3 dB point at the cutoff";
    EXPECT_NEAR(LowPassDb(48000.0, 20000.0), -0.23, 5e-3);
    EXPECT_NEAR(LowPassDb(96000.0, 20000.0), -1.90, 5e-3);
}

TEST(OutputLowPass, NeverBoostsAnywhere) {
    for (double rate : {43100.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0}) {
        double last = 1.0;
        for (int i = 0; i <= 200; ++i) {
            const double f = rate / 2.0 * i / 201.0;
            OutputLowPass lp;
            DesignOutputLowPass(lp, rate);
            const double m = std::abs(Response(lp.cascade, f / rate));
            EXPECT_LE(m, last + 1e-12) << "monotonic fall at " << f << " Hz, rate " << rate;
            last = m;
        }
    }
}

TEST(OutputLowPass, LeftOutWhereTheCutoffReachesNyquist) {
    for (double rate : {8000.0, 22050.0, 32000.0, 43000.0}) {
        OutputLowPass lp;
        DesignOutputLowPass(lp, rate);
        EXPECT_EQ(lp.cascade.numSections, 0) << "no valid design at " << rate << " Hz";
    }
    OutputLowPass lp;
    DesignOutputLowPass(lp, 43100.0);
    EXPECT_EQ(lp.cascade.numSections, 2) << "just above 43 kHz the design is valid";
    DesignOutputLowPass(lp, 32000.0);
    EXPECT_EQ(lp.cascade.numSections, 0) << "a later low rate takes a valid design out again";
}

TEST(OutputLowPass, UnusableSampleRateLeavesItOut) {
    for (double rate : {0.0, -48000.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        OutputLowPass lp;
        DesignOutputLowPass(lp, rate);
        EXPECT_EQ(lp.cascade.numSections, 0) << "rate " << rate;
    }
}
