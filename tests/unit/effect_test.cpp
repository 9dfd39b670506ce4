// The equaliser effect as a host sees it: created through the entry point, driven through
// the record only, on the fake platform.
#include "dsp/eqcore.h"
#include "host/audioeffectx.h"
#include "host/vstmain.h"
#include "platform_fake/fakeplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <xmmintrin.h>

namespace {

struct Call {
    VstInt32 opcode;
    VstInt32 index;
    float opt;
};

std::vector<Call> calls;

VstIntPtr VLM_VSTCALL Host(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index,
                           VstIntPtr /*value*/, void* /*ptr*/, float opt) {
    calls.push_back({opcode, index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::vector<Call> Automations() {
    std::vector<Call> result;
    for (const Call& c : calls) {
        if (c.opcode == audioMasterAutomate) {
            result.push_back(c);
        }
    }
    return result;
}

std::vector<float> Noise(std::size_t frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> samples(frames);
    for (float& s : samples) {
        s = uniform(random);
    }
    return samples;
}

class Effect : public ::testing::Test {
protected:
    void SetUp() override {
        VLM::Fake::Reset();
        calls.clear();
        fx = VSTPluginMain(Host);
        ASSERT_NE(fx, nullptr);
        calls.clear();
    }
    void TearDown() override {
        if (fx != nullptr) {
            Dispatch(effClose);
        }
    }

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return fx->dispatcher(fx, opcode, index, value, ptr, opt);
    }
    std::string Text(VstInt32 opcode, VstInt32 index = 0) {
        char buffer[80];
        std::memset(buffer, 'x', sizeof buffer);
        Dispatch(opcode, index, 0, buffer);
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    }
    std::vector<std::uint8_t> Chunk(bool preset) {
        void* data = nullptr;
        const auto size = Dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        return std::vector<std::uint8_t>(bytes, bytes + size);
    }
    // Processes `frames` of stereo input in separate output buffers.
    void Process(std::vector<float>& left, std::vector<float>& right, std::vector<float>& outL,
                 std::vector<float>& outR) {
        float* in[2] = {left.data(), right.data()};
        float* out[2] = {outL.data(), outR.data()};
        fx->processReplacing(fx, in, out, static_cast<VstInt32>(left.size()));
    }

    // What a host reads back without processing: every control's value, the program, its name
    // and the state chunk.
    struct State {
        std::vector<float> values;
        VstIntPtr program = 0;
        std::string programName;
        std::vector<std::uint8_t> chunk;
    };
    State Snapshot() {
        State s;
        for (VstInt32 id = 0; id < kControlCount; ++id) {
            s.values.push_back(fx->getParameter(fx, id));
        }
        s.program = Dispatch(effGetProgram);
        s.programName = Text(effGetProgramName);
        s.chunk = Chunk(false);
        return s;
    }
    void ExpectUnchanged(const State& before) {
        const State now = Snapshot();
        EXPECT_EQ(now.values, before.values);
        EXPECT_EQ(now.program, before.program);
        EXPECT_EQ(now.programName, before.programName);
        EXPECT_EQ(now.chunk, before.chunk);
    }
    // One block of noise through the effect and through `engine` with the effect's faders and
    // IN switch: the effect must give the engine's bits.
    ::testing::AssertionResult FiltersLike(VLM::EqCore& engine, float rate, unsigned seed) {
        float faders[VLM::kEqBandCount];
        for (int b = 0; b < VLM::kEqBandCount; ++b) {
            faders[b] = fx->getParameter(fx, b);
        }
        auto l = Noise(512, seed), r = Noise(512, seed + 1);
        std::vector<float> ol(512), or_(512);
        Process(l, r, ol, or_);
        float* ref[2] = {l.data(), r.data()};
        engine.ProcessBlock(ref, 512, rate, faders, fx->getParameter(fx, 10));
        if (std::memcmp(ol.data(), l.data(), 512 * sizeof(float)) != 0 ||
            std::memcmp(or_.data(), r.data(), 512 * sizeof(float)) != 0) {
            return ::testing::AssertionFailure() << "the output differs from the engine's";
        }
        return ::testing::AssertionSuccess();
    }

    static constexpr VstInt32 kControlCount = 12; // ids 0..11 hold a value
    AEffect* fx = nullptr;
};

TEST(EffectCreation, TheRecordCarriesTheEqualisersIdentity) {
    VLM::Fake::Reset();
    AEffect* fx = VSTPluginMain(Host);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(fx->magic, kEffectMagic);
    EXPECT_EQ(fx->flags, 0x31);
    EXPECT_EQ(fx->numInputs, 2);
    EXPECT_EQ(fx->numOutputs, 2);
    EXPECT_EQ(fx->numParams, 10);
    EXPECT_EQ(fx->numPrograms, 2);
    EXPECT_EQ(fx->uniqueID, FourCharCode('V', 'L', 'M', '1'));
    EXPECT_EQ(fx->version, 1);
    EXPECT_EQ(fx->dispatcher(fx, effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategEffect);
    char text[65];
    EXPECT_EQ(fx->dispatcher(fx, effGetEffectName, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "VLM Tarvix");
    EXPECT_EQ(fx->dispatcher(fx, effGetVendorString, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "Velmora");
    EXPECT_EQ(fx->dispatcher(fx, effGetProductString, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "VLM Tarvix");
    ERect* rect = nullptr;
    EXPECT_EQ(fx->dispatcher(fx, effEditGetRect, 0, 0, &rect, 0), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 900);
    EXPECT_EQ(rect->bottom, 258);
    EXPECT_EQ(fx->dispatcher(fx, effClose, 0, 0, nullptr, 0), 1);
}

TEST(EffectCreation, AFailingEditorShowsOneErrorBoxAndGivesTheHostNothing) {
    VLM::Fake::Reset();
    VLM::Fake::Get().resources.erase(L"zem");
    EXPECT_EQ(VSTPluginMain(Host), nullptr);
    ASSERT_EQ(VLM::Fake::Get().messageBoxes.size(), 1u);
    EXPECT_EQ(VLM::Fake::Get().messageBoxes[0].second, L"VLM Tarvix 1.0.0");
    EXPECT_NE(VLM::Fake::Get().messageBoxes[0].first.find(L"Can't find resource \"ZEM\""),
              std::wstring::npos);

    VLM::Fake::Reset();
    VLM::Fake::Get().startupStatus = 2;
    EXPECT_EQ(VSTPluginMain(Host), nullptr);
    EXPECT_EQ(VLM::Fake::Get().messageBoxes.size(), 1u);
}

TEST_F(Effect, ParametersAreTheControlsOfTheEditor) {
    EXPECT_EQ(fx->getParameter(fx, 0), 0.5f);
    EXPECT_EQ(Text(effGetParamName, 0), "31 Hz");
    EXPECT_EQ(Text(effGetParamName, 9), "16 kHz");
    EXPECT_EQ(Text(effGetParamLabel, 0), "dB");
    EXPECT_EQ(Text(effGetParamDisplay, 0), "0.0");
    // The lookup is by control id, not bounded by the announced count.
    EXPECT_EQ(Text(effGetParamName, 10), "On/Off");
    EXPECT_EQ(fx->getParameter(fx, 10), 1.0f);
    EXPECT_EQ(fx->getParameter(fx, 42), 0.0f);
    EXPECT_EQ(Text(effGetParamName, 42), "");
    EXPECT_EQ(Text(effGetParamDisplay, -7), "");

    fx->setParameter(fx, 3, 0.75f);
    EXPECT_EQ(fx->getParameter(fx, 3), 0.75f);
    EXPECT_EQ(Text(effGetParamDisplay, 3), "+6.0");
    EXPECT_EQ(Text(effGetParamName, 3), "250 Hz");
    fx->setParameter(fx, 0, 1.5f);
    EXPECT_EQ(fx->getParameter(fx, 0), 1.0f);
    EXPECT_EQ(Text(effGetParamDisplay, 0), "+12.0");
    fx->setParameter(fx, 1, -0.2f);
    EXPECT_EQ(fx->getParameter(fx, 1), 0.0f);
    EXPECT_EQ(Text(effGetParamDisplay, 1), "-12.0");
    const State before = Snapshot();
    calls.clear();
    fx->setParameter(fx, 42, 0.3f); // no control: nothing happens
    ExpectUnchanged(before);
    EXPECT_TRUE(Automations().empty());
}

TEST_F(Effect, HostWritesAreEchoedAsAutomationOnlyWhenTheyChangeTheValue) {
    fx->setParameter(fx, 2, 0.5f);
    EXPECT_TRUE(Automations().empty()) << "a write of the value already held was reported";
    fx->setParameter(fx, 2, 0.25f);
    ASSERT_EQ(Automations().size(), 1u);
    EXPECT_EQ(Automations()[0].index, 2);
    EXPECT_EQ(Automations()[0].opt, 0.25f);
    // Clamping to the value held is no change either.
    fx->setParameter(fx, 0, 1.0f);
    calls.clear();
    fx->setParameter(fx, 0, 7.0f);
    EXPECT_TRUE(Automations().empty());
    // The IN switch answers to its control id but is not an announced parameter: the host
    // hears nothing of it, neither automation nor an edit gesture.
    calls.clear();
    fx->setParameter(fx, 10, 0.0f);
    EXPECT_EQ(fx->getParameter(fx, 10), 0.0f);
    EXPECT_TRUE(calls.empty()) << calls.size() << " host calls for a control beyond the parameters";
}

TEST_F(Effect, NonFiniteParameterValuesAreNeverStored) {
    fx->setParameter(fx, 4, 0.8f);
    calls.clear();
    fx->setParameter(fx, 4, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(fx->getParameter(fx, 4), 0.8f);
    EXPECT_TRUE(Automations().empty());
    fx->setParameter(fx, 4, std::numeric_limits<float>::infinity());
    EXPECT_EQ(fx->getParameter(fx, 4), 1.0f);
    fx->setParameter(fx, 4, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(fx->getParameter(fx, 4), 0.0f);
}

TEST_F(Effect, TheChunkListsEveryControlInEditorOrder) {
    fx->setParameter(fx, 5, 0.75f);
    for (bool preset : {false, true}) {
        const auto chunk = Chunk(preset);
        ASSERT_EQ(chunk.size(), 120u);
        const std::int32_t expectedIds[15] = {-1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1};
        for (int r = 0; r < 15; ++r) {
            std::int32_t id = 0;
            float value = 0;
            std::memcpy(&id, &chunk[r * 8], 4);
            std::memcpy(&value, &chunk[r * 8 + 4], 4);
            EXPECT_EQ(id, expectedIds[r]) << "record " << r;
            const float expected = (id == 5)              ? 0.75f
                                   : (id >= 0 && id < 10) ? 0.5f
                                   : (id == 10)           ? 1.0f
                                                          : 0.0f;
            EXPECT_EQ(value, expected) << "record " << r;
        }
    }
    EXPECT_EQ(Dispatch(effGetChunk, 0, 0, nullptr), 0);
}

TEST_F(Effect, RestoringAChunkReportsEachChangedFaderOrButtonOnce) {
    auto chunk = Chunk(false);
    // Another instance's state: band 1 at +12 dB, band 7 at -12 dB, IN off, lamp lit.
    const auto put = [&](int record, float value) {
        std::memcpy(&chunk[record * 8 + 4], &value, 4);
    };
    put(2, 1.0f);
    put(8, 0.0f);
    put(12, 0.0f);
    put(13, 1.0f);
    put(0, 0.9f); // the faceplate's record: it holds no value
    EXPECT_EQ(Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data()), 1);
    // The IN switch changes too, but its id lies beyond the ten announced parameters, and a
    // host indexes its parameter tables with the reported number: it is not reported.
    const auto automations = Automations();
    ASSERT_EQ(automations.size(), 2u);
    EXPECT_EQ(automations[0].index, 0);
    EXPECT_EQ(automations[0].opt, 1.0f);
    EXPECT_EQ(automations[1].index, 6);
    EXPECT_EQ(automations[1].opt, 0.0f);
    EXPECT_EQ(fx->getParameter(fx, 0), 1.0f);
    EXPECT_EQ(fx->getParameter(fx, 6), 0.0f);
    EXPECT_EQ(fx->getParameter(fx, 10), 0.0f);
    EXPECT_EQ(fx->getParameter(fx, 11), 1.0f);

    // The same state again changes nothing and reports nothing.
    calls.clear();
    EXPECT_EQ(Dispatch(effSetChunk, 1, static_cast<VstIntPtr>(chunk.size()), chunk.data()), 1);
    EXPECT_TRUE(Automations().empty());
}

TEST_F(Effect, PartialAndEmptyChunksApplyOnlyWholeRecords) {
    std::uint8_t twelve[12] = {};
    const std::int32_t id = 3;
    const float value = 0.25f;
    std::memcpy(twelve, &id, 4);
    std::memcpy(twelve + 4, &value, 4);
    std::memcpy(twelve + 8, &id, 4); // a trailing partial record
    EXPECT_EQ(Dispatch(effSetChunk, 0, 12, twelve), 1);
    EXPECT_EQ(fx->getParameter(fx, 3), 0.25f);
    EXPECT_EQ(Automations().size(), 1u);

    EXPECT_EQ(Dispatch(effSetChunk, 0, 8, nullptr), 0);
    EXPECT_EQ(Dispatch(effSetChunk, 0, 0, twelve), 0);
    EXPECT_EQ(Dispatch(effSetChunk, 0, -8, twelve), 0);
    // A record of an unknown id and one with NaN are skipped; the others still apply.
    std::uint8_t mixed[24] = {};
    const std::int32_t ids[3] = {77, 1, 2};
    const float values[3] = {0.1f, std::numeric_limits<float>::quiet_NaN(), 0.9f};
    for (int r = 0; r < 3; ++r) {
        std::memcpy(mixed + r * 8, &ids[r], 4);
        std::memcpy(mixed + r * 8 + 4, &values[r], 4);
    }
    EXPECT_EQ(Dispatch(effSetChunk, 0, 24, mixed), 1);
    EXPECT_EQ(fx->getParameter(fx, 1), 0.5f);
    EXPECT_EQ(fx->getParameter(fx, 2), 0.9f);
}

TEST_F(Effect, ProgramsCarryNamesOnly) {
    EXPECT_EQ(Text(effGetProgramName), "Default");
    fx->setParameter(fx, 0, 0.9f);
    Dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(Dispatch(effGetProgram), 1);
    EXPECT_EQ(Text(effGetProgramName), "Some non-Default Preset");
    EXPECT_EQ(fx->getParameter(fx, 0), 0.9f) << "a program change touched a value";
    Dispatch(effSetProgram, 0, 2); // out of range: ignored
    EXPECT_EQ(Dispatch(effGetProgram), 1);
    char name[25];
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_STREQ(name, "Default");
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 1, 0, name), 1);
    EXPECT_STREQ(name, "Some non-Default Preset");
}

TEST_F(Effect, AHostsScaleRequestSizesTheEditorButNotTheState) {
    constexpr VstInt32 kIndex = 0x50726553;  // 'PreS'
    constexpr VstIntPtr kValue = 0x41654373; // 'AeCs'
    const auto size = [this] {
        ERect* rect = nullptr;
        Dispatch(effEditGetRect, 0, 0, &rect);
        return std::make_pair(rect->right - rect->left, rect->bottom - rect->top);
    };
    const auto chunk = Chunk(false);
    EXPECT_EQ(Dispatch(effVendorSpecific, kIndex, kValue, nullptr, 2.0f), 1);
    EXPECT_EQ(size(), std::make_pair(1800, 516));
    EXPECT_EQ(Dispatch(effVendorSpecific, kIndex + 1, kValue, nullptr, 1.0f), 0);
    EXPECT_EQ(Dispatch(effVendorSpecific, kIndex, kValue + 1, nullptr, 1.0f), 0);
    EXPECT_EQ(Dispatch(effVendorSpecific, kIndex, kValue, nullptr,
                       std::numeric_limits<float>::infinity()),
              0);
    EXPECT_EQ(Dispatch(effVendorSpecific, kIndex, kValue, nullptr, -1.0f), 0);
    EXPECT_EQ(size(), std::make_pair(1800, 516)) << "a refused request changed the size";
    EXPECT_EQ(Dispatch(effVendorSpecific, kIndex, kValue, nullptr, 1.3f), 1);
    EXPECT_EQ(size(), std::make_pair(1125, 323));
    EXPECT_EQ(Chunk(false), chunk) << "the factor is no part of the saved state";
}

TEST_F(Effect, HostTextBuffersAreAlwaysTerminatedWithinTheirSize) {
    char buffer[80];
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        for (VstInt32 index = -1; index < 13; ++index) {
            std::memset(buffer, 'x', sizeof buffer);
            Dispatch(opcode, index, 0, buffer);
            EXPECT_LT(strnlen(buffer, sizeof buffer), static_cast<std::size_t>(kVstMaxParamStrLen))
                << "opcode " << opcode << " index " << index;
        }
    }
    // Null text pointers from a host are answered 0 and change nothing; the effect still
    // answers and filters afterwards.
    const State before = Snapshot();
    for (VstInt32 opcode :
         {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramName,
          effGetEffectName, effGetVendorString, effGetProductString, effGetProgramNameIndexed}) {
        EXPECT_EQ(Dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
    }
    ExpectUnchanged(before);
    EXPECT_EQ(Text(effGetParamName, 0), "31 Hz");
    EXPECT_EQ(Text(effGetEffectName), "VLM Tarvix");
    VLM::EqCore engine;
    engine.Init(44100.0f);
    EXPECT_TRUE(FiltersLike(engine, 44100.0f, 3));
}

TEST_F(Effect, ZeroFramesAndNullBuffersChangeNothingNotEvenTheLamp) {
    EXPECT_EQ(fx->getParameter(fx, 11), 0.0f);
    std::vector<float> l(4, 0.25f), r(4, 0.5f), ol(4, 9.0f), or_(4, 9.0f);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), or_.data()};
    fx->processReplacing(fx, in, out, 0);
    EXPECT_EQ(ol[0], 9.0f) << "zero frames copied something";
    fx->processReplacing(fx, in, out, -5);
    EXPECT_EQ(ol[0], 9.0f);
    fx->processReplacing(fx, nullptr, out, 4);
    fx->processReplacing(fx, in, nullptr, 4);
    EXPECT_EQ(fx->getParameter(fx, 11), 0.0f) << "the lamp lit without a processed block";
    fx->processReplacing(fx, in, out, 4);
    EXPECT_EQ(fx->getParameter(fx, 11), 1.0f);
}

constexpr unsigned kFlushToZero = 0x8000;
constexpr unsigned kDenormalsAreZero = 0x0040;

// Sets the processor's control word for a scope, as a host's audio thread may have it.
class ControlWord {
public:
    explicit ControlWord(unsigned word) : saved(_mm_getcsr()) { _mm_setcsr(word); }
    ~ControlWord() { _mm_setcsr(saved); }

private:
    unsigned saved;
};

// An effect that notes the control word it processes under, and may throw from processing.
class WordProbe : public AudioEffectX {
public:
    WordProbe() : AudioEffectX(nullptr, 1, 0) {}
    void processReplacing(float**, float**, VstInt32) override {
        seen = _mm_getcsr();
        if (fail) {
            throw 1;
        }
    }
    unsigned seen = 0;
    bool fail = false;
};

// Subnormal arithmetic is flushed while the plug-in processes, and the host gets its own control
// word back, modes and rounding alike, whichever way processing ends.
TEST_F(Effect, ProcessingFlushesSubnormalsAndGivesTheHostItsControlWordBack) {
    const unsigned defaultWord = 0x1F80; // every exception masked, round to nearest
    const unsigned hostWords[] = {defaultWord, defaultWord | kFlushToZero | kDenormalsAreZero,
                                  defaultWord | 0x6000 /* round towards zero */};
    std::vector<float> l(64, 1e-39f), r(64, -1e-41f), ol(64), or_(64);
    for (const unsigned word : hostWords) {
        const ControlWord host(word);
        Process(l, r, ol, or_);
        EXPECT_EQ(_mm_getcsr() & ~0x3Fu, word) << std::hex << "host word " << word;
        float* in[2] = {l.data(), r.data()};
        fx->processReplacing(fx, in, nullptr, 64); // refused before any processing
        EXPECT_EQ(_mm_getcsr() & ~0x3Fu, word) << std::hex << "host word " << word;

        WordProbe probe;
        float* out[2] = {ol.data(), or_.data()};
        for (const bool fail : {false, true}) {
            probe.fail = fail;
            probe.getAeffect()->processReplacing(probe.getAeffect(), in, out, 64);
            EXPECT_EQ(probe.seen & (kFlushToZero | kDenormalsAreZero),
                      kFlushToZero | kDenormalsAreZero);
            EXPECT_EQ(probe.seen & 0x7F80u, word & 0x7F80u) << "the host's masks and rounding";
            EXPECT_EQ(_mm_getcsr() & ~0x3Fu, word) << std::hex << "host word " << word;
        }
    }
}

TEST_F(Effect, WithInOutTheOutputIsBitIdenticalAndTheLampFollowsAtTheNextBlock) {
    fx->setParameter(fx, 5, 1.0f);
    fx->setParameter(fx, 10, 0.0f);
    auto l = Noise(512, 1), r = Noise(512, 2);
    l[7] = -0.0f;
    l[9] = 1e-40f;
    std::vector<float> ol(512), or_(512);
    EXPECT_EQ(fx->getParameter(fx, 11), 0.0f);
    Process(l, r, ol, or_);
    EXPECT_EQ(std::memcmp(l.data(), ol.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(r.data(), or_.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(fx->getParameter(fx, 11), 0.0f);

    fx->setParameter(fx, 10, 1.0f);
    EXPECT_EQ(fx->getParameter(fx, 11), 0.0f) << "the lamp changed before the next block";
    Process(l, r, ol, or_);
    EXPECT_EQ(fx->getParameter(fx, 11), 1.0f);
    EXPECT_NE(std::memcmp(l.data(), ol.data(), 512 * sizeof(float)), 0);

    // Processing in place (the same buffers for input and output) works too.
    fx->setParameter(fx, 10, 0.0f);
    auto copy = l;
    Process(l, r, l, r);
    EXPECT_EQ(std::memcmp(copy.data(), l.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(fx->getParameter(fx, 11), 0.0f);
}

// The effect is the engine driven by the controls: the same inputs through a bare engine give
// the same bits, also across a sample-rate change that takes effect at the next block.
TEST_F(Effect, ProcessingIsTheEngineDrivenByTheControlsAcrossASampleRateChange) {
    VLM::EqCore reference;
    reference.Init(44100.0f);
    float faders[10] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    const float settings[3][2] = {{0, 0.9f}, {7, 0.2f}, {9, 1.0f}};
    for (const auto& s : settings) {
        fx->setParameter(fx, static_cast<VstInt32>(s[0]), s[1]);
        faders[static_cast<int>(s[0])] = s[1];
    }
    float rate = 44100.0f;
    for (int block = 0; block < 12; ++block) {
        if (block == 5) {
            rate = 48000.0f;
            Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        }
        const std::size_t frames = block % 3 == 0 ? 256 : 512;
        auto l = Noise(frames, 10 + block), r = Noise(frames, 100 + block);
        std::vector<float> ol(frames), or_(frames);
        Process(l, r, ol, or_);
        float* ref[2] = {l.data(), r.data()};
        reference.ProcessBlock(ref, static_cast<std::int32_t>(frames), rate, faders, 1.0f);
        ASSERT_EQ(std::memcmp(ol.data(), l.data(), frames * sizeof(float)), 0) << "block " << block;
        ASSERT_EQ(std::memcmp(or_.data(), r.data(), frames * sizeof(float)), 0)
            << "block " << block;
    }
}

TEST_F(Effect, AStateRestoredBeforeTheFirstBlockHoldsFromItsFirstSampleALaterOneGlides) {
    // The state of a song: band 1 at +12 dB, band 8 at -12 dB. The reference engine starts at
    // the song's faders at its first block and glides on every later change.
    auto chunk = Chunk(false);
    const auto put = [&](int record, float value) {
        std::memcpy(&chunk[record * 8 + 4], &value, 4);
    };
    put(2, 1.0f);
    put(9, 0.0f);
    float faders[10] = {1.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f};
    VLM::EqCore reference;
    reference.Init(44100.0f);
    for (int block = 0; block < 2; ++block) {
        if (block == 1) {
            put(2, 0.5f); // restored while playing
            faders[0] = 0.5f;
        }
        ASSERT_EQ(Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data()), 1);
        auto l = Noise(256, 1), r = Noise(256, 2);
        std::vector<float> ol(256), or_(256);
        Process(l, r, ol, or_);
        float* io[2] = {l.data(), r.data()};
        reference.ProcessBlock(io, 256, 44100.0f, faders, 1.0f);
        EXPECT_EQ(ol, l) << "block " << block;
        EXPECT_EQ(or_, r) << "block " << block;
    }
    EXPECT_GT(reference.values[0], 0.5f) << "band 1 glides back, it does not jump";
}

TEST(EffectInstances, TwoInstancesKeepTheirOwnValuesAndProcessIndependently) {
    VLM::Fake::Reset();
    AEffect* a = VSTPluginMain(Host);
    AEffect* b = VSTPluginMain(Host);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->setParameter(a, 0, 1.0f);
    b->setParameter(b, 10, 0.0f);
    EXPECT_EQ(b->getParameter(b, 0), 0.5f);
    EXPECT_EQ(a->getParameter(a, 10), 1.0f);

    auto l = Noise(512, 5), r = Noise(512, 6);
    std::vector<float> al(512), ar(512), bl(512), br(512);
    for (int block = 0; block < 4; ++block) {
        float* in[2] = {l.data(), r.data()};
        float* outA[2] = {al.data(), ar.data()};
        float* outB[2] = {bl.data(), br.data()};
        a->processReplacing(a, in, outA, 512);
        b->processReplacing(b, in, outB, 512);
    }
    EXPECT_EQ(std::memcmp(l.data(), bl.data(), 512 * sizeof(float)), 0) << "b is switched out";
    EXPECT_NE(std::memcmp(l.data(), al.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(a->dispatcher(a, effClose, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(b->dispatcher(b, effClose, 0, 0, nullptr, 0), 1);
}

TEST_F(Effect, SuspendAndResumeLeaveEverythingAsItWas) {
    VLM::EqCore engine;
    engine.Init(44100.0f);
    fx->setParameter(fx, 8, 0.3f);
    Dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    ASSERT_TRUE(FiltersLike(engine, 96000.0f, 20));
    const State before = Snapshot();
    Dispatch(effMainsChanged, 0, 0);
    Dispatch(effMainsChanged, 0, 1);
    ExpectUnchanged(before);
    // The filters go on from where they stood, at the same rate.
    EXPECT_TRUE(FiltersLike(engine, 96000.0f, 22));
    EXPECT_EQ(Dispatch(effGetVstVersion), 2400);
}

} // namespace
