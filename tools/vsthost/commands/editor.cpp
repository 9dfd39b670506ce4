#include "commands/commands.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/editor_window.h"
#include "host/plugin.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace VLM {
namespace {

// Pink noise at about -20 dBFS RMS: every band of an equaliser gets a fair share.
constexpr float kNoiseScale = 0.035f;

// Processes a test signal in real time on a thread of its own, as a DAW's audio engine
// does, and keeps the last second of every output for the level report.
class CAudioThread {
public:
    CAudioThread(CPlugin& effect, double sampleRate, int blockSize)
        : plugin(effect), rate(sampleRate), block(blockSize),
          buffers(effect.Record().numInputs, effect.Record().numOutputs, blockSize),
          channels(std::min(effect.Record().numOutputs, 2)),
          history(static_cast<std::size_t>(channels),
                  std::vector<float>(static_cast<std::size_t>(sampleRate))) {
        running.store(true);
        thread = std::thread([this] { Run(); });
    }

    ~CAudioThread() { Stop(); }

    void Stop() {
        running.store(false);
        if (thread.joinable()) {
            thread.join();
        }
    }

    // RMS of the last second (or of all output, when less was processed) per channel.
    std::vector<double> Rms() const {
        std::vector<double> out;
        const std::size_t n = std::min(filled, history.empty() ? 0 : history[0].size());
        for (const auto& h : history) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                sum += static_cast<double>(h[i]) * static_cast<double>(h[i]);
            }
            out.push_back(n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0);
        }
        return out;
    }

private:
    float NextNoise() {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const float white = static_cast<float>(seed) / 2147483648.0f - 1.0f;
        b0 = 0.99765f * b0 + white * 0.0990460f;
        b1 = 0.96300f * b1 + white * 0.2965164f;
        b2 = 0.57000f * b2 + white * 1.0526913f;
        return (b0 + b1 + b2 + white * 0.1848f) * kNoiseScale;
    }

    void Run() {
        SetProcessLevel(kProcessLevelRealtime);
        const AEffect& r = plugin.Record();
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(block / rate));
        auto next = std::chrono::steady_clock::now();
        while (running.load()) {
            for (int f = 0; f < block; ++f) {
                const float v = NextNoise();
                for (int c = 0; c < r.numInputs; ++c) {
                    buffers.Input(c)[f] = c < 2 ? v : 0.0f;
                }
            }
            buffers.ClearOutputs();
            plugin.Process(buffers.Inputs(), buffers.Outputs(), block);
            const std::size_t size = history.empty() ? 0 : history[0].size();
            for (int f = 0; f < block && size > 0; ++f) {
                for (int c = 0; c < channels; ++c) {
                    history[static_cast<std::size_t>(c)][position] = buffers.Output(c)[f];
                }
                position = (position + 1) % size;
                filled = std::min(filled + 1, size);
            }
            next += period;
            const auto now = std::chrono::steady_clock::now();
            if (now - next > std::chrono::seconds(1)) {
                next = now; // fell far behind (debugger, loaded machine): do not race to catch up
            }
            std::this_thread::sleep_until(next);
        }
    }

    CPlugin& plugin;
    double rate;
    int block;
    CBlockBuffers buffers;
    int channels;
    std::vector<std::vector<float>> history;
    std::size_t position = 0;
    std::size_t filled = 0;
    std::uint32_t seed = 0x1234567u;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;
    std::atomic<bool> running{false};
    std::thread thread;
};

} // namespace

void CEditorWindow::LearnBackground() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
        const std::vector<std::uint32_t> rows = SampleRows();
        if (!rows.empty() &&
            std::all_of(rows.begin(), rows.end(), [&](std::uint32_t p) { return p == rows[0]; })) {
            background = rows[0];
            backgroundKnown = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < until);
}

void CEditorWindow::NoteOpenCall() {
    openCalled = std::chrono::steady_clock::now();
    if (timing) {
        // For a watcher outside the process, where the editor draws in a window that the tool
        // cannot read back (Wine's OpenGL child windows): the system clock, in seconds.
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        std::printf("effEditOpen at %.4f s\n", now);
        std::fflush(stdout);
    }
}

void CEditorWindow::CheckFirstFrame() {
    if (!timing || !backgroundKnown || firstFrame >= 0.0) {
        return;
    }
    const std::vector<std::uint32_t> rows = SampleRows();
    if (std::any_of(rows.begin(), rows.end(), [&](std::uint32_t p) { return p != background; })) {
        firstFrame =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - openCalled)
                .count();
    }
}

int RunEditor(const SOptions& options) {
    const auto preset = ReadPresetOption(options);
    CPlugin plugin(options.plugin);
    if ((plugin.Record().flags & effFlagsHasEditor) == 0) {
        throw Exceptions::HostFailure("the plug-in has no editor");
    }
    if (options.audio) {
        RequireAudio(plugin);
    }
    plugin.Open(static_cast<float>(options.sampleRate), options.blockSize);
    ApplyPresetAndSettings(plugin, preset.get(), options);
    plugin.Resume();
    const bool scaleTaken = options.scale > 0.0 && plugin.RequestEditorScale(options.scale);

    int width = 0;
    int height = 0;
    std::vector<double> rms;
    double firstFrame = -1.0;
    {
        CEditorWindow window(plugin, options.log);
        width = window.Width();
        height = window.Height();
        std::unique_ptr<CAudioThread> audio;
        if (options.audio) {
            audio = std::make_unique<CAudioThread>(plugin, options.sampleRate, options.blockSize);
        }
        window.Run(options.seconds);
        firstFrame = window.FirstFrameMilliseconds();
        if (audio) {
            audio->Stop();
            rms = audio->Rms();
        }
    }
    plugin.Suspend();

    if (options.scale > 0.0) {
        std::printf("Editor scale %g: %s\n", options.scale, scaleTaken ? "taken" : "refused");
    }
    std::printf("Editor size: %d x %d\n", width, height);
    if (options.log) {
        if (firstFrame >= 0.0) {
            std::printf("First frame: %.1f ms after effEditOpen\n", firstFrame);
        } else {
            std::printf("First frame: not seen\n");
        }
    }
    for (std::size_t c = 0; c < rms.size(); ++c) {
        std::printf("Output %zu RMS (last second): %.6f (%.2f dBFS)\n", c + 1, rms[c],
                    rms[c] > 0.0 ? 20.0 * std::log10(rms[c]) : -HUGE_VAL);
    }
    PrintParameters(plugin);
    PrintChunk(plugin);
    std::fflush(stdout);
    plugin.Close();
    return kExitOk;
}

} // namespace VLM
