#include "commands/equaliser.h"
#include "commands/options.h"
#include "common/errors.h"
#include "settings_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using VLM::ECommand;
using VLM::ParseCommandLine;
using VLM::SSetting;

namespace {

std::string UsageMessage(const std::vector<std::string>& args) {
    try {
        ParseCommandLine(args);
    } catch (const VLM::Exceptions::Usage& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

TEST(Options, RenderTakesThreePathsAndSettingsInOrder) {
    const auto o =
        ParseCommandLine({"render", "p.so", "in.wav", "out.wav", "--band", "3=6", "--in", "off",
                          "--param=1=0.25", "--block", "64", "--float", "--settle", "4"});
    EXPECT_EQ(o.command, ECommand::Render);
    EXPECT_EQ(o.plugin, "p.so");
    EXPECT_EQ(o.input, "in.wav");
    EXPECT_EQ(o.output, "out.wav");
    ASSERT_EQ(o.settings.size(), 3u);
    EXPECT_EQ(o.settings[0].kind, SSetting::EKind::Parameter);
    EXPECT_EQ(o.settings[0].index, 2) << "band K addresses parameter K - 1";
    EXPECT_FLOAT_EQ(o.settings[0].value, 0.75f) << "(6 + 12) / 24";
    EXPECT_EQ(o.settings[1].kind, SSetting::EKind::InSwitch);
    EXPECT_EQ(o.settings[1].value, 0.0f);
    EXPECT_EQ(o.settings[2].index, 1);
    EXPECT_FLOAT_EQ(o.settings[2].value, 0.25f);
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_TRUE(o.floatOutput);
    EXPECT_EQ(o.settleBlocks, 4);
}

TEST(Options, BandGainMapsLinearlyOntoTheFaderRange) {
    EXPECT_FLOAT_EQ(VLM::Equaliser::BandValueFromDb(-12.0), 0.0f);
    EXPECT_FLOAT_EQ(VLM::Equaliser::BandValueFromDb(0.0), 0.5f);
    EXPECT_FLOAT_EQ(VLM::Equaliser::BandValueFromDb(12.0), 1.0f);
    EXPECT_FLOAT_EQ(VLM::Equaliser::BandValueFromDb(-3.0), 0.375f);
}

TEST(Options, EditorAndResponseOptions) {
    const auto e = ParseCommandLine({"editor", "p.dll", "--seconds", "2.5", "--log", "--audio"});
    EXPECT_EQ(e.command, ECommand::Editor);
    EXPECT_DOUBLE_EQ(e.seconds, 2.5);
    EXPECT_TRUE(e.log);
    EXPECT_TRUE(e.audio);
    const auto r = ParseCommandLine({"response", "p.so", "--png", "r.png", "--rate", "48000"});
    EXPECT_EQ(r.png, "r.png");
    EXPECT_DOUBLE_EQ(r.sampleRate, 48000.0);
    EXPECT_EQ(ParseCommandLine({"--help"}).command, ECommand::Help);
}

TEST(Options, PresetCommandsTakeTheKindFromTheExtension) {
    const auto save = ParseCommandLine(
        {"preset", "save", "p.so", "Out.FXB", "--preset", "in.fxp", "--force", "--band", "1=3"});
    EXPECT_EQ(save.command, ECommand::PresetSave);
    EXPECT_EQ(save.plugin, "p.so");
    EXPECT_EQ(save.output, "Out.FXB");
    EXPECT_TRUE(save.saveBank);
    EXPECT_EQ(save.presetFile, "in.fxp");
    EXPECT_TRUE(save.force);
    EXPECT_EQ(save.settings.size(), 1u);
    EXPECT_FALSE(ParseCommandLine({"preset", "save", "p.so", "dir.fxb/a.fxp"}).saveBank);
    const auto show = ParseCommandLine({"preset", "show", "--", "-a.fxb"});
    EXPECT_EQ(show.command, ECommand::PresetShow);
    EXPECT_EQ(show.input, "-a.fxb");
    EXPECT_EQ(ParseCommandLine({"render", "p", "i", "o", "--preset=a.fxp"}).presetFile, "a.fxp");
}

TEST(Options, BadSyntaxIsRefusedWithAReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command"},
        {{"play", "p.so"}, "unknown command"},
        {{"info"}, "needs the plug-in"},
        {{"info", "p.so", "extra"}, "unexpected argument"},
        {{"info", "p.so", "--band", "1=0"}, "does not apply"},
        {{"render", "p.so", "in.wav"}, "needs PLUGIN IN.wav OUT.wav"},
        {{"render", "p", "i", "o", "--param", "3"}, "INDEX=VALUE"},
        {{"render", "p", "i", "o", "--param", "x=0.5"}, "whole number"},
        {{"render", "p", "i", "o", "--param", "0=1.5"}, "from 0 to 1"},
        {{"render", "p", "i", "o", "--param", "0=nan"}, "must be a number"},
        {{"render", "p", "i", "o", "--band", "0=1"}, "from 1 to 10"},
        {{"render", "p", "i", "o", "--band", "11=1"}, "from 1 to 10"},
        {{"render", "p", "i", "o", "--band", "1=12.5"}, "-12 to +12"},
        {{"render", "p", "i", "o", "--band", "1=6dB"}, "must be a number"},
        {{"render", "p", "i", "o", "--in", "maybe"}, "on or off"},
        {{"render", "p", "i", "o", "--block", "0"}, "from 1"},
        {{"render", "p", "i", "o", "--block"}, "needs a value"},
        {{"render", "p", "i", "o", "--float=yes"}, "takes no value"},
        {{"render", "p", "i", "o", "--volume", "3"}, "unknown option"},
        {{"editor", "p", "--seconds", "0"}, "more than 0"},
        {{"response", "p", "--rate", "999"}, "from 1000 to 1000000"},
        {{"preset"}, "preset needs save or show"},
        {{"preset", "load", "p", "a.fxp"}, "preset needs save or show, not 'load'"},
        {{"preset", "save", "p"}, "needs PLUGIN OUT.fxp|OUT.fxb"},
        {{"preset", "save", "p", "a.wav"}, "a program (.fxp) or a bank (.fxb), not 'a.wav'"},
        {{"preset", "save", "p", "fxp"}, "not 'fxp'"},
        {{"preset", "show"}, "needs the preset file"},
        {{"preset", "show", "a.fxp", "--param", "0=1"}, "does not apply to 'preset show'"},
        {{"info", "p", "--preset", "a.fxp"}, "does not apply to 'info'"},
        {{"render", "p", "i", "o", "--preset"}, "needs a value"},
        {{"render", "p", "i", "o", "--preset", "a", "--preset", "b"}, "once"},
    };
    for (const auto& [args, expected] : cases) {
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        const std::string message = UsageMessage(args);
        EXPECT_NE(message.find(expected), std::string::npos)
            << "for '" << joined << "' expected a message containing '" << expected << "', got '"
            << message << "'";
        EXPECT_EQ(message.find('\n'), std::string::npos) << "message is not one line: " << message;
    }
}

TEST(StateChunk, FindsTheRecordByIdOnRecordBoundariesOnly) {
    std::vector<std::uint8_t> chunk = VLM::Test::Records({{0, 0.5f}, {7, 0.0f}, {10, 1.0f}});
    // Plant the id 10 in a value field: it must not be taken for a record.
    chunk[12] = 10;
    chunk[13] = chunk[14] = chunk[15] = 0;
    EXPECT_EQ(VLM::FindStateRecord(chunk, 10), 16);
    EXPECT_EQ(VLM::FindStateRecord(chunk, 0), 0);
    EXPECT_EQ(VLM::FindStateRecord(chunk, 11), -1);
    chunk.resize(20); // a cut-off last record is not a record
    EXPECT_EQ(VLM::FindStateRecord(chunk, 10), -1);
}
