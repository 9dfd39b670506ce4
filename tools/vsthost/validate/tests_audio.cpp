// Levels 3 and up: processing, automation, rates, threads, allocation and the dispatcher fuzz.
#include "validate/tests.h"

#include "common/text_format.h"
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

/// Seconds of audio in frames, in whole blocks.
int Blocks(double seconds, float rate, int block) {
    return static_cast<int>(std::ceil(seconds * static_cast<double>(rate) / block));
}

/// Processes `count` blocks of noise or silence, checking each; stops at the first faulty
/// block (its fault is recorded) and answers false then.
bool ProcessBlocks(CTestContext& test, CPlugin& plugin, CAudioBuffers& buffers, int count,
                   int frames, bool noise, CRandom& random, const std::string& where) {
    for (int b = 0; b < count; ++b) {
        buffers.Prepare(frames, noise, random);
        ProcessChecked(test, plugin, buffers, frames);
        const std::string fault = buffers.Judge(frames, Format("%s, block %d", where.c_str(), b));
        if (!fault.empty()) {
            test.Fail(fault);
            return false;
        }
    }
    return true;
}

void CheckWatch(CTestContext& test, const CHostWatch& watch, bool closedEdits = false) {
    for (const std::string& f : watch.Faults(closedEdits)) {
        test.Fail(f);
    }
}

} // namespace

void TestAudio(CTestContext& test) {
    CRandom random(TestSeed(test.Seed(), "audio"));
    const float kRates[] = {44100.0f, 48000.0f, 96000.0f};
    const int kBlocks[] = {64, 128, 333, 512, 1024};
    for (const float rate : kRates) {
        CPlugin plugin(test.PluginPath());
        RequireProcessing(plugin);
        CHostWatch watch(plugin.Record().numParams);
        plugin.Open(rate, 1024);
        CAudioBuffers buffers(plugin.Record().numInputs, plugin.Record().numOutputs, 1024);
        for (const int block : kBlocks) {
            plugin.Suspend();
            HostContext().blockSize.store(block);
            plugin.Dispatch(effSetBlockSize, 0, block);
            plugin.Resume();
            const std::string where =
                Format("%g Hz, %d-sample blocks", static_cast<double>(rate), block);
            // Silence from the start, noise, then a long silence for the tails to decay.
            const bool ok =
                ProcessBlocks(test, plugin, buffers, Blocks(0.1, rate, block), block, false, random,
                              where + ", silence") &&
                ProcessBlocks(test, plugin, buffers, Blocks(0.3, rate, block), block, true, random,
                              where + ", noise") &&
                ProcessBlocks(test, plugin, buffers, Blocks(block == 512 ? 3.0 : 0.5, rate, block),
                              block, false, random, where + ", silence after noise");
            if (!ok) {
                break;
            }
        }
        CheckWatch(test, watch);
        plugin.Close();
        if (test.FaultCount() > 0) {
            break;
        }
    }
    test.Note("3 rates x 5 block sizes, clean output");
}

void TestAutomation(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 512);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    plugin->Resume();
    CRandom random(TestSeed(test.Seed(), "automation"));
    CAudioBuffers buffers(plugin->Record().numInputs, plugin->Record().numOutputs, 512);
    const VstInt32 count = plugin->Record().numParams;
    for (int b = 0; b < 400; ++b) {
        // A host splits its buffer where automation changes: every length from 1 sample up.
        int left = 512;
        while (left > 0) {
            const int frames = static_cast<int>(random.Range(1, left));
            for (VstInt32 i = 0; i < count; ++i) {
                plugin->SetParameter(i, random.Unit());
            }
            if (!ProcessBlocks(test, *plugin, buffers, 1, frames, true, random,
                               Format("buffer %d", b))) {
                b = 400;
                break;
            }
            left -= frames;
        }
    }
    CheckWatch(test, watch);
    plugin->Close();
    test.Note(Format("%d parameters, 400 buffers split at random", count));
}

void TestRateChange(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 512);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    plugin->Resume();
    CRandom random(TestSeed(test.Seed(), "rate-change"));
    CAudioBuffers buffers(plugin->Record().numInputs, plugin->Record().numOutputs, 512);
    const float kRates[] = {44100.0f, 96000.0f, 22050.0f, 48000.0f, 192000.0f, 8000.0f, 44100.0f};
    for (const float rate : kRates) {
        HostContext().sampleRate.store(rate);
        plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        const std::string where = Format("%g Hz", static_cast<double>(rate));
        if (!ProcessBlocks(test, *plugin, buffers, 40, 512, true, random, where) ||
            !ProcessBlocks(test, *plugin, buffers, 40, 512, false, random, where + ", silence")) {
            break;
        }
    }
    CheckWatch(test, watch);
    plugin->Close();
    test.Note("7 rates from 8 to 192 kHz, no suspend");
}

