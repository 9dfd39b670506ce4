#include "commands/commands.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/plugin.h"
#include "io/audio_file.h"
#include "io/output_file.h"
#include "os/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace VLM {
namespace {

// A progress bar only pays off for files that take a noticeable time.
constexpr double kProgressMinimumSeconds = 60.0;
// Latency compensation beyond this is taken as a faulty record.
constexpr double kMaxDelaySeconds = 10.0;

class CProgress {
public:
    CProgress(std::int64_t totalFrames, double sampleRate)
        : total(totalFrames),
          shown(StderrIsTerminal() &&
                static_cast<double>(totalFrames) > kProgressMinimumSeconds * sampleRate) {}

    void Update(std::int64_t done) {
        if (!shown || total <= 0) {
            return;
        }
        const int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
        if (percent == last) {
            return;
        }
        last = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled,
                     "========================================", kWidth - filled, "", percent);
        std::fflush(stderr);
    }

    void Done() {
        if (shown && last >= 0) {
            std::fprintf(stderr, "\n");
        }
    }

private:
    std::int64_t total;
    bool shown;
    int last = -1;
};

bool IsInteger(ESampleType type) {
    return type == ESampleType::Int8 || type == ESampleType::Int16 || type == ESampleType::Int24 ||
           type == ESampleType::Int32;
}

const char* ChannelText(int channels) {
    return channels == 1 ? "mono" : "stereo";
}

} // namespace

void RefuseToOverwriteInputs(const SOptions& options, const std::string& output) {
    if (output == "-") {
        return;
    }
    const std::string out = "'" + Printable(output) + "'";
    if (!options.input.empty() && SameFile(options.input, output)) {
        throw Exceptions::HostFailure("refusing to write " + out + ": it is the input file");
    }
    if (SameFile(options.plugin, output)) {
        throw Exceptions::HostFailure("refusing to write " + out + ": it is the plug-in");
    }
    if (IsDirectory(output)) {
        throw Exceptions::HostFailure("cannot write " + out + ": it is a directory");
    }
    if (!options.presetFile.empty() && SameFile(options.presetFile, output)) {
        throw Exceptions::HostFailure("refusing to write " + out + ": it is the preset file");
    }
}

