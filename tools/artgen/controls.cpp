#include "images.h"
#include "layout.h"
#include "palette.h"

#include <cmath>

namespace VLM::Art {

namespace {

constexpr double kDegree = M_PI / 180.0;

void ClipToFrame(cairo_t* cr, FrameOrigin origin, double width, double height) {
    cairo_new_path(cr);
    cairo_rectangle(cr, origin.x, origin.y, width, height);
    cairo_clip(cr);
}

// A console fader cap seen from above: a dark body whose top is dished towards the white
// index line, with grip ridges on both slopes.
void FaderCap(cairo_t* cr, double cx, double cy) {
    const double left = cx - kCapWidth / 2.0;
    const double top = cy - kCapHeight / 2.0;

    SoftShadow(cr, left + 1.5, top + 3.0, kCapWidth, kCapHeight, 4.0, 2.5, 0.6);

    cairo_new_path(cr);
    RoundedRect(cr, left, top, kCapWidth, kCapHeight, 3.5);
    PatternPtr body = LinearGradient(0.0, top, 0.0, top + kCapHeight);
    AddStop(body.get(), 0.0, Hex(0x4A4D52));
    AddStop(body.get(), 0.5, Palette::kCapBody);
    AddStop(body.get(), 1.0, Hex(0x101113));
    cairo_set_source(cr, body.get());
    cairo_fill(cr);

    const double faceLeft = left + 2.0;
    const double faceTop = top + 2.0;
    const double faceWidth = kCapWidth - 4.0;
    const double faceHeight = kCapHeight - 4.0;
    cairo_new_path(cr);
    RoundedRect(cr, faceLeft, faceTop, faceWidth, faceHeight, 2.5);
    PatternPtr face = LinearGradient(0.0, faceTop, 0.0, faceTop + faceHeight);
    AddStop(face.get(), 0.0, Hex(0x63676C));
    AddStop(face.get(), 0.22, Hex(0x3C3F43));
    AddStop(face.get(), 0.5, Hex(0x17181A));
    AddStop(face.get(), 0.78, Hex(0x2E3034));
    AddStop(face.get(), 1.0, Hex(0x44474B));
    cairo_set_source(cr, face.get());
    cairo_fill(cr);

    // Side shading: the face rounds off to the left and right.
    cairo_new_path(cr);
    RoundedRect(cr, faceLeft, faceTop, faceWidth, faceHeight, 2.5);
    PatternPtr sides = LinearGradient(faceLeft, 0.0, faceLeft + faceWidth, 0.0);
    AddStop(sides.get(), 0.0, Hex(0xFFFFFF, 0.10));
    AddStop(sides.get(), 0.15, Hex(0xFFFFFF, 0.0));
    AddStop(sides.get(), 0.85, Hex(0x000000, 0.0));
    AddStop(sides.get(), 1.0, Hex(0x000000, 0.25));
    cairo_set_source(cr, sides.get());
    cairo_fill(cr);

    cairo_set_line_width(cr, 1.0);
    for (const double offset : {6.0, 9.5, 13.0}) {
        for (const double side : {-1.0, 1.0}) {
            const double y = cy + side * offset;
            SetColour(cr, Hex(0x000000, 0.55));
            cairo_move_to(cr, faceLeft + 2.0, y - 0.5);
            cairo_line_to(cr, faceLeft + faceWidth - 2.0, y - 0.5);
            cairo_stroke(cr);
            SetColour(cr, Hex(0xFFFFFF, 0.13));
            cairo_move_to(cr, faceLeft + 2.0, y + 0.5);
            cairo_line_to(cr, faceLeft + faceWidth - 2.0, y + 0.5);
            cairo_stroke(cr);
        }
    }

    cairo_new_path(cr);
    cairo_rectangle(cr, faceLeft + 1.0, cy - 1.1, faceWidth - 2.0, 2.2);
    SetColour(cr, Palette::kIndex);
    cairo_fill(cr);

    // Rim: lit along the top edge, dark along the bottom.
    cairo_new_path(cr);
    RoundedRect(cr, left + 0.5, top + 0.5, kCapWidth - 1.0, kCapHeight - 1.0, 3.0);
    PatternPtr rim = LinearGradient(0.0, top, 0.0, top + kCapHeight);
    AddStop(rim.get(), 0.0, Hex(0xFFFFFF, 0.35));
    AddStop(rim.get(), 0.5, Hex(0xFFFFFF, 0.05));
    AddStop(rim.get(), 1.0, Hex(0x000000, 0.5));
    cairo_set_source(cr, rim.get());
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

// A square key seen from above and a little in front: when out, its lit top stands over a
// visible front edge; when in, it has sunk into its cut-out and the rim shades its top.
void Key(cairo_t* cr, double cx, double cy, bool pressed) {
    constexpr double size = 44.0;
    constexpr double travel = 3.0;
    const double left = cx - size / 2.0;
    const double top = cy - size / 2.0 + (pressed ? travel : 0.0);
    const double height = size - (pressed ? travel : 0.0);
    if (pressed)
        SoftShadow(cr, left + 0.3, top + 0.5, size, height, 5.0, 1.0, 0.5);
    else
        SoftShadow(cr, left + 1.2, top + 2.5, size, height, 5.0, 2.5, 0.65);

    cairo_new_path(cr);
    RoundedRect(cr, left, top, size, height, 5.0);
    PatternPtr body = LinearGradient(0.0, top, 0.0, top + height);
    AddStop(body.get(), 0.0, pressed ? Hex(0x2E3034) : Hex(0x54585D));
    AddStop(body.get(), 1.0, Hex(0x0C0D0E));
    cairo_set_source(cr, body.get());
    cairo_fill(cr);

    // The key's top; its front edge shows below it only while the key stands out.
    const double faceLeft = left + 2.5;
    const double faceTop = top + 1.5;
    const double faceWidth = size - 5.0;
    const double faceHeight = height - (pressed ? 3.5 : 7.0);
    cairo_new_path(cr);
    RoundedRect(cr, faceLeft, faceTop, faceWidth, faceHeight, 3.5);
    PatternPtr face = LinearGradient(0.0, faceTop, 0.0, faceTop + faceHeight);
    AddStop(face.get(), 0.0, pressed ? Hex(0x25272A) : Hex(0x4D5156));
    AddStop(face.get(), 1.0, pressed ? Hex(0x1E2023) : Hex(0x2C2F33));
    cairo_set_source(cr, face.get());
    cairo_fill(cr);

    // A shallow finger dish in the top.
    const double dishY = faceTop + faceHeight / 2.0;
    cairo_new_path(cr);
    cairo_arc(cr, cx, dishY, 12.5, 0.0, 2.0 * M_PI);
    PatternPtr dish = LinearGradient(0.0, dishY - 12.5, 0.0, dishY + 12.5);
    AddStop(dish.get(), 0.0, Hex(0x000000, pressed ? 0.30 : 0.28));
    AddStop(dish.get(), 1.0, Hex(0xFFFFFF, pressed ? 0.05 : 0.12));
    cairo_set_source(cr, dish.get());
    cairo_fill(cr);

    cairo_new_path(cr);
    RoundedRect(cr, faceLeft + 0.5, faceTop + 0.5, faceWidth - 1.0, faceHeight - 1.0, 3.0);
    SetColour(cr, Hex(0xFFFFFF, pressed ? 0.08 : 0.30));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    if (pressed) {
        // The rim of the cut-out shades the upper part of the sunken key.
        cairo_new_path(cr);
        RoundedRect(cr, left, top, size, height, 5.0);
        PatternPtr shade = LinearGradient(0.0, top, 0.0, top + 10.0);
        AddStop(shade.get(), 0.0, Hex(0x000000, 0.6));
        AddStop(shade.get(), 1.0, Hex(0x000000, 0.0));
        cairo_set_source(cr, shade.get());
        cairo_fill(cr);
    }
}

void Lamp(cairo_t* cr, double cx, double cy, bool lit) {
    constexpr double bezel = 15.0;
    constexpr double ring = 12.2;
    constexpr double lens = 11.0;
    if (lit) {
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, 22.0, 0.0, 2.0 * M_PI);
        PatternPtr glow = RadialGradient(cx, cy, lens, cx, cy, 22.0);
        AddStop(glow.get(), 0.0, Hex(0xFF3B22, 0.55));
        AddStop(glow.get(), 0.5, Hex(0xFF2A14, 0.18));
        AddStop(glow.get(), 1.0, Hex(0xFF2010, 0.0));
        cairo_set_source(cr, glow.get());
        cairo_fill(cr);
    }

    SoftCircleShadow(cr, cx + 0.8, cy + 1.5, bezel - 0.5, 2.0, 0.5);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, bezel, 0.0, 2.0 * M_PI);
    PatternPtr chrome = LinearGradient(cx - bezel, cy - bezel, cx + bezel, cy + bezel);
    AddStop(chrome.get(), 0.0, Hex(0xFAFBFC));
    AddStop(chrome.get(), 0.45, Hex(0xA7ACB1));
    AddStop(chrome.get(), 0.55, Hex(0x8C9196));
    AddStop(chrome.get(), 1.0, Hex(0x4B4F53));
    cairo_set_source(cr, chrome.get());
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, ring, 0.0, 2.0 * M_PI);
    PatternPtr inner = LinearGradient(cx - ring, cy - ring, cx + ring, cy + ring);
    AddStop(inner.get(), 0.0, Hex(0x3E4246));
    AddStop(inner.get(), 1.0, Hex(0xE3E6E8));
    cairo_set_source(cr, inner.get());
    cairo_fill(cr);

    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, lens, 0.0, 2.0 * M_PI);
    PatternPtr glass = RadialGradient(cx - 2.5, cy - 2.5, 0.5, cx, cy, lens);
    if (lit) {
        AddStop(glass.get(), 0.0, Hex(0xFFF4EC));
        AddStop(glass.get(), 0.3, Hex(0xFF7A5A));
        AddStop(glass.get(), 0.75, Hex(0xF0200E));
        AddStop(glass.get(), 1.0, Hex(0xA50C05));
    } else {
        AddStop(glass.get(), 0.0, Hex(0x7A1A14));
        AddStop(glass.get(), 0.55, Hex(0x470A07));
        AddStop(glass.get(), 1.0, Hex(0x1E0403));
    }
    cairo_set_source(cr, glass.get());
    cairo_fill(cr);

    // Specular reflection of the light on the dome.
    cairo_save(cr);
    cairo_translate(cr, cx - 3.5, cy - 4.5);
    cairo_scale(cr, 1.0, 0.62);
    cairo_new_path(cr);
    cairo_arc(cr, 0.0, 0.0, 5.0, 0.0, 2.0 * M_PI);
    cairo_restore(cr);
    PatternPtr shine = RadialGradient(cx - 3.5, cy - 5.0, 0.0, cx - 3.5, cy - 4.5, 5.0);
    AddStop(shine.get(), 0.0, Hex(0xFFFFFF, lit ? 0.75 : 0.45));
    AddStop(shine.get(), 1.0, Hex(0xFFFFFF, 0.0));
    cairo_set_source(cr, shine.get());
    cairo_fill(cr);
}

