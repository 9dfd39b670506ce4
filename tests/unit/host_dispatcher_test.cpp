#include "host_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace hosttest;

TEST(Dispatcher, ProgramSelection) {
    Plugin plugin;
    plugin.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 1);
    plugin.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 1) << "program 2 of 2 must be ignored";
    plugin.dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(plugin.dispatch(effGetProgram), -1) << "a negative program passes, sign-extended";
    plugin.dispatch(effSetProgram, 0, -(VstIntPtr{1} << 40));
    EXPECT_EQ(plugin.dispatch(effGetProgram), -1) << "a number beyond int32 is ignored";
}

TEST(Dispatcher, FixedAnswers) {
    Plugin plugin;
    char query[] = "receiveVstMidiEvent";
    char empty[] = "";
    EXPECT_EQ(plugin.dispatch(effIdentify), 0x4E764566) << "NvEf";
    EXPECT_EQ(plugin.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, 0), 1);
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, 42), 1);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, query), 0);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, empty), 0);
    EXPECT_EQ(plugin.dispatch(effGetTailSize), 0);
    EXPECT_EQ(plugin.dispatch(effGetCurrentMidiProgram, 0, 0, query), -1);
    EXPECT_EQ(plugin.dispatch(effSetTotalSampleToProcess, 0, 4096), 4096);
    EXPECT_EQ(plugin.dispatch(effSetTotalSampleToProcess, 0, -5), -5);
    EXPECT_EQ(plugin.dispatch(effSetTotalSampleToProcess, 0, (VstIntPtr{1} << 32) + 7), 7)
        << "the value travels as int32";
}

TEST(Dispatcher, UnhandledAndDecliningOpcodesAnswerZero) {
    Plugin plugin(Build::Probe);
    char text[64] = {};
    for (VstInt32 op : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57}) {
        EXPECT_EQ(plugin.dispatch(op, 1, 1, text, 1.0f), 0) << "opcode " << op;
    }
    for (VstInt32 op : {-1, -100, 80, 1000, std::numeric_limits<VstInt32>::min(),
                        std::numeric_limits<VstInt32>::max()}) {
        EXPECT_EQ(plugin.dispatch(op, 1, 1, text, 1.0f), 0) << "opcode " << op;
    }
    EXPECT_EQ(plugin.probe().last(), "(no call)");
    Plugin plain;
    for (VstInt32 op : {25, 27, 33, 34, 38, 39, 40, 41, 42, 44, 45, 47, 48, 49, 50, 51, 52,
                        56, 62, 64, 65, 66, 67, 68, 70, 71, 72, 74, 75, 76, 77, 78, 79}) {
        EXPECT_EQ(plain.dispatch(op, 1, 1, text, 1.0f), 0) << "opcode " << op;
    }
    EXPECT_EQ(plain.dispatch(effGetProgramNameIndexed, 0, 0, text), 0);
    EXPECT_EQ(plain.dispatch(effGetPlugCategory), 0) << "the bare base names no category";
}

