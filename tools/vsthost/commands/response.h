// Magnitude response of a measured impulse response: exact gains at chosen frequencies,
// a dense curve for the plot, and the plot itself.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace VLM {

// Gain in dB of the impulse response at each frequency (the transform evaluated exactly).
std::vector<double> GainsDb(const std::vector<float>& impulse, double sampleRate,
                            const std::vector<double>& frequencies);

struct SCurvePoint {
    double frequency;
    double db;
};

// True when this build can draw PNG plots (FFTW and Cairo are available).
bool PlotAvailable();

// `points` log-spaced points from `low` to `high` Hz, from one FFT of the impulse response.
std::vector<SCurvePoint> MagnitudeCurve(const std::vector<float>& impulse, double sampleRate,
                                        double low, double high, int points);

struct SPlot {
    std::string title;
    std::string subtitle;
    double low = 20.0;
    double high = 20000.0;
    std::vector<std::vector<SCurvePoint>> curves; // one per channel
    std::vector<SCurvePoint> marks;               // fader positions at the band centres
};

// Writes the plot as a PNG to `stream`; throws Exceptions::HostFailure naming `name` (the
// user's path, quoted) when it cannot.
void DrawPlot(const SPlot& plot, std::FILE* stream, const std::string& name);

} // namespace VLM
