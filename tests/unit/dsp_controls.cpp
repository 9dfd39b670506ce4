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

void ExpectDefaultsOutsideTable(const ControlDesc& d) {
    EXPECT_EQ(d.width, -1) << "width comes from the image";
    EXPECT_EQ(d.height, -1) << "height comes from the image";
    EXPECT_EQ(d.valueMap, nullptr) << "every control maps linearly";
    EXPECT_EQ(d.decimals, 1.0f) << "one decimal in the read-out";
}

} // namespace

TEST(ControlTable, FadersDriveTheirBandsInOrder) {
    const wchar_t* const labels[] = {L"31 Hz", L"63 Hz", L"125 Hz", L"250 Hz", L"500 Hz",
                                     L"1 kHz", L"2 kHz", L"4 kHz",  L"8 kHz",  L"16 kHz"};
    const std::int32_t x[] = {141, 205, 269, 334, 399, 463, 528, 592, 657, 721};
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
        EXPECT_EQ(d.riseTime, 0.0f);
        EXPECT_EQ(d.fallTime, 0.0f);
        EXPECT_EQ(d.x, x[i]);
        EXPECT_EQ(d.y, 33);
        ExpectDefaultsOutsideTable(d);
    }
}

TEST(ControlTable, FaceplateButtonLampAndKnob) {
    const ControlDesc& face = Controls::Faceplate;
    EXPECT_EQ(face.id, -1);
    EXPECT_EQ(Text(face.image), L"ZEM");
    EXPECT_EQ(Text(face.label), L"");
    EXPECT_EQ(face.x, 0);
    EXPECT_EQ(face.y, 0);
    ExpectDefaultsOutsideTable(face);

    const ControlDesc& button = Controls::InButton;
    EXPECT_EQ(button.id, Controls::kInButtonId);
    EXPECT_EQ(button.id, 10);
    EXPECT_EQ(Text(button.image), L"Button[2]");
    EXPECT_EQ(Text(button.label), L"On/Off");
    EXPECT_EQ(Text(button.unit), L"");
    EXPECT_EQ(button.defaultValue, 1.0f) << "the equaliser starts switched in";
    EXPECT_EQ(button.fallTime, 0.0f);
    EXPECT_EQ(button.x, 813);
    EXPECT_EQ(button.y, 129);
    ExpectDefaultsOutsideTable(button);

    const ControlDesc& lamp = Controls::InLamp;
    EXPECT_EQ(lamp.id, Controls::kInLampId);
    EXPECT_EQ(lamp.id, 11);
    EXPECT_EQ(Text(lamp.image), L"Lamp[2]");
    EXPECT_EQ(Text(lamp.label), L"On/Off");
    EXPECT_EQ(lamp.defaultValue, 0.0f) << "the lamp is dark until the first block";
    EXPECT_EQ(lamp.riseTime, 0.0f);
    EXPECT_EQ(lamp.fallTime, 1000.0f);
    EXPECT_EQ(lamp.x, 815);
    EXPECT_EQ(lamp.y, 50);
    ExpectDefaultsOutsideTable(lamp);

    const ControlDesc& knob = Controls::QKnob;
    EXPECT_EQ(knob.id, -1) << "no control is built from the knob";
    EXPECT_EQ(Text(knob.image), L"KNOB[61x8]");
    EXPECT_EQ(Text(knob.label), L"Q");
    EXPECT_EQ(knob.minValue, 0.0f);
    EXPECT_EQ(knob.maxValue, 1.0f);
    ExpectDefaultsOutsideTable(knob);
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