void Knob(cairo_t* cr, double cx, double cy, double angleDegrees) {
    constexpr double skirt = 24.0;
    constexpr double cap = 18.5;
    const double angle = angleDegrees * kDegree;

    SoftCircleShadow(cr, cx + 1.5, cy + 2.5, skirt - 1.0, 3.5, 0.55);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, skirt, 0.0, 2.0 * M_PI);
    PatternPtr body = LinearGradient(cx - skirt, cy - skirt, cx + skirt, cy + skirt);
    AddStop(body.get(), 0.0, Hex(0x505459));
    AddStop(body.get(), 1.0, Hex(0x0F1012));
    cairo_set_source(cr, body.get());
    cairo_fill(cr);

    // Knurling on the skirt turns with the knob.
    cairo_set_line_width(cr, 1.0);
    for (int i = 0; i < 48; ++i) {
        const double a = angle + i * (2.0 * M_PI / 48.0);
        const double sx = std::sin(a);
        const double sy = -std::cos(a);
        cairo_move_to(cr, cx + sx * (cap + 1.5), cy + sy * (cap + 1.5));
        cairo_line_to(cr, cx + sx * (skirt - 0.5), cy + sy * (skirt - 0.5));
    }
    SetColour(cr, Hex(0x000000, 0.45));
    cairo_stroke(cr);

    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, cap, 0.0, 2.0 * M_PI);
    PatternPtr top = LinearGradient(cx - cap, cy - cap, cx + cap, cy + cap);
    AddStop(top.get(), 0.0, Hex(0x6C7076));
    AddStop(top.get(), 0.5, Hex(0x34373B));
    AddStop(top.get(), 1.0, Hex(0x1B1C1F));
    cairo_set_source(cr, top.get());
    cairo_fill_preserve(cr);
    PatternPtr sheen = RadialGradient(cx - 6.0, cy - 7.0, 1.0, cx, cy, cap);
    AddStop(sheen.get(), 0.0, Hex(0xFFFFFF, 0.22));
    AddStop(sheen.get(), 1.0, Hex(0xFFFFFF, 0.0));
    cairo_set_source(cr, sheen.get());
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, Hex(0x000000, 0.6));
    cairo_stroke(cr);

    const double dx = std::sin(angle);
    const double dy = -std::cos(angle);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2.6);
    SetColour(cr, Palette::kIndex);
    cairo_move_to(cr, cx + dx * 6.0, cy + dy * 6.0);
    cairo_line_to(cr, cx + dx * 16.5, cy + dy * 16.5);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, cx + dx * 20.0, cy + dy * 20.0);
    cairo_line_to(cr, cx + dx * 23.0, cy + dy * 23.0);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

} // namespace

