// The validator's own judgements: texts against their buffers, samples, guarded audio
// buffers, the JSON report and the list of tests.
#include "validate/checks.h"
#include "validate/validator.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using VLM::JudgeTextBuffer;
using VLM::kGuardByte;

namespace {

std::vector<unsigned char> Guarded(const char* written, std::size_t writtenBytes,
                                   std::size_t size = 40) {
    std::vector<unsigned char> b(size, kGuardByte);
    std::memcpy(b.data(), written, writtenBytes);
    return b;
}

} // namespace

TEST(ValidatorText, ATextEndingInsideItsBufferPasses) {
    const auto b = Guarded("31 Hz", 6);
    const auto c = JudgeTextBuffer(b.data(), b.size(), 8);
    EXPECT_EQ(c.fault, "");
    EXPECT_EQ(c.text, "31 Hz");
    EXPECT_FALSE(c.untouched);
}

TEST(ValidatorText, SevenCharactersFitEightBytesButEightDoNot) {
    const auto fits = Guarded("1234567", 8);
    EXPECT_EQ(JudgeTextBuffer(fits.data(), fits.size(), 8).fault, "");
    const auto over = Guarded("12345678", 9);
    const auto c = JudgeTextBuffer(over.data(), over.size(), 8);
    EXPECT_NE(c.fault.find("needs 9 bytes"), std::string::npos) << c.fault;
}

TEST(ValidatorText, ABytePastTheBufferIsAFaultEvenAfterTheTerminator) {
    auto b = Guarded("dB", 3);
    b[9] = 'x';
    const auto c = JudgeTextBuffer(b.data(), b.size(), 8);
    EXPECT_NE(c.fault.find("wrote up to byte 10"), std::string::npos) << c.fault;
}

TEST(ValidatorText, AnUnterminatedTextAndAnUntouchedBuffer) {
    std::vector<unsigned char> b(20, 'a');
    const auto c = JudgeTextBuffer(b.data(), b.size(), 8);
    EXPECT_NE(c.fault.find("not terminated"), std::string::npos) << c.fault;
    std::vector<unsigned char> untouched(20, kGuardByte);
    const auto u = JudgeTextBuffer(untouched.data(), untouched.size(), 8);
    EXPECT_TRUE(u.untouched);
    EXPECT_EQ(u.fault, "");
}

TEST(ValidatorSamples, CountsNanInfinityAndSubnormalButNotZero) {
    const float samples[] = {0.0f, -0.0f, 1.0f, FLT_MIN / 2.0f, std::nanf(""), -INFINITY, FLT_MIN};
    const auto s = VLM::ScanSamples(samples, 7);
    EXPECT_EQ(s.nan, 1u);
    EXPECT_EQ(s.infinite, 1u);
    EXPECT_EQ(s.subnormal, 1u);
    EXPECT_EQ(s.firstBad, 3u);
    EXPECT_FALSE(s.Clean());
    EXPECT_TRUE(VLM::ScanSamples(samples, 3).Clean());
}

TEST(ValidatorBuffers, SeesUnwrittenSamplesWritesPastTheBlockAndIntoInputs) {
    VLM::CRandom random(7);
    VLM::CAudioBuffers b(2, 2, 64);
    b.Prepare(32, true, random);
    EXPECT_NE(b.Judge(32, "x").find("32 of 32 samples not written"), std::string::npos);
    for (int c = 0; c < 2; ++c) {
        std::memcpy(b.Output(c), b.Input(c), 32 * sizeof(float));
    }
    EXPECT_EQ(b.Judge(32, "x"), "");
    b.Output(1)[32] = 0.0f; // one past the block
    b.Input(0)[5] = 9.0f;
    const std::string faults = b.Judge(32, "block 3");
    EXPECT_NE(faults.find("block 3: output 2: written outside the 32-sample block (at sample 32)"),
              std::string::npos)
        << faults;
    EXPECT_NE(faults.find("input 1: the plug-in wrote into its input buffer"), std::string::npos)
        << faults;
}

TEST(ValidatorRandom, TheSameSeedGivesTheSameNumbersAndTestsGetTheirOwn) {
    VLM::CRandom a(42), b(42);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(a.Next(), b.Next());
        const float u = a.Unit();
        b.Unit();
        ASSERT_TRUE(u >= 0.0f && u < 1.0f) << u;
    }
    EXPECT_NE(VLM::TestSeed(1, "audio"), VLM::TestSeed(1, "state"));
    EXPECT_NE(VLM::TestSeed(1, "audio"), VLM::TestSeed(2, "audio"));
}

TEST(ValidatorReport, JsonStringsEscapeQuotesBackslashesAndControls) {
    EXPECT_EQ(VLM::JsonString("a \"b\" \\c\n\x01"), "\"a \\\"b\\\" \\\\c\\n\\u0001\"");
}

TEST(ValidatorReport, TestNamesAreUniqueAndLevelsRiseFromOneToTen) {
    std::set<std::string> names;
    int level = 1;
    for (const VLM::STest& t : VLM::ValidatorTests()) {
        EXPECT_TRUE(names.insert(t.name).second) << "test name used twice: " << t.name;
        EXPECT_GE(t.level, level) << t.name << " is listed after a test of a higher level";
        level = t.level;
        EXPECT_GT(std::strlen(t.description), 10u) << t.name;
    }
    EXPECT_EQ(VLM::ValidatorTests().front().level, 1);
    EXPECT_EQ(level, 10);
}
