// The dense response curve (one FFT with FFTW) and the PNG plot (Cairo): Linux build only.
#include "commands/response.h"

#include "common/errors.h"
#include "common/text_format.h"

#include <cairo.h>
#include <fftw3.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace VLM {
namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 560;
constexpr double kLeft = 70.0, kRight = 30.0, kTop = 76.0, kBottom = 56.0;

struct SColour {
    double r, g, b;
};
constexpr SColour kInk{0.13, 0.15, 0.18};
constexpr SColour kMuted{0.42, 0.45, 0.50};
constexpr SColour kGridMajor{0.80, 0.82, 0.85};
constexpr SColour kGridMinor{0.91, 0.92, 0.93};
constexpr SColour kChannelColours[2] = {{0.12, 0.43, 0.75}, {0.80, 0.25, 0.20}};
constexpr SColour kFader{0.95, 0.55, 0.10};

void SetColour(cairo_t* cr, SColour c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void Text(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
          double alignX, SColour colour) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    SetColour(cr, colour);
    cairo_move_to(cr, x - alignX * e.x_advance, y);
    cairo_show_text(cr, text.c_str());
}

std::string FrequencyLabel(double f) {
    return f >= 1000.0 ? Format("%gk", f / 1000.0) : Format("%g", f);
}

} // namespace

bool PlotAvailable() {
    return true;
}

