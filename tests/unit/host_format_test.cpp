#include "host_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

using namespace hosttest;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Formats into a buffer of maxLen + 1 bytes followed by guard bytes, and checks that nothing
// beyond the buffer was written and that the text is terminated at maxLen.
class Formatter {
public:
    Formatter() : effect(plugin.effect()) {}

    template <typename Op, typename T> std::string run(Op op, T value, VstInt32 maxLen = 12) {
        char buffer[40];
        std::memset(buffer, 'x', sizeof(buffer));
        (effect.*op)(value, buffer, maxLen);
        EXPECT_EQ(buffer[maxLen], '\0') << "no terminator at maxLen " << maxLen;
        EXPECT_EQ(buffer[maxLen + 1], 'x') << "written past maxLen + 1 bytes";
        return buffer;
    }
    std::string f(float v, VstInt32 maxLen = 12) {
        return run(&AudioEffect::float2string, v, maxLen);
    }
    std::string i(VstInt32 v, VstInt32 maxLen = 12) {
        return run(&AudioEffect::int2string, v, maxLen);
    }
    std::string dB(float v) { return run(&AudioEffect::dB2string, v); }
    std::string hz(float v) { return run(&AudioEffect::Hz2string, v); }
    std::string ms(float v) { return run(&AudioEffect::ms2string, v); }

    Plugin plugin;
    PlainEffect& effect;
};

} // namespace

TEST(Format, FloatTexts) {
    Formatter fmt;
    EXPECT_EQ(fmt.f(12.5f), "12.50000");
    EXPECT_EQ(fmt.f(-3.25f), "-3.25000");
    EXPECT_EQ(fmt.f(0.0f), "0.000000");
    EXPECT_EQ(fmt.f(0.1f), "0.100000");
    EXPECT_EQ(fmt.f(0.7f), "0.699999") << "decimals are cut, not rounded";
    EXPECT_EQ(fmt.f(1234567.0f), "1234567.");
    EXPECT_EQ(fmt.f(-123456.0f), "-123456.");
}

TEST(Format, FloatTextsAtTheirWidthKeepEveryDigit) {
    Formatter fmt;
    EXPECT_EQ(fmt.f(12345678.0f), "12345678");
    EXPECT_EQ(fmt.f(-1234567.0f), "-1234567");
    EXPECT_EQ(fmt.f(-9999999.0f), "-9999999");
    EXPECT_EQ(fmt.f(100000000.0f), "Huge!");
    EXPECT_EQ(fmt.f(-10000000.0f), "Huge!");
}

TEST(Format, NonFiniteNumbers) {
    Formatter fmt;
    EXPECT_EQ(fmt.f(kNaN), "NaN");
    EXPECT_EQ(fmt.f(kInf), "Huge!");
    EXPECT_EQ(fmt.f(-kInf), "Huge!");
    EXPECT_EQ(fmt.dB(kNaN), "NaN");
    EXPECT_EQ(fmt.dB(kInf), "Huge!");
    EXPECT_EQ(fmt.dB(-kInf), "-oo");
    EXPECT_EQ(fmt.hz(kNaN), "NaN");
    EXPECT_EQ(fmt.ms(kNaN), "NaN");
    EXPECT_EQ(fmt.ms(std::numeric_limits<float>::max()), "Huge!");
}

TEST(Format, UnitTexts) {
    Formatter fmt;
    EXPECT_EQ(fmt.dB(0.0f), "-oo");
    EXPECT_EQ(fmt.dB(-1.0f), "-oo");
    EXPECT_EQ(fmt.dB(1.0f), "0.000000");
    EXPECT_EQ(fmt.hz(100.0f), "441.0000") << "44100 Hz over 100 samples";
    EXPECT_EQ(fmt.hz(0.0f), "0.000000");
    EXPECT_EQ(fmt.ms(441.0f), "10.00000");
    EXPECT_EQ(fmt.ms(44100.0f), "1000.000");
}

TEST(Format, IntTexts) {
    Formatter fmt;
    EXPECT_EQ(fmt.i(-42), "-42");
    EXPECT_EQ(fmt.i(0), "0");
    EXPECT_EQ(fmt.i(1000), "1000");
    EXPECT_EQ(fmt.i(99999999), "99999999");
    EXPECT_EQ(fmt.i(-99999999), "-99999999");
    EXPECT_EQ(fmt.i(100000000), "Huge!");
    EXPECT_EQ(fmt.i(-100000000), "Huge!");
    EXPECT_EQ(fmt.i(std::numeric_limits<VstInt32>::min()), "Huge!");
}

TEST(Format, TextsAreCutAtMaxLen) {
    Formatter fmt;
    EXPECT_EQ(fmt.f(12.5f, 4), "12.5");
    EXPECT_EQ(fmt.f(-3.25f, 1), "-");
    EXPECT_EQ(fmt.f(1e9f, 3), "Hug");
    EXPECT_EQ(fmt.i(12345, 3), "123");
    EXPECT_EQ(fmt.i(7, 0), "");
    EXPECT_EQ(fmt.f(kNaN, 2), "Na");
    EXPECT_EQ(fmt.f(12.5f, kVstMaxParamStrLen - 1), "12.5000") << "an 8-byte parameter buffer";
}
