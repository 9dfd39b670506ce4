// The effect under the threads of a host, all at once: an audio thread processes while another
// thread automates parameters, a third restores state chunks and reads parameters and their
// texts, and the user-interface thread (this one, the only one that touches the fake platform)
// drags faders, clicks the IN button, types values, redraws, changes the sample rate and closes
// and opens the editor. Built with ThreadSanitizer (the linux-tsan preset) any data race fails
// the run; in the other builds the same work checks that nothing breaks under contention.
#include "counting_host.h"

#include "host/vstmain.h"
#include "platform_fake/fakeplatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace VLM {
namespace {

using Reliability::Counters;
using Reliability::CountingHost;

constexpr long kAudioBlocks = 3000;
// The audio goes on until the other sides have done at least this much alongside it.
constexpr long kMinGestures = 60;
constexpr long kMinStateRounds = 200;

Platform::WindowHandle HostWindow() {
    return reinterpret_cast<Platform::WindowHandle>(0x7000);
}

// The editor's window inside the host's window, as the window system knows it.
Platform::WindowHandle EditorWindow() {
    for (Platform::WindowHandle w : Fake::LiveWindows(false)) {
        if (Fake::Get().windows.at(w).parent == HostWindow()) {
            return w;
        }
    }
    return nullptr;
}

void Mouse(Platform::WindowHandle window, std::uint32_t message, std::int32_t x, std::int32_t y,
           std::uint32_t flags = 0) {
    Fake::SendWindowMessage(window, message, flags, Fake::MouseLParam(x, y));
}

// Left edges of the ten faders on the faceplate; a fader is grabbed 19 pixels to the right.
constexpr std::int32_t kFaderX[10] = {141, 205, 269, 334, 399, 463, 528, 592, 657, 721};

struct AudioResult {
    long blocks = 0;
    long nonFiniteFrames = 0;
};

// Processes blocks of noise, mostly 512 frames, now and then another length: kAudioBlocks of
// them, and more while `othersBusy` says the other threads have not done their share yet.
void RunAudio(AEffect* fx, unsigned seed, AudioResult& result, std::atomic<bool>& done,
              const std::function<bool()>& othersBusy) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::uniform_int_distribution<int> lengths(1, 2048);
    std::vector<float> left(2048), right(2048);
    for (long block = 0; block < kAudioBlocks || othersBusy(); ++block) {
        const int frames = block % 7 == 3 ? lengths(random) : 512;
        for (int i = 0; i < frames; ++i) {
            left[static_cast<std::size_t>(i)] = 0.5f * noise(random);
            right[static_cast<std::size_t>(i)] = 0.5f * noise(random);
        }
        float* channels[2] = {left.data(), right.data()};
        fx->processReplacing(fx, channels, channels, frames);
        for (int i = 0; i < frames; ++i) {
            if (!std::isfinite(left[static_cast<std::size_t>(i)]) ||
                !std::isfinite(right[static_cast<std::size_t>(i)])) {
                ++result.nonFiniteFrames;
            }
        }
        ++result.blocks;
    }
    done.store(true);
}

// A host's automation lane: writes and reads parameters until the audio is done.
void RunAutomation(AEffect* fx, unsigned seed, const std::atomic<bool>& done, long& writes) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> index(0, 10);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    while (!done.load()) {
        const int i = index(random);
        // The IN button mostly stays on, so that the filters keep running.
        fx->setParameter(fx, i, i == 10 ? (value(random) < 0.1f ? 0.0f : 1.0f) : value(random));
        fx->getParameter(fx, index(random));
        if (++writes % 8 == 0) {
            std::this_thread::yield(); // a lane of automation, not a flood
        }
    }
}

