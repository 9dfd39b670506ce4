// Level 10: the dispatcher fuzz, every opcode with random arguments between audio blocks.
#include "validate/tests.h"

#include "common/text_format.h"
#include "host/opcode_names.h"
#include "host/plugin.h"
#include "os/alloc_count.h"
#include "validate/audio_runner.h"
#include "validate/checks.h"
#include "validate/validator.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace VLM {

namespace {

constexpr std::size_t kScratchBytes = 65536;

const char* const kCanDo[] = {"sendVstEvents",
                              "sendVstMidiEvent",
                              "receiveVstEvents",
                              "receiveVstMidiEvent",
                              "receiveVstTimeInfo",
                              "offline",
                              "midiProgramNames",
                              "bypass",
                              "plugAsChannelInsert",
                              "plugAsSend",
                              "mixDryWet",
                              "noRealTime",
                              "multipass",
                              "metapass",
                              "1in1out",
                              "2in2out",
                              "LiveWithoutToolbar",
                              "",
                              "an unknown question from a host that asks far too much"};

VstInt32 FuzzIndex(CRandom& random, VstInt32 count) {
    switch (random.Range(0, 9)) {
    case 0:
        return std::numeric_limits<VstInt32>::min();
    case 1:
        return std::numeric_limits<VstInt32>::max();
    case 2:
        return static_cast<VstInt32>(random.Range(-100, -1));
    case 3:
        return count + static_cast<VstInt32>(random.Range(0, 100));
    default:
        return static_cast<VstInt32>(random.Range(0, count > 0 ? count - 1 : 0));
    }
}

VstIntPtr FuzzValue(CRandom& random) {
    switch (random.Range(0, 7)) {
    case 0:
        return std::numeric_limits<VstIntPtr>::min();
    case 1:
        return std::numeric_limits<VstIntPtr>::max();
    case 2:
        return -1;
    case 3:
        return static_cast<VstIntPtr>(random.Range(0, 1));
    default:
        return static_cast<VstIntPtr>(random.Range(-8, 100000));
    }
}

float FuzzOpt(CRandom& random) {
    const float kValues[] = {0.0f,
                             1.0f,
                             44100.0f,
                             48000.0f,
                             96000.0f,
                             -1.0f,
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             1.0e9f,
                             0.5f};
    return kValues[random.Range(0, 9)];
}

} // namespace

