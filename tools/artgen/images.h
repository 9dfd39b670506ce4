#pragma once

#include "canvas.h"

#include <cstddef>
#include <string>

namespace VLM::Art {

enum class EImage { Faceplate, Fader, Button, Lamp, Knob, WoodPanel, Meter };

// One image of the library: its resource name (upper case; the plug-in finds it without
// regard to case), the PNG file under resources/, its size in layout pixels and what is drawn
// into it. Each is drawn at every factor of kScales.
struct ImageEntry {
    const char* resourceName;
    const char* fileName;
    int width;
    int height;
    EImage kind;
};

extern const ImageEntry kImages[];
extern const std::size_t kImageCount;

// Device pixels per layout pixel of the two sets: the 1x images and their twins for
// high-density screens, drawn at twice the resolution.
constexpr int kScales[] = {1, 2};

// The names of an image's twin at `scale`; at 1 the names themselves. The resource name takes
// "@2X" before the filmstrip bracket, so the frame layout reads as the 1x image's:
// "FADER01[64X18]" -> "FADER01@2X[64X18]", "ZEM" -> "ZEM@2X". The file takes "_2x", which the
// resource compiler reads as part of a bare file name ('@' would end it):
// "fader01.png" -> "fader01_2x.png".
std::string ScaledResourceName(const std::string& name, int scale);
std::string ScaledFileName(const std::string& fileName, int scale);

// Each drawing is width x height layout pixels at `scale` device pixels to each.
SurfacePtr DrawFaceplate(const CFonts& fonts, int scale);
SurfacePtr DrawFaderStrip(int scale);
SurfacePtr DrawButton(int scale);
SurfacePtr DrawLamp(int scale);
SurfacePtr DrawKnobStrip(int scale);
SurfacePtr DrawWoodPanel(const CFonts& fonts, int scale);
SurfacePtr DrawMeter(int scale);

SurfacePtr DrawImage(EImage kind, const CFonts& fonts, int scale = 1);

// Draws every image at every scale into dir and writes the resource script and the native table
// beside them.
void GenerateAll(const std::string& dir);

} // namespace VLM::Art