std::vector<SCurvePoint> MagnitudeCurve(const std::vector<float>& impulse, double sampleRate,
                                        double low, double high, int points) {
    const std::size_t n = impulse.size();
    std::vector<SCurvePoint> curve;
    if (n < 2 || points < 2 || !(high > low) || low <= 0.0) {
        return curve;
    }
    const std::size_t bins = n / 2 + 1;
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(bins);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
    for (std::size_t i = 0; i < n; ++i) {
        in[i] = static_cast<double>(impulse[i]);
    }
    fftw_execute(plan);
    auto magnitude = [&](std::size_t k) { return std::hypot(out[k][0], out[k][1]); };
    for (int i = 0; i < points; ++i) {
        const double f = low * std::pow(high / low, static_cast<double>(i) / (points - 1));
        const double position =
            std::min(f * static_cast<double>(n) / sampleRate, static_cast<double>(bins - 1));
        const auto k = static_cast<std::size_t>(position);
        const double t = position - static_cast<double>(k);
        const double m =
            k + 1 < bins ? (1.0 - t) * magnitude(k) + t * magnitude(k + 1) : magnitude(k);
        curve.push_back({f, m > 0.0 ? 20.0 * std::log10(m) : -200.0});
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
    return curve;
}

void DrawPlot(const SPlot& plot, std::FILE* stream, const std::string& name) {
    double extreme = 0.0;
    for (const auto& c : plot.curves) {
        for (const auto& p : c) {
            extreme = std::max(extreme, std::min(std::fabs(p.db), 60.0));
        }
    }
    for (const auto& p : plot.marks) {
        extreme = std::max(extreme, std::fabs(p.db));
    }
    const double range = std::max(15.0, std::ceil((extreme + 1.0) / 3.0) * 3.0);
    const double step = range > 24.0 ? 6.0 : 3.0;

    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight), cairo_surface_destroy);
    std::unique_ptr<cairo_t, void (*)(cairo_t*)> context(cairo_create(surface.get()),
                                                         cairo_destroy);
    cairo_t* cr = context.get();
    const double x0 = kLeft, x1 = kWidth - kRight, y0 = kTop, y1 = kHeight - kBottom;
    auto X = [&](double f) {
        return x0 + (x1 - x0) * std::log(f / plot.low) / std::log(plot.high / plot.low);
    };
    auto Y = [&](double db) {
        return y0 + (y1 - y0) * (range - std::clamp(db, -range, range)) / (2.0 * range);
    };

    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.985, 0.985, 0.99);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_fill(cr);

    // Frequency grid: every 1-2-...-9 step per decade, labelled at 1, 2 and 5.
    cairo_set_line_width(cr, 1.0);
    for (double decade = 10.0; decade <= 100000.0; decade *= 10.0) {
        for (int m = 1; m <= 9; ++m) {
            const double f = decade * m;
            if (f < plot.low || f > plot.high) {
                continue;
            }
            const bool labelled = m == 1 || m == 2 || m == 5;
            SetColour(cr, labelled ? kGridMajor : kGridMinor);
            const double x = std::round(X(f)) + 0.5;
            cairo_move_to(cr, x, y0);
            cairo_line_to(cr, x, y1);
            cairo_stroke(cr);
            if (labelled) {
                Text(cr, FrequencyLabel(f), x, y1 + 18.0, 11.0, false, 0.5, kMuted);
            }
        }
    }
    // Gain grid.
    for (double db = -range; db <= range + 1e-9; db += step) {
        SetColour(cr, db == 0.0 ? kMuted : kGridMajor);
        cairo_set_line_width(cr, db == 0.0 ? 1.2 : 1.0);
        const double y = std::round(Y(db)) + 0.5;
        cairo_move_to(cr, x0, y);
        cairo_line_to(cr, x1, y);
        cairo_stroke(cr);
        Text(cr, Format("%+g", db).replace(0, db == 0.0 ? 1 : 0, ""), x0 - 8.0, y + 4.0, 11.0,
             false, 1.0, kMuted);
    }
    SetColour(cr, kGridMajor);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, x0 + 0.5, y0 + 0.5, x1 - x0 - 1.0, y1 - y0 - 1.0);
    cairo_stroke(cr);

    // Fader positions at the band centres.
    for (const auto& m : plot.marks) {
        if (m.frequency < plot.low || m.frequency > plot.high) {
            continue;
        }
        const double x = X(m.frequency), y = Y(m.db);
        SetColour(cr, kFader, 0.35);
        cairo_set_line_width(cr, 1.0);
        cairo_move_to(cr, x, Y(0.0));
        cairo_line_to(cr, x, y);
        cairo_stroke(cr);
        SetColour(cr, kFader);
        cairo_rectangle(cr, x - 9.0, y - 3.0, 18.0, 6.0);
        cairo_fill(cr);
    }

    // Curves, clipped to the plot area; the second channel dashed.
    cairo_save(cr);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (std::size_t c = plot.curves.size(); c-- > 0;) {
        const auto& curve = plot.curves[c];
        if (curve.empty()) {
            continue;
        }
        SetColour(cr, kChannelColours[c % 2]);
        cairo_set_line_width(cr, c == 0 ? 2.2 : 1.6);
        const double dash[] = {6.0, 4.0};
        cairo_set_dash(cr, dash, c == 0 ? 0 : 2, 0.0);
        cairo_move_to(cr, X(curve.front().frequency), Y(curve.front().db));
        for (const auto& p : curve) {
            cairo_line_to(cr, X(p.frequency), Y(p.db));
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    Text(cr, plot.title, x0, 30.0, 17.0, true, 0.0, kInk);
    Text(cr, plot.subtitle, x0, 52.0, 12.0, false, 0.0, kMuted);
    Text(cr, "Hz", x1, y1 + 38.0, 11.0, false, 1.0, kMuted);
    Text(cr, "dB", x0 - 8.0, y0 - 10.0, 11.0, false, 1.0, kMuted);
    // Legend, right-aligned above the plot: the fader marks, then one entry per channel.
    struct SEntry {
        std::string name;
        std::size_t channel; // curves index, or SIZE_MAX for the fader marks
    };
    std::vector<SEntry> entries;
    if (!plot.marks.empty()) {
        entries.push_back({"Fader", SIZE_MAX});
    }
    for (std::size_t c = 0; c < plot.curves.size() && c < 2; ++c) {
        entries.push_back({plot.curves.size() == 1 ? "Response" : c == 0 ? "Left" : "Right", c});
    }
    constexpr double kSwatch = 22.0, kGap = 6.0, kSpacing = 18.0, kBaseline = 52.0;
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11.0);
    double lx = x1;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, it->name.c_str(), &e);
        lx -= e.x_advance;
        Text(cr, it->name, lx, kBaseline, 11.0, false, 0.0, kInk);
        const double sx = lx - kGap - kSwatch;
        if (it->channel == SIZE_MAX) {
            SetColour(cr, kFader);
            cairo_rectangle(cr, sx + 3.0, kBaseline - 7.0, kSwatch - 6.0, 6.0);
            cairo_fill(cr);
        } else {
            SetColour(cr, kChannelColours[it->channel % 2]);
            cairo_set_line_width(cr, it->channel == 0 ? 2.2 : 1.6);
            const double dash[] = {6.0, 4.0};
            cairo_set_dash(cr, dash, it->channel == 0 ? 0 : 2, 0.0);
            cairo_move_to(cr, sx, kBaseline - 4.0);
            cairo_line_to(cr, sx + kSwatch, kBaseline - 4.0);
            cairo_stroke(cr);
            cairo_set_dash(cr, nullptr, 0, 0.0);
        }
        lx = sx - kSpacing;
    }

    cairo_surface_flush(surface.get());
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        surface.get(),
        [](void* closure, const unsigned char* data, unsigned int length) {
            return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length
                       ? CAIRO_STATUS_SUCCESS
                       : CAIRO_STATUS_WRITE_ERROR;
        },
        stream);
    const int writeError = errno;
    context.reset();
    surface.reset();
    // The font caches live until process exit otherwise, and leak checkers rightly flag them.
    cairo_debug_reset_static_data();
    FcFini();
    if (status != CAIRO_STATUS_SUCCESS) {
        throw Exceptions::HostFailure(
            "cannot write " + name + ": " +
            (status == CAIRO_STATUS_WRITE_ERROR ? std::strerror(writeError) : "out of memory"));
    }
}

} // namespace VLM