void TestDispatcherFuzz(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 512);
    CHostWatch watch(plugin->Record().numParams);
    CRandom random(TestSeed(test.Seed(), "dispatcher-fuzz"));
    const VstInt32 params = plugin->Record().numParams;
    const VstInt32 programs = plugin->Record().numPrograms;
    std::vector<unsigned char> scratch(kScratchBytes);
    VstSpeakerArrangement inArrangement{}, outArrangement{};
    inArrangement.type = outArrangement.type = 1; // stereo
    inArrangement.numChannels = outArrangement.numChannels = 2;
    // First the plug-in's own state with each byte changed in turn: a restored state that
    // is damaged in one place is the commonest bad chunk a host hands over.
    if (plugin->HasChunks()) {
        const std::vector<std::uint8_t> own = plugin->GetChunk(false);
        for (std::size_t at = 0; at < own.size() && at < 4096; ++at) {
            std::vector<std::uint8_t> damaged = own;
            damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ 0x80u);
            plugin->SetChunk(damaged, false);
        }
        std::vector<std::uint8_t> again = own;
        plugin->SetChunk(again, false);
    }
    constexpr int kCalls = 3000;
    int calls = 0;
    for (; calls < kCalls; ++calls) {
        VstInt32 opcode = static_cast<VstInt32>(random.Range(0, effGetNumMidiOutputChannels + 16));
        if (random.Range(0, 49) == 0) {
            opcode = static_cast<VstInt32>(random.Range(-1000, -1));
        }
        // Lifecycle and windows belong to other tests; variable I/O needs the host's buffers.
        if (opcode == effClose || opcode == effEditOpen || opcode == effEditClose ||
            opcode == effProcessVarIo) {
            continue;
        }
        const bool aboutParams = opcode == effGetParamLabel || opcode == effGetParamDisplay ||
                                 opcode == effGetParamName || opcode == effCanBeAutomated ||
                                 opcode == effString2Parameter ||
                                 opcode == effGetParameterProperties;
        VstInt32 index = FuzzIndex(random, aboutParams ? params : programs);
        VstIntPtr value = FuzzValue(random);
        float opt = FuzzOpt(random);
        std::fill(scratch.begin(), scratch.end(), 0);
        void* ptr = scratch.data();
        void* chunk = nullptr;
        ERect* rect = nullptr;
        VstSpeakerArrangement* arrangements[2] = {nullptr, nullptr};
        const std::size_t capacity = HostTextCapacity(opcode);
        switch (opcode) {
        case effSetProgram:
            value = static_cast<VstIntPtr>(FuzzIndex(random, programs));
            break;
        case effSetSampleRate:
        case effSetBlockSizeAndSampleRate:
            value = static_cast<VstIntPtr>(random.Range(-1, 8192));
            break;
        case effSetBlockSize:
            value = static_cast<VstIntPtr>(random.Range(-1, 16384));
            break;
        case effMainsChanged:
        case effSetBypass:
        case effSetProcessPrecision:
            value = static_cast<VstIntPtr>(random.Range(0, 1));
            break;
        case effGetChunk:
            ptr = &chunk;
            break;
        case effSetChunk: {
            // Either the plug-in's own state with a few bytes changed, or bytes at random.
            std::vector<std::uint8_t> own;
            if (random.Range(0, 1) == 0 && plugin->HasChunks()) {
                own = plugin->GetChunk(index != 0);
            }
            if (!own.empty() && own.size() <= scratch.size()) {
                std::memcpy(scratch.data(), own.data(), own.size());
                value = static_cast<VstIntPtr>(own.size());
                for (int n = static_cast<int>(random.Range(1, 4)); n > 0; --n) {
                    scratch[static_cast<std::size_t>(random.Range(0, value - 1))] =
                        static_cast<unsigned char>(random.Next());
                }
            } else {
                value = static_cast<VstIntPtr>(random.Range(0, 4096));
                for (VstIntPtr i = 0; i < value; ++i) {
                    scratch[static_cast<std::size_t>(i)] =
                        static_cast<unsigned char>(random.Next());
                }
            }
            break;
        }
        case effEditGetRect:
            ptr = &rect;
            break;
        case effGetSpeakerArrangement:
            value = reinterpret_cast<VstIntPtr>(&arrangements[0]);
            ptr = &arrangements[1];
            break;
        case effSetSpeakerArrangement:
            value = reinterpret_cast<VstIntPtr>(&inArrangement);
            ptr = &outArrangement;
            break;
        case effCanDo: {
            const char* query = kCanDo[random.Range(0, sizeof kCanDo / sizeof kCanDo[0] - 1)];
            std::memcpy(scratch.data(), query, std::strlen(query) + 1);
            break;
        }
        case effString2Parameter:
        case effSetProgramName:
            std::memcpy(scratch.data(), "0.5", 4);
            break;
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun:
            value = 0; // no files or tasks in the list the pointer leads to
            break;
        default:
            if (capacity > 0) {
                std::fill(scratch.begin(), scratch.begin() + capacity + kTextRoom, kGuardByte);
            }
            break;
        }
        const VstIntPtr answer = plugin->Dispatch(opcode, index, value, ptr, opt);
        const std::string call =
            Format("call %d, %s(index %d, value %lld, opt %g)", calls, EffectOpcodeName(opcode),
                   index, static_cast<long long>(value), static_cast<double>(opt));
        if (capacity > 0) {
            const STextCheck c = JudgeTextBuffer(scratch.data(), capacity + kTextRoom, capacity);
            test.Check(c.fault.empty(), call + ": " + c.fault);
        }
        if (opcode == effGetChunk && answer > 0 && chunk != nullptr) {
            // The state must be readable for as long as the plug-in said.
            const auto* bytes = static_cast<const unsigned char*>(chunk);
            unsigned sum = 0;
            for (VstIntPtr i = 0; i < answer && i < (VstIntPtr{1} << 28); ++i) {
                sum += bytes[i];
            }
            (void)sum;
        }
        if (opcode == effEditGetRect && rect != nullptr) {
            test.Check(rect->right >= rect->left && rect->bottom >= rect->top,
                       call + ": the editor rectangle is upside down");
        }
        if (test.FaultCount() > 5) {
            break;
        }
    }
    // Back to a sane state: the plug-in must still process cleanly.
    HostContext().sampleRate.store(44100.0f);
    plugin->Dispatch(effMainsChanged, 0, 0);
    plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    plugin->Dispatch(effSetBlockSize, 0, 512);
    plugin->Dispatch(effMainsChanged, 0, 1);
    if (plugin->Record().processReplacing != nullptr && plugin->Record().numOutputs > 0) {
        CAudioBuffers buffers(plugin->Record().numInputs, plugin->Record().numOutputs, 512);
        for (VstInt32 i = 0; i < params; ++i) {
            plugin->SetParameter(i, 0.5f);
        }
        ProcessBlocks(test, *plugin, buffers, 50, 512, true, random, "after the fuzz");
    }
    CheckWatch(test, watch);
    plugin->Close();
    test.Note(Format("%d dispatcher calls, seed %u", calls, test.Seed()));
}

} // namespace VLM