SurfacePtr DrawFaderStrip(int scale) {
    const int rows = (kFaderFrames + kFaderColumns - 1) / kFaderColumns;
    SurfacePtr surface =
        NewSurface(kFaderColumns * kFaderFrameWidth, rows * kFaderFrameHeight, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();
    for (int frame = 0; frame < kFaderFrames; ++frame) {
        const FrameOrigin origin =
            FrameAt(frame, kFaderColumns, kFaderFrameWidth, kFaderFrameHeight);
        cairo_save(cr);
        ClipToFrame(cr, origin, kFaderFrameWidth, kFaderFrameHeight);
        FaderCap(cr, origin.x + kFaderFrameWidth / 2.0, origin.y + CapCentreInFrame(frame));
        cairo_restore(cr);
    }
    return surface;
}

SurfacePtr DrawButton(int scale) {
    SurfacePtr surface = NewSurface(kButtonSize, 2 * kButtonSize, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();
    for (int frame = 0; frame < 2; ++frame) {
        const FrameOrigin origin = FrameAt(frame, 1, kButtonSize, kButtonSize);
        cairo_save(cr);
        ClipToFrame(cr, origin, kButtonSize, kButtonSize);
        Key(cr, origin.x + kButtonSize / 2.0, origin.y + kButtonSize / 2.0, frame == 1);
        cairo_restore(cr);
    }
    return surface;
}

SurfacePtr DrawLamp(int scale) {
    SurfacePtr surface = NewSurface(kLampSize, 2 * kLampSize, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();
    // The lamp's frame is narrower than the key's and further right; its centre is moved
    // so that lamp and key share one axis on the faceplate.
    const double centreX = kSwitchAxisX - kLampX;
    for (int frame = 0; frame < 2; ++frame) {
        const FrameOrigin origin = FrameAt(frame, 1, kLampSize, kLampSize);
        cairo_save(cr);
        ClipToFrame(cr, origin, kLampSize, kLampSize);
        Lamp(cr, origin.x + centreX, origin.y + kLampSize / 2.0, frame == 1);
        cairo_restore(cr);
    }
    return surface;
}

SurfacePtr DrawKnobStrip(int scale) {
    const int rows = (kKnobFrames + kKnobColumns - 1) / kKnobColumns;
    SurfacePtr surface = NewSurface(kKnobColumns * kKnobFrameSize, rows * kKnobFrameSize, scale);
    ContextPtr context = NewContext(surface.get(), scale);
    cairo_t* cr = context.get();
    for (int frame = 0; frame < kKnobFrames; ++frame) {
        const FrameOrigin origin = FrameAt(frame, kKnobColumns, kKnobFrameSize, kKnobFrameSize);
        cairo_save(cr);
        ClipToFrame(cr, origin, kKnobFrameSize, kKnobFrameSize);
        Knob(cr, origin.x + kKnobFrameSize / 2.0, origin.y + kKnobFrameSize / 2.0,
             KnobAngleDegrees(frame));
        cairo_restore(cr);
    }
    return surface;
}

} // namespace VLM::Art