// A host saving and restoring state and showing parameters in its own window.
void RunStateAndTexts(AEffect* fx, unsigned seed, const std::atomic<bool>& done,
                      std::atomic<long>& rounds, long& unterminated) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::vector<std::uint8_t> chunk;
    while (!done.load()) {
        void* data = nullptr;
        const auto size = fx->dispatcher(fx, effGetChunk, 0, 0, &data, 0.0f);
        if (size > 0 && data != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            chunk.assign(bytes, bytes + size);
            // Two faders moved in the saved copy before it goes back.
            for (int k = 0; k < 2; ++k) {
                const float v = value(random);
                const std::size_t record = 2 + static_cast<std::size_t>(random() % 10);
                if (record * 8 + 8 <= chunk.size()) {
                    std::memcpy(chunk.data() + record * 8 + 4, &v, sizeof v);
                }
            }
            fx->dispatcher(fx, effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data(),
                           0.0f);
        }
        for (VstInt32 id = 0; id < 12; ++id) {
            for (VstInt32 opcode : {effGetParamDisplay, effGetParamName, effGetParamLabel}) {
                char text[kVstMaxParamStrLen];
                std::memset(text, 'x', sizeof text);
                fx->dispatcher(fx, opcode, id, 0, text, 0.0f);
                if (std::memchr(text, 0, sizeof text) == nullptr) {
                    ++unterminated;
                }
            }
            fx->getParameter(fx, id);
        }
        ++rounds;
        std::this_thread::yield();
    }
}

// The user at the editor: one gesture per round, and a redraw as the timer would make it.
void RunUserInterface(AEffect* fx, const std::atomic<bool>& done, std::atomic<long>& rounds) {
    std::mt19937 random(7);
    const float rates[] = {44100.0f, 48000.0f, 96000.0f, 22050.0f};
    while (!done.load()) {
        Platform::WindowHandle window = EditorWindow();
        ASSERT_NE(window, nullptr) << "the editor window is not open";
        const std::int32_t x = kFaderX[random() % 10] + 19;
        const long round = rounds.load();
        switch (round % 6) {
        case 0:
        case 1:
        case 2: { // a drag, finer with Shift now and then
            const std::uint32_t flags = round % 5 == 0 ? Platform::kMouseShift : 0u;
            Mouse(window, Platform::kMsgLButtonDown, x, 100, flags);
            for (int step = 1; step <= 6; ++step) {
                Mouse(window, Platform::kMsgMouseMove, x,
                      100 + static_cast<std::int32_t>(random() % 121) - 60, flags);
                if (step % 3 == 0) {
                    Fake::TickTimers(); // the read-out shows over the fader being dragged
                }
            }
            Mouse(window, Platform::kMsgLButtonUp, x, 100, flags);
            break;
        }
        case 3: // the IN button, twice, so that it ends on
            Mouse(window, Platform::kMsgLButtonDown, 840, 150);
            Mouse(window, Platform::kMsgLButtonUp, 840, 150);
            Fake::TickTimers();
            Mouse(window, Platform::kMsgLButtonDown, 840, 150);
            Mouse(window, Platform::kMsgLButtonUp, 840, 150);
            break;
        case 4: { // a typed value and a Control-click reset
            Mouse(window, Platform::kMsgLButtonDown, x, 100);
            Mouse(window, Platform::kMsgLButtonUp, x, 100);
            Mouse(window, Platform::kMsgLButtonDblClk, x, 100);
            Mouse(window, Platform::kMsgLButtonUp, x, 100);
            // The edit box is the only edit window there is.
            for (Platform::WindowHandle box : Fake::LiveWindows(true)) {
                Fake::SendEditMessage(box, Platform::kMsgChar, 8);
                Fake::TypeText(box, L"-4.5");
                Fake::SendEditMessage(box, Platform::kMsgChar, 13);
            }
            Mouse(window, Platform::kMsgLButtonDown, x, 100, Platform::kMouseControl);
            Mouse(window, Platform::kMsgLButtonUp, x, 100, Platform::kMouseControl);
            break;
        }
        default: // the host changes the rate, closes the editor and opens it again
            fx->dispatcher(fx, effSetSampleRate, 0, 0, nullptr, rates[(round / 6) % 4]);
            fx->dispatcher(fx, effEditClose, 0, 0, nullptr, 0.0f);
            ASSERT_EQ(fx->dispatcher(fx, effEditOpen, 0, 0, HostWindow(), 0.0f), 1);
            break;
        }
        Fake::TickTimers();
        // The fake records every GL call; what this test does not read is let go.
        Fake::Get().gl.quads.clear();
        Fake::Get().gl.calls.clear();
        Fake::Get().calls.clear();
        ++rounds;
    }
}