TEST(Dispatcher, PassesArgumentsToTheEffect) {
    Plugin plugin(Build::Probe);
    ProbeEffect& p = plugin.probe();
    char text[65] = {};
    int task = 0;
    void* data = nullptr;
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, 1, 7, text), 1);
    EXPECT_EQ(p.last(), "getProgramNameIndexed 7 1");
    EXPECT_STREQ(text, "Default");
    EXPECT_EQ(plugin.dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "Probe");
    EXPECT_EQ(plugin.dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_EQ(plugin.dispatch(effGetProductString, 0, 0, text), 1);
    EXPECT_EQ(plugin.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(plugin.dispatch(effGetChunk, 1, 0, &data), 16);
    EXPECT_EQ(p.last(), "getChunk preset");
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(plugin.dispatch(effGetChunk, 0, 0, &data), 16);
    EXPECT_EQ(p.last(), "getChunk bank");
    EXPECT_EQ(plugin.dispatch(effSetChunk, 0, 24, data), 1);
    EXPECT_EQ(p.last(), "setChunk 24 bank");
    plugin.dispatch(effSetChunk, 2, VstIntPtr{1} << 40, data);
    EXPECT_EQ(p.last(), "setChunk 2147483647 preset") << "an oversized size saturates";
    plugin.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(p.last(), "suspend");
    plugin.dispatch(effMainsChanged, 0, 5);
    EXPECT_EQ(p.last(), "resume");
    plugin.dispatch(effOfflineNotify, 3, 2);
    EXPECT_EQ(p.last(), "offlineNotify 2 start");
    plugin.dispatch(effOfflinePrepare, 0, 4, &task);
    EXPECT_EQ(p.last(), "offlinePrepare task 4");
    EXPECT_EQ(plugin.dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(p.last(), "setBypass on");
    plugin.dispatch(effVendorSpecific, 3, 9, &task, 0.5f);
    EXPECT_EQ(p.last(), "vendorSpecific 3 9 ptr 0.500000");
    plugin.dispatch(effSetPanLaw, 0, 1, nullptr, 0.25f);
    EXPECT_EQ(p.last(), "setPanLaw 1 0.250000");
    plugin.dispatch(effStartProcess);
    EXPECT_EQ(p.last(), "startProcess");
    plugin.dispatch(effStopProcess);
    EXPECT_EQ(p.last(), "stopProcess");
}

TEST(Dispatcher, SampleRateAndBlockSizeMustMakeSense) {
    Plugin plugin;
    PlainEffect& fx = plugin.effect();
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin.dispatch(effSetBlockSize, 0, 512);
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        plugin.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    }
    for (VstIntPtr size : {VstIntPtr{0}, VstIntPtr{-64}, VstIntPtr{1} << 33}) {
        plugin.dispatch(effSetBlockSize, 0, size);
    }
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    EXPECT_EQ(fx.getBlockSize(), 512);
}

TEST(Dispatcher, EditorOpcodesWithoutAnEditorTouchNothing) {
    Plugin plugin;
    ERect sentinel{};
    ERect* rect = &sentinel;
    VstKeyCode key{'q', 1, 2};
    for (VstInt32 op : {effEditGetRect, effEditOpen, effEditClose, effEditIdle, effEditKeyDown,
                        effEditKeyUp, effSetEditKnobMode}) {
        void* ptr = op == effEditGetRect ? static_cast<void*>(&rect) : &key;
        EXPECT_EQ(plugin.dispatch(op, 'a', 0x41, ptr, 1.0f), 0) << "opcode " << op;
    }
    EXPECT_EQ(rect, &sentinel);
    EXPECT_EQ(key.character, 'q');
    EXPECT_EQ(key.virt, 1);
    EXPECT_EQ(key.modifier, 2);
}

TEST(Dispatcher, EditorOpcodesReachTheEditor) {
    Plugin plugin(Build::Plain, true);
    TestEditor& ed = *plugin.effect().testEditor();
    ERect* rect = nullptr;
    int parent = 0;
    EXPECT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect, &ed.rect);
    EXPECT_EQ(plugin.dispatch(effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(ed.parent(), &parent);
    plugin.dispatch(effEditIdle);
    EXPECT_EQ(ed.idles, 1);
    plugin.dispatch(effEditClose);
    EXPECT_EQ(ed.closes, 1);
    EXPECT_EQ(plugin.dispatch(effEditKeyDown, 'a', 0x1234, nullptr, 5.7f), 1);
    EXPECT_EQ(ed.lastKeyEvent, "down");
    EXPECT_EQ(ed.lastKey.character, 'a');
    EXPECT_EQ(ed.lastKey.virt, 0x34) << "the low byte of value";
    EXPECT_EQ(ed.lastKey.modifier, 5) << "opt truncated to an integer";
    EXPECT_EQ(plugin.dispatch(effEditKeyUp, 'b', 7, nullptr, 2.0f), 1);
    EXPECT_EQ(ed.lastKeyEvent, "up");
    EXPECT_EQ(ed.lastKey.character, 'b');
    for (float odd : {std::numeric_limits<float>::quiet_NaN(), -3.0f, 300.0f}) {
        plugin.dispatch(effEditKeyDown, 'c', 1, nullptr, odd);
        EXPECT_EQ(ed.lastKey.modifier, 0) << "modifier from opt " << odd;
    }
    EXPECT_EQ(plugin.dispatch(effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(ed.knobMode, 2);
}

TEST(Dispatcher, NullPointersFromTheHostAreRefused) {
    Plugin plugin(Build::Probe, true);
    for (VstInt32 op : {effSetProgramName,
                        effGetProgramName,
                        effGetParamLabel,
                        effGetParamDisplay,
                        effGetParamName,
                        effEditGetRect,
                        effGetChunk,
                        effSetChunk,
                        effProcessEvents,
                        effGetProgramNameIndexed,
                        effGetInputProperties,
                        effGetOutputProperties,
                        effProcessVarIo,
                        effGetEffectName,
                        effGetVendorString,
                        effGetProductString,
                        effCanDo,
                        effGetParameterProperties,
                        effGetMidiProgramName,
                        effGetMidiProgramCategory,
                        effGetMidiKeyName,
                        effShellGetNextPlugin,
                        effBeginLoadBank,
                        effBeginLoadProgram,
                        effGetSpeakerArrangement}) {
        EXPECT_EQ(plugin.dispatch(op, 0, 0, nullptr), 0) << "opcode " << op;
    }
    EXPECT_EQ(plugin.dispatch(effGetCurrentMidiProgram, 0, 0, nullptr), -1);
    EXPECT_EQ(plugin.probe().last(), "(no call)");

    Plugin plain(Build::Plain, true);
    for (VstInt32 op = -3; op <= 90; ++op) {
        if (op != effClose) {
            plain.dispatch(op, -1, 0, nullptr, -1.0f); // any opcode, no pointer: no crash
        }
    }
}

TEST(Dispatcher, SpeakerArrangementOffersNone) {
    Plugin plugin;
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* input = &dummy;
    VstSpeakerArrangement* output = &dummy;
    EXPECT_EQ(
        plugin.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output),
        0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    output = &dummy;
    EXPECT_EQ(plugin.dispatch(effGetSpeakerArrangement, 0, 0, &output), 0);
    EXPECT_EQ(output, nullptr) << "half a request still learns there is none";
}

TEST(Dispatcher, BaseTextsAreEmptyAndTerminated) {
    Plugin plugin;
    for (VstInt32 op : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char text[kVstMaxProgNameLen + 1];
        std::memset(text, 'x', sizeof(text));
        EXPECT_EQ(plugin.dispatch(op, 0, 0, text), 0);
        EXPECT_EQ(text[0], '\0') << "opcode " << op;
        EXPECT_EQ(text[1], 'x') << "opcode " << op << " wrote past the empty text";
    }
}

TEST(Dispatcher, TextsEndInsideTheHostBuffers) {
    Plugin plugin(Build::Probe);
    const struct {
        VstInt32 opcode;
        int bytes;
    } requests[] = {{effGetProgramName, 25},        {effGetParamLabel, 8},
                    {effGetParamDisplay, 8},        {effGetParamName, 8},
                    {effGetProgramNameIndexed, 25}, {effGetEffectName, 32},
                    {effGetVendorString, 64},       {effGetProductString, 64}};
    for (const auto& request : requests) {
        char text[80];
        std::memset(text, 'g', sizeof(text));
        plugin.probe().fillBytes = request.bytes;
        plugin.dispatch(request.opcode, 0, 0, text);
        const void* end = std::memchr(text, '\0', sizeof(text));
        ASSERT_NE(end, nullptr) << "opcode " << request.opcode << " left no terminator";
        EXPECT_EQ(static_cast<const char*>(end) - text, request.bytes - 1)
            << "opcode " << request.opcode;
        EXPECT_EQ(text[request.bytes], 'g') << "opcode " << request.opcode;
    }
}
