#include "host_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace hosttest;

namespace {

// The one request sent since the last clear.
const HostCall& onlyCall() {
    EXPECT_EQ(host.calls.size(), 1u);
    static const HostCall none{};
    return host.calls.empty() ? none : host.calls.back();
}

} // namespace

TEST(HostCalls, WrappersSendTheirRequests) {
    Plugin plugin(Build::Probe);
    ProbeEffect& fx = plugin.probe();
    int token = 0;

    host.calls.clear();
    fx.beginEdit(3);
    EXPECT_EQ(onlyCall().effect, plugin.e) << "requests carry the instance's record";
    EXPECT_EQ(onlyCall().opcode, audioMasterBeginEdit);
    EXPECT_EQ(onlyCall().index, 3);

    host.calls.clear();
    fx.endEdit(4);
    EXPECT_EQ(onlyCall().opcode, audioMasterEndEdit);
    EXPECT_EQ(onlyCall().index, 4);

    host.calls.clear();
    fx.setParameterAutomated(2, 0.25f);
    EXPECT_EQ(fx.last(), "setParameter 2 0.250000") << "the base applies the value first";
    EXPECT_EQ(onlyCall().opcode, audioMasterAutomate);
    EXPECT_EQ(onlyCall().index, 2);
    EXPECT_EQ(onlyCall().opt, 0.25f);

    host.calls.clear();
    fx.sizeWindow(900, 258);
    EXPECT_EQ(onlyCall().opcode, audioMasterSizeWindow);
    EXPECT_EQ(onlyCall().index, 900);
    EXPECT_EQ(onlyCall().value, 258);

    host.calls.clear();
    fx.offlineStart(reinterpret_cast<VstAudioFile*>(&token), 5, 6);
    EXPECT_EQ(onlyCall().opcode, audioMasterOfflineStart);
    EXPECT_EQ(onlyCall().ptr, &token);
    EXPECT_EQ(onlyCall().value, 5);
    EXPECT_EQ(onlyCall().index, 6);

    host.calls.clear();
    fx.isOutputConnected(1);
    EXPECT_EQ(onlyCall().opcode, audioMasterPinConnected);
    EXPECT_EQ(onlyCall().value, 1) << "value 1 asks for an output";
}

TEST(HostCalls, AnswersAreConverted) {
    Plugin plugin;
    PlainEffect& fx = plugin.effect();
    host.answers[audioMasterVersion] = 2400;
    EXPECT_EQ(fx.getMasterVersion(), 2400);
    host.answers[audioMasterVersion] = 0;
    EXPECT_EQ(fx.getMasterVersion(), 1) << "a host answering 0 counts as version 1";
    host.answers[audioMasterGetInputLatency] = (VstIntPtr{1} << 32) + 5;
    EXPECT_EQ(fx.getInputLatency(), 5) << "int32 answers are truncated";
    host.answers[audioMasterNeedIdle] = VstIntPtr{1} << 32;
    EXPECT_TRUE(fx.needIdle()) << "any non-zero answer is true";
    host.answers[audioMasterPinConnected] = 1;
    EXPECT_FALSE(fx.isInputConnected(0));
    host.answers[audioMasterPinConnected] = 0;
    EXPECT_TRUE(fx.isInputConnected(0));
    int record = 0;
    host.answers[audioMasterGetTime] = reinterpret_cast<VstIntPtr>(&record);
    EXPECT_EQ(static_cast<void*>(fx.getTimeInfo(0)), &record);
}

TEST(HostCalls, SampleRateAndBlockSizeUpdates) {
    Plugin plugin;
    PlainEffect& fx = plugin.effect();
    host.answers[audioMasterGetSampleRate] = 48000;
    host.answers[audioMasterGetBlockSize] = 256;
    EXPECT_EQ(fx.updateSampleRate(), 48000.0);
    EXPECT_EQ(fx.updateBlockSize(), 256);
    for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{-5}}) {
        host.answers[audioMasterGetSampleRate] = answer;
        host.answers[audioMasterGetBlockSize] = answer;
        EXPECT_EQ(fx.updateSampleRate(), 48000.0) << "host answered " << answer;
        EXPECT_EQ(fx.updateBlockSize(), 256) << "host answered " << answer;
    }
    fx.setBlockSizeAndSampleRate(64, 96000.0f);
    EXPECT_EQ(fx.getBlockSize(), 64);
    EXPECT_EQ(fx.getSampleRate(), 96000.0f);
}

