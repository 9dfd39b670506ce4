#include "commands/response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// |1 + a e^(-jw)| in dB: the exact response of the two-tap filter {1, a}.
double TwoTapDb(double a, double f, double rate) {
    const double w = 2.0 * kPi * f / rate;
    return 10.0 * std::log10(1.0 + a * a + 2.0 * a * std::cos(w));
}

// A decaying resonance long enough to exercise the phasor renormalisation.
std::vector<float> Resonance(double f, double rate, std::size_t n) {
    std::vector<float> ir(n);
    for (std::size_t i = 0; i < n; ++i) {
        ir[i] = static_cast<float>(std::exp(-static_cast<double>(i) / 2000.0) *
                                   std::cos(2.0 * kPi * f * static_cast<double>(i) / rate));
    }
    return ir;
}

} // namespace

TEST(Response, GainsMatchTheExactResponseOfAShortFilter) {
    const double rate = 48000.0;
    const std::vector<float> ir = {1.0f, 0.5f};
    const std::vector<double> f = {31.0, 1000.0, 12000.0, 23000.0};
    const std::vector<double> got = VLM::GainsDb(ir, rate, f);
    ASSERT_EQ(got.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_NEAR(got[i], TwoTapDb(0.5, f[i], rate), 1e-6) << "at " << f[i] << " Hz";
    }
    EXPECT_NEAR(VLM::GainsDb({0.5f}, rate, {1000.0})[0], -6.0206, 1e-4) << "a plain gain of 0.5";
    EXPECT_TRUE(std::isinf(VLM::GainsDb({0.0f}, rate, {1000.0})[0])) << "silence has no gain";
}

TEST(Response, GainsStayAccurateOverLongResponses) {
    const double rate = 44100.0;
    const std::vector<float> ir = Resonance(1000.0, rate, 1u << 17);
    // The same sum in the obvious form, as the reference.
    const double w = 2.0 * kPi * 1000.0 / rate;
    double re = 0.0, im = 0.0;
    for (std::size_t n = 0; n < ir.size(); ++n) {
        re += ir[n] * std::cos(w * static_cast<double>(n));
        im -= ir[n] * std::sin(w * static_cast<double>(n));
    }
    const double expected = 20.0 * std::log10(std::hypot(re, im));
    EXPECT_NEAR(VLM::GainsDb(ir, rate, {1000.0})[0], expected, 1e-6);
}

TEST(Response, CurveAgreesWithExactGainsAndIsLogSpaced) {
    if (!VLM::PlotAvailable()) {
        GTEST_SKIP() << "this build draws no curves";
    }
    const double rate = 44100.0;
    std::vector<float> ir(1u << 16, 0.0f);
    ir[0] = 1.0f;
    ir[1] = -0.9f;
    const auto curve = VLM::MagnitudeCurve(ir, rate, 20.0, 20000.0, 301);
    ASSERT_EQ(curve.size(), 301u);
    EXPECT_NEAR(curve.front().frequency, 20.0, 1e-9);
    EXPECT_NEAR(curve.back().frequency, 20000.0, 1e-6);
    EXPECT_NEAR(curve[150].frequency, std::sqrt(20.0 * 20000.0), 1e-6) << "log-spaced midpoint";
    for (const auto& p : curve) {
        EXPECT_NEAR(p.db, TwoTapDb(-0.9, p.frequency, rate), 0.01) << "at " << p.frequency << " Hz";
    }
}
