#include "images.h"
#include "layout.h"
#include "palette.h"

#include <cmath>
#include <string>

namespace VLM::Art {

namespace {

// The fader well: the dark recess that holds the slots, the scales and the band names.
constexpr double kWellLeft = 96.0;
constexpr double kWellTop = 22.0;
constexpr double kWellRight = 804.0;
constexpr double kWellBottom = 250.0;
constexpr double kSlotTop = 48.0;
constexpr double kSlotBottom = 212.0;
constexpr double kBandNameBaseline = 244.0;

const char* const kBandNames[kBandCount] = {"31", "63", "125", "250", "500",
                                            "1k", "2k", "4k",  "8k",  "16k"};

double FaderAxisX(int band) {
    return kFaderX[band] + kFaderFrameWidth / 2.0;
}

void BrushedAluminium(cairo_t* cr, double width, double height) {
    PatternPtr base = LinearGradient(0.0, 0.0, 0.0, height);
    AddStop(base.get(), 0.0, Palette::kAluminiumTop);
    AddStop(base.get(), 1.0, Palette::kAluminiumBottom);
    cairo_set_source(cr, base.get());
    cairo_paint(cr);

    // A broad, soft sheen across the panel, brightest a little left of centre.
    PatternPtr sheen = LinearGradient(0.0, 0.0, width, height * 0.35);
    AddStop(sheen.get(), 0.0, Hex(0xFFFFFF, 0.0));
    AddStop(sheen.get(), 0.38, Hex(0xFFFFFF, 0.16));
    AddStop(sheen.get(), 0.62, Hex(0xFFFFFF, 0.02));
    AddStop(sheen.get(), 1.0, Hex(0xFFFFFF, 0.10));
    cairo_set_source(cr, sheen.get());
    cairo_paint(cr);

    Brush(cr, 0x5EED01u, width, height, 0.045);
}

void ScrewHead(cairo_t* cr, double cx, double cy, double slotAngle) {
    constexpr double radius = 5.5;
    cairo_save(cr);
    cairo_translate(cr, 0.7, 1.1);
    SoftCircleShadow(cr, cx, cy, radius - 0.5, 1.6, 0.45);
    cairo_restore(cr);

    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, radius, 0.0, 2.0 * M_PI);
    PatternPtr head = RadialGradient(cx - 2.0, cy - 2.5, 0.5, cx, cy, radius);
    AddStop(head.get(), 0.0, Hex(0xF4F5F6));
    AddStop(head.get(), 0.55, Hex(0xB9BDC1));
    AddStop(head.get(), 1.0, Hex(0x7C8186));
    cairo_set_source(cr, head.get());
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 0.8);
    SetColour(cr, Hex(0x3C4044, 0.7));
    cairo_stroke(cr);

