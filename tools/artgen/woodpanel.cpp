#include "images.h"
#include "layout.h"
#include "palette.h"

#include <cmath>
#include <string>

namespace VLM::Art {

namespace {

constexpr int kPanelWidth = 798;
constexpr int kPanelHeight = 200;
constexpr int kMeterWidth = 21;
constexpr int kMeterHeight = 162;
constexpr double kMeterTop = (kPanelHeight - kMeterHeight) / 2.0;
constexpr double kLeftMeterX = 24.0;
constexpr double kRightMeterX = kPanelWidth - 24.0 - kMeterWidth;
constexpr double kMeterFloorDecibels = -60.0;
constexpr double kMeterCeilingDecibels = 6.0;

// Knob positions alternate between two rows, so that each scale has room around it.
constexpr double kFirstKnobX = 120.0;
constexpr double kKnobPitch = 64.0;
constexpr double kUpperRowY = 60.0;
constexpr double kLowerRowY = 140.0;
constexpr double kScaleInner = 35.0;
constexpr double kScaleOuter = 40.0;

const char* const kBandNames[kBandCount] = {"31", "63", "125", "250", "500",
                                            "1k", "2k", "4k",  "8k",  "16k"};
const Rgba kSilkscreen = Hex(0xF3EAD6, 0.92);

void Walnut(cairo_t* cr) {
    PatternPtr base = LinearGradient(0.0, 0.0, kPanelWidth, kPanelHeight);
    AddStop(base.get(), 0.0, Hex(0x7A4A28));
    AddStop(base.get(), 0.5, Hex(0x6A3C1F));
    AddStop(base.get(), 1.0, Hex(0x4E2B15));
    cairo_set_source(cr, base.get());
    cairo_paint(cr);

    // Grain: long wavy fibres along the board, darker and lighter than the wood between them.
    CRandom random(0x3A1F0Du);
    for (int fibre = 0; fibre < 420; ++fibre) {
        const double y = random.Range(-20.0, kPanelHeight + 20.0);
        const double amplitude = random.Range(0.6, 4.5);
        const double wavelength = random.Range(220.0, 640.0);
        const double phase = random.Range(0.0, 2.0 * M_PI);
        cairo_new_path(cr);
        for (double x = -10.0; x <= kPanelWidth + 10.0; x += 6.0) {
            const double wave = amplitude * std::sin(phase + 2.0 * M_PI * x / wavelength) +
                                0.4 * amplitude * std::sin(phase * 1.7 + 2.0 * M_PI * x / 61.0);
            if (x < -9.0)
                cairo_move_to(cr, x, y + wave);
            else
                cairo_line_to(cr, x, y + wave);
        }
        const bool dark = random.Next() < 0.7;
        cairo_set_line_width(cr, random.Range(0.3, 1.8));
        SetColour(cr, dark ? Hex(0x2A1406, random.Range(0.08, 0.3))
                           : Hex(0xC88A55, random.Range(0.05, 0.16)));
        cairo_stroke(cr);
    }

    // Satin varnish: a soft reflection along the top, the lower edge in shade.
    PatternPtr varnish = LinearGradient(0.0, 0.0, 0.0, kPanelHeight);
    AddStop(varnish.get(), 0.0, Hex(0xFFFFFF, 0.16));
    AddStop(varnish.get(), 0.3, Hex(0xFFFFFF, 0.03));
    AddStop(varnish.get(), 0.7, Hex(0x000000, 0.0));
    AddStop(varnish.get(), 1.0, Hex(0x000000, 0.22));
    cairo_set_source(cr, varnish.get());
    cairo_paint(cr);

    cairo_set_line_width(cr, 1.0);
    SetColour(cr, Hex(0xFFFFFF, 0.3));
    cairo_move_to(cr, 0.5, kPanelHeight);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, kPanelWidth, 0.5);
    cairo_stroke(cr);
    SetColour(cr, Hex(0x000000, 0.5));
    cairo_move_to(cr, 1.0, kPanelHeight - 0.5);
    cairo_line_to(cr, kPanelWidth - 0.5, kPanelHeight - 0.5);
    cairo_line_to(cr, kPanelWidth - 0.5, 1.0);
    cairo_stroke(cr);
}

void KnobScale(cairo_t* cr, const CFonts& fonts, double cx, double cy, const char* name,
               double labelBaseline) {
    // A dark seat for the knob's skirt.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, 27.0, 0.0, 2.0 * M_PI);
    PatternPtr seat = LinearGradient(cx - 27.0, cy - 27.0, cx + 27.0, cy + 27.0);
    AddStop(seat.get(), 0.0, Hex(0x1A0D04, 0.65));
    AddStop(seat.get(), 1.0, Hex(0x1A0D04, 0.25));
    cairo_set_source(cr, seat.get());
    cairo_fill(cr);

    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    constexpr int ticks = 11;
    for (int i = 0; i < ticks; ++i) {
        const double degrees = -kKnobSweepDegrees + 2.0 * kKnobSweepDegrees * i / (ticks - 1);
        const double a = degrees * M_PI / 180.0;
        const bool major = i == 0 || i == ticks / 2 || i == ticks - 1;
        const double outer = major ? kScaleOuter + 1.5 : kScaleOuter;
        cairo_set_line_width(cr, major ? 1.8 : 1.1);
        SetColour(cr, kSilkscreen);
        cairo_move_to(cr, cx + kScaleInner * std::sin(a), cy - kScaleInner * std::cos(a));
        cairo_line_to(cr, cx + outer * std::sin(a), cy - outer * std::cos(a));
        cairo_stroke(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    DrawText(cr, fonts, {EFont::CondensedBold, 10.0, 0.4}, name, cx, labelBaseline, EAlign::Centre,
             kSilkscreen);
}

double MeterY(double decibels) {
    const double share =
        (decibels - kMeterFloorDecibels) / (kMeterCeilingDecibels - kMeterFloorDecibels);
    return kMeterTop + kMeterHeight * (1.0 - share);
}

void MeterScale(cairo_t* cr, const CFonts& fonts, double x, bool labelsLeft) {
    cairo_new_path(cr);
    RoundedRect(cr, x - 2.0, kMeterTop - 2.0, kMeterWidth + 4.0, kMeterHeight + 4.0, 2.0);
    SetColour(cr, Hex(0x0C0603, 0.85));
    cairo_fill(cr);
    cairo_new_path(cr);
    RoundedRect(cr, x - 2.5, kMeterTop - 2.5, kMeterWidth + 5.0, kMeterHeight + 5.0, 2.5);
    SetColour(cr, Hex(0xE8C58F, 0.35));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    const TextStyle style{EFont::Condensed, 7.5, 0.0};
    for (const int decibels : {6, 0, -6, -12, -18, -24, -36, -48, -60}) {
        const double y = MeterY(decibels);
        const double edge = labelsLeft ? x - 3.0 : x + kMeterWidth + 3.0;
        const double tip = labelsLeft ? edge - 3.0 : edge + 3.0;
        cairo_set_line_width(cr, 1.0);
        SetColour(cr, kSilkscreen);
        cairo_move_to(cr, edge, y);
        cairo_line_to(cr, tip, y);
        cairo_stroke(cr);
        const std::string text = decibels == 0  ? "0"
                                 : decibels > 0 ? "+" + std::to_string(decibels)
                                                : "\u2212" + std::to_string(-decibels);
        DrawText(cr, fonts, style, text, labelsLeft ? tip - 1.5 : tip + 1.5, y + 2.7,
                 labelsLeft ? EAlign::Right : EAlign::Left,
                 decibels > 0 ? Hex(0xFF8A70, 0.95) : kSilkscreen);
    }
}

} // namespace

SurfacePtr DrawWoodPanel(const CFonts& fonts, int scale) {
    SurfacePtr surface = NewSurface(kPanelWidth, kPanelHeight, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();
    Walnut(cr);
    for (int band = 0; band < kBandCount; ++band) {
        const bool upper = band % 2 == 0;
        const double cy = upper ? kUpperRowY : kLowerRowY;
        KnobScale(cr, fonts, kFirstKnobX + kKnobPitch * band, cy, kBandNames[band],
                  upper ? cy + 47.0 : cy + 53.0);
    }
    MeterScale(cr, fonts, kLeftMeterX, true);
    MeterScale(cr, fonts, kRightMeterX, false);
    return surface;
}

SurfacePtr DrawMeter(int scale) {
    SurfacePtr surface = NewSurface(kMeterWidth, kMeterHeight, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();
    SetColour(cr, Hex(0x0A0B0C));
    cairo_paint(cr);

    // Twenty lit segments from the bottom: green, then amber, then red at the top.
    constexpr int segments = 20;
    constexpr double pitch = kMeterHeight / static_cast<double>(segments);
    constexpr double gap = 2.0;
    for (int i = 0; i < segments; ++i) {
        const double bottom = kMeterHeight - i * pitch;
        const double top = bottom - pitch + gap;
        const Rgba colour = i >= 18 ? Hex(0xFF3B2F) : i >= 14 ? Hex(0xF5C02C) : Hex(0x3FD26B);
        cairo_new_path(cr);
        RoundedRect(cr, 2.0, top, kMeterWidth - 4.0, pitch - gap, 1.0);
        PatternPtr lit = LinearGradient(2.0, 0.0, kMeterWidth - 2.0, 0.0);
        AddStop(lit.get(), 0.0, Mix(colour, Hex(0x000000), 0.25));
        AddStop(lit.get(), 0.4, Mix(colour, Hex(0xFFFFFF), 0.35));
        AddStop(lit.get(), 1.0, Mix(colour, Hex(0x000000), 0.3));
        cairo_set_source(cr, lit.get());
        cairo_fill(cr);
    }
    return surface;
}

} // namespace VLM::Art