int RunRender(const SOptions& options) {
    const std::string in = "'" + Printable(options.input) + "'";
    const std::string out =
        options.output == "-" ? "standard output" : "'" + Printable(options.output) + "'";
    if (IsDirectory(options.input)) {
        throw Exceptions::HostFailure("cannot read " + in + ": it is a directory");
    }
    auto reader = OpenAudioReader(options.input);
    const int fileChannels = reader->Channels();
    if (fileChannels != 1 && fileChannels != 2) {
        throw Exceptions::HostFailure(
            Format("%s has %d channels; only mono and stereo files are supported", in.c_str(),
                   fileChannels));
    }
    RefuseToOverwriteInputs(options, options.output);
    const double rate = reader->SampleRate();
    CheckSettle(options, rate);

    const auto preset = ReadPresetOption(options);
    CPlugin plugin(options.plugin);
    RequireAudio(plugin);
    const AEffect& r = plugin.Record();
    const int block = options.blockSize;
    plugin.Open(static_cast<float>(rate), block);
    ApplyPresetAndSettings(plugin, preset.get(), options);

    const int outChannels = std::min(r.numOutputs, 2);
    if (fileChannels == 2 && r.numInputs == 1) {
        std::fprintf(stderr,
                     "vsthost: note: the plug-in has one input; the right channel of %s "
                     "is not used\n",
                     in.c_str());
    }
    const ESampleType type = options.floatOutput ? ESampleType::Float32 : reader->Type();
    const std::int64_t delay = std::clamp<std::int64_t>(
        r.initialDelay, 0, static_cast<std::int64_t>(kMaxDelaySeconds * rate));

    CBlockBuffers buffers(r.numInputs, r.numOutputs, block);
    std::vector<float> fileBlock(static_cast<std::size_t>(block) * 2);
    std::vector<float> outBlock(static_cast<std::size_t>(block) * 2);

    std::int64_t clipped = 0;
    std::int64_t nonFinite = 0;
    std::int64_t written = 0;
    std::int64_t framesRead = 0;
    {
        COutputFile output(options.output);
        SWriteFormat format;
        format.channels = outChannels;
        format.sampleRate = rate;
        format.type = type;
        format.dither = options.dither;
        format.frames = reader->Frames(); // the latency is skipped and flushed again
        auto writer = CreateAudioWriter(output.Stream(), output.Seekable(), format, out);
        plugin.Resume();
        SetProcessLevel(kProcessLevelOffline);
        for (int i = 0; i < std::max(options.settleBlocks, 0); ++i) {
            buffers.ClearInputs();
            buffers.ClearOutputs();
            plugin.Process(buffers.Inputs(), buffers.Outputs(), block);
        }

        CProgress progress(reader->Frames(), rate);
        std::int64_t toSkip = delay;
        std::int64_t tail = delay; // silence fed after the file to flush the latency
        for (;;) {
            std::size_t n = reader->Read(fileBlock.data(), static_cast<std::size_t>(block));
            buffers.ClearInputs();
            framesRead += static_cast<std::int64_t>(n);
            if (n > 0) {
                for (int c = 0; c < std::min(r.numInputs, 2); ++c) {
                    const int source = std::min(c, fileChannels - 1);
                    float* dst = buffers.Input(c);
                    for (std::size_t f = 0; f < n; ++f) {
                        dst[f] = fileBlock[f * static_cast<std::size_t>(fileChannels) +
                                           static_cast<std::size_t>(source)];
                    }
                }
            } else if (tail > 0) {
                n = static_cast<std::size_t>(std::min<std::int64_t>(tail, block));
                tail -= static_cast<std::int64_t>(n);
            } else {
                break;
            }
            buffers.ClearOutputs();
            plugin.Process(buffers.Inputs(), buffers.Outputs(), static_cast<VstInt32>(n));

            const std::size_t skip = static_cast<std::size_t>(
                std::min<std::int64_t>(toSkip, static_cast<std::int64_t>(n)));
            toSkip -= static_cast<std::int64_t>(skip);
            const std::size_t keep = n - skip;
            for (std::size_t f = 0; f < keep; ++f) {
                for (int c = 0; c < outChannels; ++c) {
                    float v = buffers.Output(c)[skip + f];
                    if (!std::isfinite(v)) {
                        ++nonFinite;
                        v = 0.0f;
                    } else if (std::fabs(v) > 1.0f) {
                        ++clipped;
                    }
                    outBlock[f * static_cast<std::size_t>(outChannels) +
                             static_cast<std::size_t>(c)] = v;
                }
            }
            writer->Write(outBlock.data(), keep);
            written += static_cast<std::int64_t>(keep);
            progress.Update(written);
        }
        progress.Done();
        SetProcessLevel(1);
        plugin.Suspend();
        writer->Finish();
        writer.reset();
        output.Commit();
    }
    plugin.Close();
    const std::int64_t declared = reader->DeclaredFrames();
    if (framesRead < declared) {
        std::fprintf(stderr,
                     "vsthost: warning: %s ends after %lld of %lld frames; rendered what is "
                     "there\n",
                     in.c_str(), static_cast<long long>(framesRead),
                     static_cast<long long>(declared));
    }

    std::printf("Rendered %lld frames at %.0f Hz: %s (%s, %s) -> %s (%s, %s)\n",
                static_cast<long long>(written), rate, in.c_str(), ChannelText(fileChannels),
                SampleTypeName(reader->Type()), out.c_str(), ChannelText(outChannels),
                SampleTypeName(type == ESampleType::Other ? ESampleType::Float32 : type));
    if (nonFinite > 0) {
        std::fprintf(stderr,
                     "vsthost: warning: the plug-in produced %lld samples that are not finite; "
                     "they were written as 0\n",
                     static_cast<long long>(nonFinite));
    }
    if (clipped > 0 && IsInteger(type)) {
        std::fprintf(stderr,
                     "vsthost: warning: %lld samples exceeded full scale and were clipped\n",
                     static_cast<long long>(clipped));
    }
    return kExitOk;
}

} // namespace VLM