class Threads : public ::testing::Test {
protected:
    void SetUp() override {
        Fake::Reset();
        Counters().badAutomations = 0;
    }
};

TEST_F(Threads, AudioAutomationStateAndEditorAtOnce) {
    AEffect* fx = VSTPluginMain(CountingHost);
    ASSERT_NE(fx, nullptr);
    ASSERT_EQ(fx->dispatcher(fx, effEditOpen, 0, 0, HostWindow(), 0.0f), 1);

    std::atomic<bool> done{false};
    AudioResult audio;
    long writes = 0, unterminated = 0;
    std::atomic<long> stateRounds{0}, uiRounds{0};
    std::atomic<bool> uiStopped{false}; // a failed assertion ends the user's side early
    const std::function<bool()> othersBusy = [&] {
        return !uiStopped.load() &&
               (uiRounds.load() < kMinGestures || stateRounds.load() < kMinStateRounds);
    };
    std::thread audioThread(RunAudio, fx, 1u, std::ref(audio), std::ref(done),
                            std::cref(othersBusy));
    std::thread automation(RunAutomation, fx, 2u, std::cref(done), std::ref(writes));
    std::thread state(RunStateAndTexts, fx, 3u, std::cref(done), std::ref(stateRounds),
                      std::ref(unterminated));
    RunUserInterface(fx, done, uiRounds);
    uiStopped.store(true);
    audioThread.join();
    automation.join();
    state.join();

    EXPECT_GE(audio.blocks, kAudioBlocks);
    EXPECT_GE(uiRounds.load(), kMinGestures);
    EXPECT_EQ(audio.nonFiniteFrames, 0) << "frames of noise came out NaN or infinite";
    EXPECT_EQ(unterminated, 0) << "parameter texts without a terminator in 8 bytes";
    EXPECT_EQ(Counters().badAutomations.load(), 0)
        << "automation of an index beyond the ten parameters or with a value outside 0..1";
    for (VstInt32 id = 0; id < 12; ++id) {
        const float v = fx->getParameter(fx, id);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "control " << id << " holds " << v;
    }
    fx->dispatcher(fx, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f), 1);
    // Figures for the log: how much each side did while the audio ran.
    std::printf("audio blocks %ld, automation writes %ld, chunk rounds %ld, editor gestures %ld\n",
                audio.blocks, writes, stateRounds.load(), uiRounds.load());
}

// Several instances in one host, each on an audio thread of its own while their automation
// runs: nothing may be shared between instances but constants.
TEST_F(Threads, InstancesOnSeparateAudioThreads) {
    constexpr int kInstances = 3;
    AEffect* effects[kInstances] = {};
    for (AEffect*& fx : effects) {
        fx = VSTPluginMain(CountingHost);
        ASSERT_NE(fx, nullptr);
    }
    std::atomic<bool> done[kInstances] = {};
    AudioResult results[kInstances];
    long writes[kInstances] = {};
    std::vector<std::thread> threads;
    const std::function<bool()> nothingElse = [] { return false; };
    for (int n = 0; n < kInstances; ++n) {
        threads.emplace_back(RunAudio, effects[n], 10u + static_cast<unsigned>(n),
                             std::ref(results[n]), std::ref(done[n]), std::cref(nothingElse));
        threads.emplace_back(RunAutomation, effects[n], 20u + static_cast<unsigned>(n),
                             std::cref(done[n]), std::ref(writes[n]));
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (int n = 0; n < kInstances; ++n) {
        EXPECT_EQ(results[n].nonFiniteFrames, 0) << "instance " << n;
        EXPECT_EQ(effects[n]->dispatcher(effects[n], effClose, 0, 0, nullptr, 0.0f), 1);
    }
}

} // namespace
} // namespace VLM