    // A recessed cross: a light edge on the lower side of each groove, the groove dark.
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, slotAngle);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int pass = 0; pass < 2; ++pass) {
        const double offset = pass == 0 ? 0.6 : 0.0;
        SetColour(cr, pass == 0 ? Hex(0xFFFFFF, 0.55) : Hex(0x34383C));
        cairo_set_line_width(cr, pass == 0 ? 1.5 : 1.3);
        cairo_move_to(cr, -3.4, offset);
        cairo_line_to(cr, 3.4, offset);
        cairo_move_to(cr, offset, -3.4);
        cairo_line_to(cr, offset, 3.4);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void WellPath(cairo_t* cr, double dx, double dy) {
    RoundedRect(cr, kWellLeft + dx, kWellTop + dy, kWellRight - kWellLeft, kWellBottom - kWellTop,
                5.0);
}

void FaderWell(cairo_t* cr) {
    // The light catches the lower and right lips of the recess.
    cairo_new_path(cr);
    WellPath(cr, 0.8, 1.0);
    SetColour(cr, Hex(0xFFFFFF, 0.65));
    cairo_fill(cr);
    cairo_new_path(cr);
    WellPath(cr, -0.6, -0.6);
    SetColour(cr, Hex(0x000000, 0.30));
    cairo_fill(cr);

    cairo_new_path(cr);
    WellPath(cr, 0.0, 0.0);
    PatternPtr fill = LinearGradient(0.0, kWellTop, 0.0, kWellBottom);
    AddStop(fill.get(), 0.0, Palette::kWellTop);
    AddStop(fill.get(), 1.0, Palette::kWellBottom);
    cairo_set_source(cr, fill.get());
    cairo_fill(cr);

    cairo_save(cr);
    cairo_new_path(cr);
    WellPath(cr, 0.0, 0.0);
    cairo_clip(cr);
    Brush(cr, 0xA70D12u, kEditorWidth, kEditorHeight, 0.022);
    // The upper and left walls of the recess throw a shadow onto its floor.
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    for (int i = 1; i <= 5; ++i) {
        const double shift = 0.8 * i;
        cairo_new_path(cr);
        cairo_rectangle(cr, 0.0, 0.0, kEditorWidth, kEditorHeight);
        WellPath(cr, shift, shift * 1.2);
        SetColour(cr, Hex(0x000000, 0.09));
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void FaderSlot(cairo_t* cr, double cx) {
    constexpr double half = 3.0;
    cairo_new_path(cr);
    RoundedRect(cr, cx - half + 0.5, kSlotTop + 1.0, 2.0 * half, kSlotBottom - kSlotTop, half);
    SetColour(cr, Hex(0xFFFFFF, 0.10));
    cairo_fill(cr);
    cairo_new_path(cr);
    RoundedRect(cr, cx - half, kSlotTop, 2.0 * half, kSlotBottom - kSlotTop, half);
    PatternPtr groove = LinearGradient(cx - half, 0.0, cx + half, 0.0);
    AddStop(groove.get(), 0.0, Hex(0x000000));
    AddStop(groove.get(), 0.7, Hex(0x0B0C0D));
    AddStop(groove.get(), 1.0, Hex(0x1C1E21));
    cairo_set_source(cr, groove.get());
    cairo_fill(cr);
}

void ScaleTicks(cairo_t* cr, double cx) {
    for (int step = -4; step <= 4; ++step) {
        const double decibels = 3.0 * step;
        const double y = ScaleMarkY(decibels);
        const bool zero = step == 0;
        const bool major = step % 2 == 0;
        const double inner = 6.5;
        // Major ticks reach past the cap's sides, so that the index line can be read against them.
        const double outer = zero ? 27.0 : major ? 25.0 : 15.0;
        cairo_set_line_width(cr, major ? 1.4 : 1.0);
        SetColour(cr, zero    ? Palette::kLegendBright
                      : major ? Palette::kLegend
                              : Palette::kLegendDim);
        for (const double side : {-1.0, 1.0}) {
            cairo_move_to(cr, cx + side * inner, y);
            cairo_line_to(cr, cx + side * outer, y);
        }
        cairo_stroke(cr);
    }
}

std::string MarkText(int decibels) {
    if (decibels == 0)
        return "0";
    // A true minus sign, as wide as the plus.
    return (decibels > 0 ? "+" : "\u2212") + std::to_string(std::abs(decibels));
}

void ScaleNumbers(cairo_t* cr, const CFonts& fonts) {
    const TextStyle style{EFont::CondensedBold, 10.0, 0.0};
    const TextStyle unit{EFont::Condensed, 9.0, 0.6};
    const double leftEdge = FaderAxisX(0) - 31.0;
    const double rightEdge = FaderAxisX(kBandCount - 1) + 31.0;
    for (int decibels = -12; decibels <= 12; decibels += 6) {
        const double baseline = ScaleMarkY(decibels) + 3.6;
        const Rgba colour = decibels == 0 ? Palette::kLegendBright : Palette::kLegend;
        DrawText(cr, fonts, style, MarkText(decibels), leftEdge, baseline, EAlign::Right, colour);
        DrawText(cr, fonts, style, MarkText(decibels), rightEdge, baseline, EAlign::Left, colour);
    }
    DrawText(cr, fonts, unit, "dB", leftEdge, 38.0, EAlign::Right, Palette::kLegendDim);
    DrawText(cr, fonts, unit, "dB", rightEdge, 38.0, EAlign::Left, Palette::kLegendDim);
    DrawText(cr, fonts, unit, "Hz", leftEdge, kBandNameBaseline, EAlign::Right,
             Palette::kLegendDim);
    DrawText(cr, fonts, unit, "Hz", rightEdge, kBandNameBaseline, EAlign::Left,
             Palette::kLegendDim);
}

void BandNames(cairo_t* cr, const CFonts& fonts) {
    const TextStyle style{EFont::CondensedBold, 11.5, 0.3};
    for (int band = 0; band < kBandCount; ++band)
        DrawText(cr, fonts, style, kBandNames[band], FaderAxisX(band), kBandNameBaseline,
                 EAlign::Centre, Palette::kLegendBright);
}

void Branding(cairo_t* cr, const CFonts& fonts) {
    constexpr double axis = kWellLeft / 2.0;
    EngraveText(cr, fonts, {EFont::SansBold, 7.5, 2.2}, "VELMORA", axis + 1.0, 44.0, EAlign::Centre,
                Palette::kInk, 0.7);
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, Hex(0xFFFFFF, 0.6));
    cairo_move_to(cr, 22.0, 54.5);
    cairo_line_to(cr, 74.0, 54.5);
    cairo_stroke(cr);
    SetColour(cr, Palette::kInk);
    cairo_move_to(cr, 22.0, 53.5);
    cairo_line_to(cr, 74.0, 53.5);
    cairo_stroke(cr);

    EngraveText(cr, fonts, {EFont::SansBold, 27.0, -0.5}, "VLM", axis, 110.0, EAlign::Centre,
                Palette::kInk, 0.75);
    EngraveText(cr, fonts, {EFont::Sans, 19.0, 0.0}, "Tarvix", axis, 134.0, EAlign::Centre,
                Palette::kAccent, 0.75);
    const TextStyle small{EFont::CondensedBold, 7.0, 1.3};
    EngraveText(cr, fonts, small, "TEN-BAND", axis + 0.6, 205.0, EAlign::Centre, Palette::kInkDim,
                0.6);
    EngraveText(cr, fonts, small, "GRAPHIC EQ", axis + 0.6, 215.0, EAlign::Centre, Palette::kInkDim,
                0.6);
}

void SwitchSection(cairo_t* cr, const CFonts& fonts) {
    constexpr double axis = kSwitchAxisX;
    // The key sits in a dark cut-out a little larger than itself.
    constexpr double keyCentreY = kButtonY + kButtonSize / 2.0;
    constexpr double hole = 25.5;
    cairo_new_path(cr);
    RoundedRect(cr, axis - hole + 0.8, keyCentreY - hole + 1.0, 2.0 * hole, 2.0 * hole, 6.0);
    SetColour(cr, Hex(0xFFFFFF, 0.7));
    cairo_fill(cr);
    cairo_new_path(cr);
    RoundedRect(cr, axis - hole, keyCentreY - hole, 2.0 * hole, 2.0 * hole, 6.0);
    PatternPtr cut = LinearGradient(0.0, keyCentreY - hole, 0.0, keyCentreY + hole);
    AddStop(cut.get(), 0.0, Hex(0x0E0F10));
    AddStop(cut.get(), 1.0, Hex(0x2A2C2F));
    cairo_set_source(cr, cut.get());
    cairo_fill(cr);

    // A shallow countersink for the lamp's bezel.
    constexpr double lampCentreY = kLampY + kLampSize / 2.0;
    cairo_new_path(cr);
    cairo_arc(cr, axis, lampCentreY, 18.5, 0.0, 2.0 * M_PI);
    PatternPtr sink =
        LinearGradient(axis - 14.0, lampCentreY - 14.0, axis + 14.0, lampCentreY + 14.0);
    AddStop(sink.get(), 0.0, Hex(0x6E7378));
    AddStop(sink.get(), 1.0, Hex(0xF2F4F5));
    cairo_set_source(cr, sink.get());
    cairo_fill(cr);

    EngraveText(cr, fonts, {EFont::SansBold, 13.0, 1.0}, "IN", axis + 0.5, 211.0, EAlign::Centre,
                Palette::kInk, 0.75);
}

} // namespace

void Brush(cairo_t* cr, std::uint64_t seed, double width, double height, double strength) {
    CRandom random(seed);
    cairo_set_line_width(cr, 1.0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    for (int row = 0; row < static_cast<int>(height); ++row) {
        const double y = row + 0.5;
        for (int stroke = 0; stroke < 9; ++stroke) {
            const double length = random.Range(30.0, width * 0.4);
            const double x = random.Range(-length, width);
            const bool light = random.Next() < 0.5;
            SetColour(cr, Hex(light ? 0xFFFFFF : 0x000000, random.Range(0.2, 1.0) * strength));
            cairo_move_to(cr, x, y);
            cairo_line_to(cr, x + length, y);
            cairo_stroke(cr);
        }
    }
}

SurfacePtr DrawFaceplate(const CFonts& fonts, int scale) {
    SurfacePtr surface = NewSurface(kEditorWidth, kEditorHeight, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();

    BrushedAluminium(cr, kEditorWidth, kEditorHeight);

    // Bevelled plate edge, lit from the upper left.
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, Hex(0xFFFFFF, 0.75));
    cairo_move_to(cr, 0.5, kEditorHeight);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, kEditorWidth, 0.5);
    cairo_stroke(cr);
    SetColour(cr, Hex(0x000000, 0.45));
    cairo_move_to(cr, 1.0, kEditorHeight - 0.5);
    cairo_line_to(cr, kEditorWidth - 0.5, kEditorHeight - 0.5);
    cairo_line_to(cr, kEditorWidth - 0.5, 1.0);
    cairo_stroke(cr);

    FaderWell(cr);
    for (int band = 0; band < kBandCount; ++band)
        ScaleTicks(cr, FaderAxisX(band));
    for (int band = 0; band < kBandCount; ++band)
        FaderSlot(cr, FaderAxisX(band));
    ScaleNumbers(cr, fonts);
    BandNames(cr, fonts);
    Branding(cr, fonts);
    SwitchSection(cr, fonts);

    ScrewHead(cr, 12.0, 12.0, 0.35);
    ScrewHead(cr, 12.0, kEditorHeight - 12.0, 1.1);
    ScrewHead(cr, kEditorWidth - 12.0, 12.0, 0.8);
    ScrewHead(cr, kEditorWidth - 12.0, kEditorHeight - 12.0, 0.2);
    return surface;
}

} // namespace VLM::Art