TEST(HostCalls, WithoutAHostEveryWrapperFallsBack) {
    ProbeEffect fx(nullptr);
    host.reset();
    EXPECT_EQ(fx.getMasterVersion(), 1);
    EXPECT_EQ(fx.getCurrentUniqueId(), 0);
    fx.setSampleRate(48000.0f);
    EXPECT_EQ(fx.updateSampleRate(), 48000.0);
    EXPECT_EQ(fx.updateBlockSize(), 1024);
    EXPECT_TRUE(fx.isInputConnected(0));
    EXPECT_TRUE(fx.isOutputConnected(0));
    EXPECT_FALSE(fx.beginEdit(0));
    EXPECT_EQ(fx.getTimeInfo(0), nullptr);
    fx.setParameterAutomated(1, 0.5f);
    EXPECT_EQ(fx.last(), "setParameter 1 0.500000");
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostCalls, NullSelectorsAndPathsMakeNoCall) {
    Plugin plugin;
    PlainEffect& fx = plugin.effect();
    host.calls.clear();
    host.answers[audioMasterOpenFileSelector] = 1;
    EXPECT_FALSE(fx.openFileSelector(nullptr));
    EXPECT_FALSE(fx.closeFileSelector(nullptr));
    EXPECT_FALSE(fx.getChunkFile(nullptr));
    EXPECT_TRUE(host.calls.empty());
}

TEST(Record, SettersWriteTheirFlags) {
    Plugin plugin;
    PlainEffect& fx = plugin.effect();
    const AEffect& r = *plugin.e;
    fx.canProcessReplacing(false);
    EXPECT_EQ(r.flags, 0);
    struct Setter {
        void (AudioEffect::*base)(bool);
        void (AudioEffectX::*ext)(bool);
        VstInt32 mask;
    };
    const Setter setters[] = {
        {&AudioEffect::hasClip, nullptr, 0x2},
        {&AudioEffect::hasVu, nullptr, 0x4},
        {&AudioEffect::canMono, nullptr, 0x8},
        {&AudioEffect::canProcessReplacing, nullptr, 0x10},
        {&AudioEffect::programsAreChunks, nullptr, 0x20},
        {nullptr, &AudioEffectX::isSynth, 0x100},
        {nullptr, &AudioEffectX::noTail, 0x200},
        {nullptr, &AudioEffectX::wantAsyncOperation, 0x400},
        {nullptr, &AudioEffectX::hasExternalBuffer, 0x800},
        {&AudioEffect::canDoubleReplacing, nullptr, 0x1000},
    };
    for (const Setter& s : setters) {
        s.base ? (fx.*s.base)(true) : (fx.*s.ext)(true);
        EXPECT_EQ(r.flags, s.mask) << "setting flag " << s.mask;
        s.base ? (fx.*s.base)(false) : (fx.*s.ext)(false);
        EXPECT_EQ(r.flags, 0) << "clearing flag " << s.mask;
    }
}

TEST(Speakers, AllocateGivesZeroFilledBlocks) {
    ProbeEffect fx(nullptr);
    VstSpeakerArrangement* arrangement = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&arrangement, 3));
    EXPECT_EQ(arrangement->numChannels, 3);
    EXPECT_EQ(arrangement->type, 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(arrangement->speakers);
    for (std::size_t i = 0; i < 3 * sizeof(VstSpeakerProperties); ++i) {
        ASSERT_EQ(bytes[i], 0) << "speaker byte " << i;
    }
    ASSERT_TRUE(fx.allocateArrangement(&arrangement, 1)) << "reallocation releases the old block";
    VstSpeakerArrangement* kept = arrangement;
    EXPECT_FALSE(fx.allocateArrangement(&arrangement, -1));
    EXPECT_EQ(arrangement, kept) << "a failed allocation keeps the old block";
    EXPECT_FALSE(fx.allocateArrangement(nullptr, 1));
    EXPECT_TRUE(fx.deallocateArrangement(&arrangement));
    EXPECT_EQ(arrangement, nullptr);
}

TEST(Speakers, CopyAndMatch) {
    ProbeEffect fx(nullptr);
    VstSpeakerArrangement* from = nullptr;
    VstSpeakerArrangement* to = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&from, 2));
    ASSERT_TRUE(fx.allocateArrangement(&to, 5));
    from->type = 1;
    from->speakers[0].azimuth = 0.5f;
    std::memset(from->speakers[1].name, 'L', sizeof(from->speakers[1].name));
    from->speakers[1].type = 2;

    ASSERT_TRUE(fx.matchArrangement(&to, from));
    EXPECT_EQ(to->numChannels, 2);
    EXPECT_EQ(to->type, 1);
    EXPECT_EQ(to->speakers[0].azimuth, 0.5f);
    EXPECT_EQ(to->speakers[1].type, 2);
    EXPECT_EQ(std::strlen(to->speakers[1].name), 63u) << "names are cut to 63 characters";

    ASSERT_TRUE(fx.matchArrangement(&to, to)) << "matching an arrangement to itself";
    EXPECT_EQ(to->numChannels, 2);
    EXPECT_EQ(to->speakers[1].type, 2);

    EXPECT_FALSE(fx.matchArrangement(&to, nullptr));
    EXPECT_FALSE(fx.copySpeaker(nullptr, &from->speakers[0]));
    EXPECT_FALSE(fx.copySpeaker(&to->speakers[0], nullptr));
    fx.deallocateArrangement(&from);
    fx.deallocateArrangement(&to);
}
