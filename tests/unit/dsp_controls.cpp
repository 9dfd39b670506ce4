#include <gtest/gtest.h>

#include <cmath>
#include <cwchar>
#include <string>

#include "dsp/controldesc.h"

using VLM::ControlDesc;
namespace Controls = VLM::Controls;

namespace {

std::wstring Text(const wchar_t* s) {
    return s;
}

// The faceplate's size in layout pixels: the window the editor opens.
constexpr std::int32_t kFaceplateWidth = 900;
constexpr std::int32_t kFaceplateHeight = 258;

bool OnFaceplate(const ControlDesc& d) {
    return d.x >= 0 && d.y >= 0 && d.x < kFaceplateWidth && d.y < kFaceplateHeight;
}

} // namespace

TEST(ControlTable, BandsAreTheParametersInOrder) {
    // The labels are what hosts show as parameter names and what sessions are read by.
    const wchar_t* const labels[] = {L"31 Hz", L"63 Hz", L"125 Hz", L"250 Hz", L"500 Hz",
                                     L"1 kHz", L"2 kHz", L"4 kHz",  L"8 kHz",  L"16 kHz"};
    for (int i = 0; i < Controls::kBandCount; ++i) {
        const ControlDesc& d = Controls::BandFader[i];
        wchar_t image[32];
        std::swprintf(image, 32, L"FADER%02d[64x18]", i + 1);
        SCOPED_TRACE(i);
        EXPECT_EQ(d.id, i) << "fader " << i << " must carry band index " << i;
        EXPECT_EQ(Text(d.image), Text(image));
        EXPECT_EQ(Text(d.label), Text(labels[i]));
        EXPECT_EQ(Text(d.unit), L"dB");
        EXPECT_EQ(d.defaultValue, 0.5f) << "faders start at 0 dB";
        EXPECT_EQ(d.minValue, -12.0f);
        EXPECT_EQ(d.maxValue, 12.0f);
        EXPECT_EQ(d.riseTime, 0.0f) << "a fader's own value does not glide";
        EXPECT_EQ(d.valueMap, nullptr) << "faders map linearly";
    }
    // The switch and its lamp follow the bands, beyond the parameters hosts are told of.
    EXPECT_EQ(Controls::InButton.id, Controls::kBandCount);
    EXPECT_EQ(Controls::InLamp.id, Controls::kBandCount + 1);
    EXPECT_EQ(Controls::InButton.defaultValue, 1.0f) << "the equaliser starts switched in";
    EXPECT_EQ(Controls::InLamp.fallTime, 1000.0f) << "the lamp decays over a second";
    EXPECT_EQ(Controls::Faceplate.id, -1);
    EXPECT_EQ(Controls::QKnob.id, -1) << "no control is built from the knob";
}

TEST(ControlTable, ControlsSitOnTheFaceplate) {
    // The faders stand in one row above the printed scale, one slot of 64 or 65 pixels apart
    // (the artwork's slots), from the first at 141 to the last at 721.
    EXPECT_EQ(Controls::BandFader[0].x, 141);
    EXPECT_EQ(Controls::BandFader[Controls::kBandCount - 1].x, 721);
    for (int i = 0; i < Controls::kBandCount; ++i) {
        const ControlDesc& d = Controls::BandFader[i];
        SCOPED_TRACE(i);
        EXPECT_TRUE(OnFaceplate(d));
        EXPECT_EQ(d.y, 33);
        if (i > 0) {
            const std::int32_t step = d.x - Controls::BandFader[i - 1].x;
            EXPECT_TRUE(step == 64 || step == 65) << "step " << step;
        }
    }
    // The switch and the lamp over it, right of the last fader.
    for (const ControlDesc* d : {&Controls::InButton, &Controls::InLamp}) {
        EXPECT_TRUE(OnFaceplate(*d));
        EXPECT_GT(d->x, Controls::BandFader[Controls::kBandCount - 1].x);
    }
    EXPECT_EQ(Controls::InButton.x, 813);
    EXPECT_EQ(Controls::InButton.y, 129);
    EXPECT_EQ(Controls::InLamp.x, 815);
    EXPECT_EQ(Controls::InLamp.y, 50);
    EXPECT_EQ(Controls::Faceplate.x, 0);
    EXPECT_EQ(Controls::Faceplate.y, 0);
}

TEST(ValueMapping, FaderUnitValueIsNominalDecibels) {
    const ControlDesc& fader = Controls::BandFader[3];
    EXPECT_EQ(VLM::ToUnitValue(fader, 0.0f), -12.0f);
    EXPECT_EQ(VLM::ToUnitValue(fader, 0.5f), 0.0f);
    EXPECT_EQ(VLM::ToUnitValue(fader, 0.75f), 6.0f);
    EXPECT_EQ(VLM::ToUnitValue(fader, 1.0f), 12.0f);
    EXPECT_EQ(VLM::ToNormalisedValue(fader, 6.0f), 0.75f);
    EXPECT_EQ(VLM::ToNormalisedValue(fader, -12.0f), 0.0f);
    EXPECT_EQ(VLM::ToNormalisedValue(fader, 0.0f), 0.5f);
}

TEST(ValueMapping, NormalisedValueIsLeftForTheControlToClamp) {
    const ControlDesc& fader = Controls::BandFader[0];
    EXPECT_EQ(VLM::ToNormalisedValue(fader, 18.0f), 1.25f);
    EXPECT_EQ(VLM::ToNormalisedValue(fader, -18.0f), -0.25f);
}

TEST(ValueMapping, SinglePointRangeGivesAFiniteValue) {
    const float v = VLM::ToNormalisedValue(Controls::InButton, 1.0f);
    EXPECT_TRUE(std::isfinite(v)) << "a button's zero range must not divide by zero, got " << v;
    EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(VLM::ToUnitValue(Controls::InButton, 1.0f), 0.0f);
}

namespace {
float g_seen[3];
bool g_seenFlag;
float SquareMap(float value, float minValue, float maxValue, bool toNormalised) {
    g_seen[0] = value;
    g_seen[1] = minValue;
    g_seen[2] = maxValue;
    g_seenFlag = toNormalised;
    return toNormalised ? std::sqrt(value / maxValue) : value * value * maxValue;
}
} // namespace

TEST(ValueMapping, ValueMapReplacesTheLinearMapping) {
    ControlDesc d;
    d.minValue = 0.0f;
    d.maxValue = 100.0f;
    d.valueMap = SquareMap;
    EXPECT_EQ(VLM::ToUnitValue(d, 0.5f), 25.0f);
    EXPECT_EQ(g_seen[0], 0.5f);
    EXPECT_EQ(g_seen[1], 0.0f);
    EXPECT_EQ(g_seen[2], 100.0f);
    EXPECT_FALSE(g_seenFlag) << "to unit value passes the flag clear";
    EXPECT_EQ(VLM::ToNormalisedValue(d, 25.0f), 0.5f);
    EXPECT_TRUE(g_seenFlag) << "to normalised value passes the flag set";
}