void TestParameterFuzz(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 512);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    plugin->Resume();
    CRandom random(TestSeed(test.Seed(), "parameter-fuzz"));
    CAudioBuffers buffers(plugin->Record().numInputs, plugin->Record().numOutputs, 512);
    const float kValues[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             -1.0f,
                             2.0f,
                             1.0e30f,
                             -1.0e30f,
                             FLT_MAX,
                             -0.0f,
                             FLT_MIN / 4.0f,
                             1.0000001f,
                             -FLT_MIN};
    const VstInt32 count = plugin->Record().numParams;
    for (VstInt32 i = 0; i < count; ++i) {
        for (const float v : kValues) {
            plugin->SetParameter(i, v);
            const float back = plugin->GetParameter(i);
            const std::string call = Format("setParameter(%d, %g)", i, static_cast<double>(v));
            test.Check(back >= 0.0f && back <= 1.0f,
                       call + Format(" then getParameter answers %g", static_cast<double>(back)));
            const STextCheck display =
                ProbeText(*plugin, effGetParamDisplay, i, HostTextCapacity(effGetParamDisplay));
            test.Check(display.fault.empty(), call + ", then effGetParamDisplay: " + display.fault);
            if (!ProcessBlocks(test, *plugin, buffers, 2, 512, true, random, call)) {
                i = count;
                break;
            }
        }
        plugin->SetParameter(i, 0.5f);
    }
    CheckWatch(test, watch);
    plugin->Close();
    test.Note(Format("%d parameters x 12 values", count));
}

void TestThreads(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 256);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    plugin->Resume();
    const VstInt32 count = plugin->Record().numParams;
    std::atomic<long> badReads{0};
    std::atomic<float> badValue{0.0f};
    {
        CAudioRunner audio(*plugin, 256, TestSeed(test.Seed(), "threads-audio"));
        auto setter = [&](std::uint64_t seed, bool reads) {
            CRandom random(seed);
            for (int n = 0; n < 20000 && count > 0; ++n) {
                const auto i = static_cast<VstInt32>(random.Range(0, count - 1));
                plugin->SetParameter(i, random.Unit());
                if (reads) {
                    const float v =
                        plugin->GetParameter(static_cast<VstInt32>(random.Range(0, count - 1)));
                    if (!(v >= 0.0f && v <= 1.0f) && badReads.fetch_add(1) == 0) {
                        badValue.store(v);
                    }
                }
                if (n % 64 == 0) {
                    std::this_thread::yield();
                }
            }
        };
        std::thread automation(setter, TestSeed(test.Seed(), "threads-a"), false);
        std::thread host(setter, TestSeed(test.Seed(), "threads-b"), true);
        automation.join();
        host.join();
        audio.StopAfter(200);
        const std::string fault = audio.Fault();
        test.Check(fault.empty(), fault);
        test.Note(Format("40000 parameter changes over %ld processed blocks", audio.Blocks()));
    }
    test.Check(badReads.load() == 0,
               Format("getParameter answered %g, outside 0..1, while another thread set values "
                      "(%ld times)",
                      static_cast<double>(badValue.load()), badReads.load()));
    CheckWatch(test, watch);
    plugin->Close();
}

void TestLargeBlock(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 256);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    plugin->Resume();
    CRandom random(TestSeed(test.Seed(), "large-block"));
    CAudioBuffers buffers(plugin->Record().numInputs, plugin->Record().numOutputs, 8192);
    for (const int frames : {512, 4096, 8192, 257}) {
        if (!ProcessBlocks(test, *plugin, buffers, 8, frames, true, random,
                           Format("%d samples with 256 announced", frames))) {
            break;
        }
    }
    CheckWatch(test, watch);
    plugin->Close();
    test.Note("blocks of 512 to 8192 samples after effSetBlockSize(256)");
}

void TestAllocation(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 512);
    RequireProcessing(*plugin);
    std::string why;
    if (!Alloc::Prepare(plugin->Module(), why)) {
        plugin->Close();
        Stop(EOutcome::Skip, why);
    }
    plugin->Resume();
    CRandom random(TestSeed(test.Seed(), "allocation"));
    CAudioBuffers buffers(plugin->Record().numInputs, plugin->Record().numOutputs, 512);
    const VstInt32 count = plugin->Record().numParams;
    Alloc::Reset();
    long firstBlock = -1;
    constexpr int kBlocksToRun = 300;
    for (int b = 0; b < kBlocksToRun; ++b) {
        if (b % 4 == 0) {
            for (VstInt32 i = 0; i < count; ++i) {
                plugin->SetParameter(i, random.Unit());
            }
        }
        const int frames = b % 3 == 0 ? 512 : static_cast<int>(random.Range(1, 512));
        buffers.Prepare(frames, b % 50 < 40, random);
        const Alloc::SCounts before = Alloc::Counts();
        ProcessChecked(test, *plugin, buffers, frames, true);
        const Alloc::SCounts after = Alloc::Counts();
        if (firstBlock < 0 &&
            (after.allocations != before.allocations || after.releases != before.releases)) {
            firstBlock = b;
        }
    }
    const Alloc::SCounts total = Alloc::Counts();
    test.Check(total.allocations == 0 && total.releases == 0,
               Format("processReplacing made %llu heap allocations and %llu releases in %d "
                      "blocks (the first in block %ld)",
                      static_cast<unsigned long long>(total.allocations),
                      static_cast<unsigned long long>(total.releases), kBlocksToRun, firstBlock));
    plugin->Close();
    test.Note(Format("%d blocks with automation between them", kBlocksToRun));
}

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
