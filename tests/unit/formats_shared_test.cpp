// What every plug-in format's adapter relies on: the hosted effect tells the user's edits from
// the host's own changes, takes only whole and sound state, and names values as VST2 does.
#include "formats/shared/bands.h"
#include "formats/shared/effecthost.h"
#include "platform_fake/fakeplatform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Recorder : VLM::CEffectHost::Listener {
    std::vector<std::string> events;
    void EditBegun(std::int32_t index) override {
        events.push_back("begin " + std::to_string(index));
    }
    void Edited(std::int32_t index, float value) override {
        events.push_back("value " + std::to_string(index) + " " + std::to_string(value));
    }
    void EditEnded(std::int32_t index) override {
        events.push_back("end " + std::to_string(index));
    }
};

class EffectHost : public ::testing::Test {
protected:
    void SetUp() override {
        VLM::Fake::Reset();
        host = VLM::CEffectHost::Create();
        ASSERT_NE(host, nullptr);
        host->SetListener(&recorder);
    }
    std::unique_ptr<VLM::CEffectHost> host;
    Recorder recorder;
};

TEST_F(EffectHost, HostChangesAreAppliedButNeverReportedAsEdits) {
    EXPECT_TRUE(host->SetParameter(2, 0.75f));
    EXPECT_FALSE(host->SetParameter(2, 0.75f)); // nothing new
    EXPECT_TRUE(host->SetParameter(3, 7.0f));   // clamped
    EXPECT_EQ(host->Parameter(3), 1.0f);
    EXPECT_FALSE(host->SetParameter(4, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(host->SetParameter(11, 0.0f)); // the lamp is no parameter
    EXPECT_TRUE(host->SetParameter(VLM::Bands::kInSwitch, 0.2f));
    EXPECT_EQ(host->Parameter(VLM::Bands::kInSwitch), 0.0f);
    EXPECT_TRUE(recorder.events.empty());

    // A change that reaches the control any other way is the user's, as an editor drag is.
    AEffect* fx = host->Effect();
    fx->setParameter(fx, 2, 0.25f);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0], "value 2 0.250000");
}

TEST_F(EffectHost, StateRoundTripsAndDamagedStateChangesNothing) {
    host->SetParameter(0, 0.9f);
    host->SetParameter(VLM::Bands::kInSwitch, 0.0f);
    const std::vector<std::uint8_t> saved = host->SaveState();
    ASSERT_FALSE(saved.empty());

    auto other = VLM::CEffectHost::Create();
    ASSERT_TRUE(other->LoadState(saved.data(), saved.size()));
    EXPECT_EQ(other->Parameter(0), 0.9f);
    EXPECT_EQ(other->Parameter(VLM::Bands::kInSwitch), 0.0f);
    EXPECT_EQ(other->SaveState(), saved);

    const std::vector<std::uint8_t> before = other->SaveState();
    std::vector<std::uint8_t> cut(saved.begin(), saved.end() - 3);
    std::vector<std::uint8_t> nan = saved;
    const float notANumber = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(nan.data() + nan.size() - 4, &notANumber, 4);
    std::vector<std::uint8_t> foreign = saved;
    foreign[16] = 0x63; // id 99
    for (const auto* damaged : {&cut, &nan, &foreign}) {
        EXPECT_FALSE(other->LoadState(damaged->data(), damaged->size()));
    }
    EXPECT_FALSE(other->LoadState(nullptr, 8));
    EXPECT_FALSE(other->LoadState(saved.data(), 0));
    EXPECT_EQ(other->SaveState(), before);
    EXPECT_TRUE(recorder.events.empty());
}

TEST(Bands, NamesTextsAndLawAreTheVst2Parameters) {
    EXPECT_EQ(VLM::Bands::Name(0), "31 Hz");
    EXPECT_EQ(VLM::Bands::Name(9), "16 kHz");
    EXPECT_EQ(VLM::Bands::Unit(4), "dB");
    EXPECT_EQ(VLM::Bands::ToDb(1, 0.75f), 6.0f);
    EXPECT_EQ(VLM::Bands::ToNormalised(1, -12.0f), 0.0f);
    EXPECT_EQ(VLM::Bands::Text(1, 0.75f), "+6.0");
    EXPECT_EQ(VLM::Bands::Text(1, 0.25f), "-6.0");

    VLM::Fake::Reset();
    auto host = VLM::CEffectHost::Create();
    AEffect* fx = host->Effect();
    for (const float value : {0.0f, 0.123f, 0.5f, 0.9871f, 1.0f}) {
        host->SetParameter(5, value);
        char display[16] = {};
        fx->dispatcher(fx, effGetParamDisplay, 5, 0, display, 0.0f);
        EXPECT_EQ(VLM::Bands::Text(5, value), display) << value;
    }

    float value = -1.0f;
    EXPECT_TRUE(VLM::Bands::FromText(3, " +6.0 dB", value));
    EXPECT_EQ(value, 0.75f);
    EXPECT_TRUE(VLM::Bands::FromText(3, "-40", value));
    EXPECT_EQ(value, 0.0f);
    for (const char* bad : {"", "dB", "+", "inf", "nan"}) {
        EXPECT_FALSE(VLM::Bands::FromText(3, bad, value)) << bad;
    }
}

} // namespace
