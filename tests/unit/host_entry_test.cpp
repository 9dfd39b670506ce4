#include "host_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <limits>

using namespace hosttest;

namespace {

bool allZero(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Entry, RecordHoldsTheBaseValues) {
    Plugin plugin;
    ASSERT_NE(plugin.e, nullptr);
    const AEffect& r = *plugin.e;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
    EXPECT_EQ(0, std::memcmp(bytes, "PtsV", 4)) << "magic bytes in memory should be 50 74 73 56";
    EXPECT_TRUE(allZero(bytes + 4, 4)) << "gap after magic";
    EXPECT_TRUE(allZero(bytes + 60, 4)) << "gap after flags";
    EXPECT_NE(r.dispatcher, nullptr);
    EXPECT_NE(r.process, nullptr);
    EXPECT_NE(r.setParameter, nullptr);
    EXPECT_NE(r.getParameter, nullptr);
    EXPECT_NE(r.processReplacing, nullptr);
    EXPECT_NE(r.processDoubleReplacing, nullptr);
    EXPECT_EQ(r.numPrograms, 2);
    EXPECT_EQ(r.numParams, 10);
    EXPECT_EQ(r.numInputs, 1);
    EXPECT_EQ(r.numOutputs, 2);
    EXPECT_EQ(r.flags, effFlagsCanReplacing);
    EXPECT_EQ(r.resvd1, 0);
    EXPECT_EQ(r.resvd2, 0);
    EXPECT_EQ(r.initialDelay, 0);
    EXPECT_EQ(r.realQualities, 0);
    EXPECT_EQ(r.offQualities, 0);
    EXPECT_EQ(r.ioRatio, 1.0f);
    EXPECT_EQ(r.object, static_cast<AudioEffect*>(&plugin.effect()));
    EXPECT_EQ(r.user, nullptr);
    EXPECT_EQ(r.uniqueID, 0x4E6F4566) << "NoEf";
    EXPECT_EQ(r.version, 1);
    EXPECT_TRUE(allZero(r.future, sizeof(r.future)));
    EXPECT_EQ(plugin.effect().getAeffect(), plugin.e);
    EXPECT_EQ(plugin.effect().getAeffect(), plugin.e) << "the same address on every call";
}

TEST(Entry, AsksTheHostVersionFirstWithoutARecord) {
    Plugin plugin;
    ASSERT_FALSE(host.calls.empty());
    const HostCall& first = host.calls.front();
    EXPECT_EQ(first.effect, nullptr);
    EXPECT_EQ(first.opcode, audioMasterVersion);
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(first.value, 0);
    EXPECT_EQ(first.ptr, nullptr);
    EXPECT_EQ(first.opt, 0.0f);
}

TEST(Entry, HostAnsweringZeroToTheVersionGetsNothing) {
    host.reset();
    host.answers[audioMasterVersion] = 0;
    factory.build = Build::Plain;
    const int creations = factory.creations;
    EXPECT_EQ(VSTPluginMain(&hostCallback), nullptr);
    EXPECT_EQ(factory.creations, creations) << "no instance may be built";
}

TEST(Entry, FailuresGiveNull) {
    EXPECT_EQ(VSTPluginMain(nullptr), nullptr) << "null host callback";
    EXPECT_EQ(Plugin(Build::Null).e, nullptr) << "creation yields null";
    EXPECT_EQ(Plugin(Build::Throw).e, nullptr) << "creation throws";
    EXPECT_EQ(GetPluginFactory(), nullptr);
}

TEST(Entry, InstancesAreIndependent) {
    Plugin a;
    Plugin b;
    ASSERT_NE(a.e, b.e);
    a.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(a.dispatch(effGetProgram), 1);
    EXPECT_EQ(b.dispatch(effGetProgram), 0);
}

TEST(Close, AnswersOneAndDeletesInstanceAndEditor) {
    Plugin plugin(Build::Probe, true);
    const int effects = PlainEffect::destroyed;
    const int editors = TestEditor::destroyed;
    EXPECT_EQ(plugin.e->dispatcher(plugin.e, effClose, 0, 0, nullptr, 0.0f), 1);
    plugin.e = nullptr;
    EXPECT_EQ(PlainEffect::destroyed, effects + 1);
    EXPECT_EQ(TestEditor::destroyed, editors + 1);
}

TEST(Close, ClosesEvenWhenTheInstanceThrows) {
    Plugin plugin(Build::Probe);
    plugin.probe().throwing = true;
    const int effects = PlainEffect::destroyed;
    EXPECT_EQ(plugin.close(), 1);
    EXPECT_EQ(PlainEffect::destroyed, effects + 1);
}

TEST(Entries, RecordWithoutInstanceIsHarmless) {
    Plugin plugin;
    AEffect orphan = *plugin.e;
    orphan.object = nullptr;
    float sample = 0.5f;
    float* channels[2] = {&sample, &sample};
    double dsample = 0.5;
    double* dchannels[2] = {&dsample, &dsample};
    for (AEffect* r : {static_cast<AEffect*>(nullptr), &orphan}) {
        EXPECT_EQ(plugin.e->dispatcher(r, effClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(plugin.e->dispatcher(r, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(plugin.e->getParameter(r, 0), 0.0f);
        plugin.e->setParameter(r, 0, 1.0f);
        plugin.e->process(r, channels, channels, 1);
        plugin.e->processReplacing(r, channels, channels, 1);
        plugin.e->processDoubleReplacing(r, dchannels, dchannels, 1);
    }
    EXPECT_EQ(plugin.effect().processCalls, 0);
    EXPECT_EQ(plugin.dispatch(effGetVstVersion), 2400) << "the real instance is still alive";
}

TEST(Entries, NoExceptionReachesTheHost) {
    Plugin plugin(Build::Probe);
    plugin.probe().throwing = true;
    char text[64] = "x";
    EXPECT_EQ(plugin.dispatch(effGetEffectName, 0, 0, text), 0);
    EXPECT_EQ(plugin.e->getParameter(plugin.e, 1), 0.0f);
    plugin.e->setParameter(plugin.e, 1, 0.5f);
}

TEST(Parameters, EntriesReachTheInstance) {
    Plugin plugin(Build::Probe);
    plugin.e->setParameter(plugin.e, 3, 0.25f);
    EXPECT_EQ(plugin.probe().last(), "setParameter 3 0.250000");
    EXPECT_EQ(plugin.e->getParameter(plugin.e, 4), 0.75f);
    EXPECT_EQ(plugin.probe().last(), "getParameter 4");
    const std::size_t calls = plugin.probe().log.size();
    plugin.e->setParameter(plugin.e, 3, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin.probe().log.size(), calls) << "a NaN value must not reach the instance";
}

TEST(Process, AccumulatingAndDoubleEntriesLeaveOutputsUntouched) {
    Plugin plugin;
    float in[4] = {1, 2, 3, 4};
    float out[4] = {9, 9, 9, 9};
    float* ins[2] = {in, in};
    float* outs[2] = {out, out};
    plugin.e->process(plugin.e, ins, outs, 4);
    for (float s : out) {
        EXPECT_EQ(s, 9.0f) << "process must not write the outputs";
    }
    double din[4] = {1, 2, 3, 4};
    double dout[4] = {9, 9, 9, 9};
    double* dins[2] = {din, din};
    double* douts[2] = {dout, dout};
    plugin.e->processDoubleReplacing(plugin.e, dins, douts, 4);
    for (double s : dout) {
        EXPECT_EQ(s, 9.0) << "processDoubleReplacing must not write the outputs";
    }
    EXPECT_EQ(plugin.effect().processCalls, 0);
}

TEST(Process, ReplacingEntryForwardsOnlySoundBlocks) {
    Plugin plugin;
    float sample = 0.0f;
    float* channels[2] = {&sample, &sample};
    plugin.e->processReplacing(plugin.e, channels, channels, 0);
    EXPECT_EQ(plugin.effect().processCalls, 1) << "an empty block still reaches the instance";
    EXPECT_EQ(plugin.effect().lastFrames, 0);
    EXPECT_EQ(plugin.effect().lastOutputs, channels);
    plugin.e->processReplacing(plugin.e, channels, channels, -1);
    plugin.e->processReplacing(plugin.e, nullptr, channels, 1);
    plugin.e->processReplacing(plugin.e, channels, nullptr, 1);
    EXPECT_EQ(plugin.effect().processCalls, 1) << "negative frames or null buffers are dropped";
}
