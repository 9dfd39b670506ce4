#include "commands/response.h"

#include "commands/commands.h"
#include "commands/equaliser.h"
#include "common/errors.h"
#include "common/text_format.h"
#include "host/plugin.h"
#include "io/output_file.h"
#include "os/files.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <memory>

namespace VLM {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Time for parameter smoothing to reach its target before the impulse goes in.
constexpr double kDefaultSettleSeconds = 0.5;
// Long enough for the narrowest low band to ring out completely.
constexpr double kImpulseSeconds = 2.0;
constexpr int kCurvePoints = 1200;

std::size_t ImpulseLength(double rate) {
    std::size_t n = 1;
    while (static_cast<double>(n) < kImpulseSeconds * rate) {
        n <<= 1;
    }
    return n;
}

} // namespace

std::vector<double> GainsDb(const std::vector<float>& impulse, double sampleRate,
                            const std::vector<double>& frequencies) {
    std::vector<double> gains;
    gains.reserve(frequencies.size());
    for (double f : frequencies) {
        const double w = 2.0 * kPi * f / sampleRate;
        // Rotating phasor, renormalised now and then so that rounding does not accumulate.
        const std::complex<double> step(std::cos(w), -std::sin(w));
        std::complex<double> phasor(1.0, 0.0);
        std::complex<double> sum(0.0, 0.0);
        for (std::size_t n = 0; n < impulse.size(); ++n) {
            sum += static_cast<double>(impulse[n]) * phasor;
            phasor *= step;
            if ((n & 1023u) == 1023u) {
                phasor = std::polar(1.0, -w * static_cast<double>(n + 1));
            }
        }
        const double magnitude = std::abs(sum);
        gains.push_back(magnitude > 0.0 ? 20.0 * std::log10(magnitude) : -HUGE_VAL);
    }
    return gains;
}

int RunResponse(const SOptions& options) {
    if (!options.png.empty() && !PlotAvailable()) {
        throw Exceptions::Usage("--png: this build of vsthost cannot draw plots");
    }
    const std::string pngName = "'" + Printable(options.png) + "'";
    std::unique_ptr<COutputFile> png;
    if (!options.png.empty()) {
        RefuseToOverwriteInputs(options, options.png);
        png = std::make_unique<COutputFile>(options.png);
    }
    const double rate = options.sampleRate;
    const auto preset = ReadPresetOption(options);
    CPlugin plugin(options.plugin);
    RequireAudio(plugin);
    const AEffect& r = plugin.Record();
    const int block = options.blockSize;
    plugin.Open(static_cast<float>(rate), block);
    ApplyPresetAndSettings(plugin, preset.get(), options);
    plugin.Resume();

    CBlockBuffers buffers(r.numInputs, r.numOutputs, block);
    const int settle = options.settleBlocks >= 0
                           ? options.settleBlocks
                           : static_cast<int>(std::ceil(kDefaultSettleSeconds * rate / block));
    for (int i = 0; i < settle; ++i) {
        buffers.ClearInputs();
        buffers.ClearOutputs();
        plugin.Process(buffers.Inputs(), buffers.Outputs(), block);
    }

    const int channels = std::min(r.numOutputs, 2);
    const std::size_t length = ImpulseLength(rate);
    std::vector<std::vector<float>> impulse(static_cast<std::size_t>(channels),
                                            std::vector<float>(length));
    for (std::size_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::size_t>(static_cast<std::size_t>(block), length - done));
        buffers.ClearInputs();
        buffers.ClearOutputs();
        if (done == 0) {
            for (int c = 0; c < r.numInputs; ++c) {
                buffers.Input(c)[0] = 1.0f;
            }
        }
        plugin.Process(buffers.Inputs(), buffers.Outputs(), static_cast<VstInt32>(n));
        for (int c = 0; c < channels; ++c) {
            std::copy(buffers.Output(c), buffers.Output(c) + n,
                      impulse[static_cast<std::size_t>(c)].begin() +
                          static_cast<std::ptrdiff_t>(done));
        }
        done += n;
    }
    plugin.Suspend();
    for (const auto& ir : impulse) {
        if (!std::all_of(ir.begin(), ir.end(), [](float v) { return std::isfinite(v); })) {
            throw Exceptions::HostFailure(
                Format("the plug-in's output at %.0f Hz is not finite; nothing to measure", rate));
        }
    }

    // The faders' nominal positions, when the plug-in has the band parameters.
    const bool hasFaders = r.numParams >= Equaliser::kBandCount;
    const double nyquist = rate / 2.0;
    std::vector<double> centres;
    for (double f : Equaliser::kBandCentres) {
        if (f < nyquist) {
            centres.push_back(f);
        }
    }
    std::vector<std::vector<double>> gains;
    for (const auto& ir : impulse) {
        gains.push_back(GainsDb(ir, rate, centres));
    }

    std::printf("Magnitude response at %.0f Hz (%d blocks of %d frames settled, %zu-sample "
                "impulse response)\n",
                rate, settle, block, length);
    std::printf("%-8s%s", "Band", hasFaders ? "  Fader dB" : "");
    for (int c = 0; c < channels; ++c) {
        std::printf("  %8s", channels == 1 ? "Gain dB" : c == 0 ? "Left dB" : "Right dB");
    }
    std::printf("\n");
    SPlot plot;
    for (std::size_t i = 0; i < centres.size(); ++i) {
        std::printf("%-8s", Equaliser::FrequencyName(centres[i]).c_str());
        if (hasFaders) {
            const double fader =
                Equaliser::BandDbFromValue(plugin.GetParameter(static_cast<VstInt32>(i)));
            std::printf("  %+8.2f", fader);
            plot.marks.push_back({centres[i], fader});
        }
        for (int c = 0; c < channels; ++c) {
            std::printf("  %+8.2f", gains[static_cast<std::size_t>(c)][i]);
        }
        std::printf("\n");
    }

    if (!options.png.empty()) {
        plot.low = 20.0;
        plot.high = std::min(20000.0, nyquist);
        for (const auto& ir : impulse) {
            plot.curves.push_back(MagnitudeCurve(ir, rate, plot.low, plot.high, kCurvePoints));
        }
        std::string name = plugin.Text(effGetEffectName);
        plot.title = "Magnitude response: " + (name.empty() ? options.plugin : name);
        std::string settings;
        for (const SSetting& s : options.settings) {
            settings += (settings.empty() ? "" : "  ") + s.source;
        }
        plot.subtitle = Format("%.0f Hz", rate) + (settings.empty() ? "" : "   " + settings);
        DrawPlot(plot, png->Stream(), pngName);
        png->Commit();
        std::printf("Plot: %s\n", png->IsStandardOutput() ? "standard output" : pngName.c_str());
    }
    plugin.Close();
    return kExitOk;
}

#if !defined(VLM_HOST_PLOT)
bool PlotAvailable() {
    return false;
}

std::vector<SCurvePoint> MagnitudeCurve(const std::vector<float>&, double, double, double, int) {
    return {};
}

void DrawPlot(const SPlot&, std::FILE*, const std::string&) {
    throw Exceptions::HostFailure("this build of vsthost cannot draw plots");
}
#endif

} // namespace VLM
