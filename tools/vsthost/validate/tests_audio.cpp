// Levels 3 and up: processing, automation, rates, threads and allocation.
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

// Seconds of audio in frames, in whole blocks.
int Blocks(double seconds, float rate, int block) {
    return static_cast<int>(std::ceil(seconds * static_cast<double>(rate) / block));
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

} // namespace VLM
