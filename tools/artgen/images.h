#pragma once

#include "canvas.h"

#include <cstddef>
#include <string>

namespace VLM::Art {

enum class EImage { Faceplate, Fader, Button, Lamp, Knob, WoodPanel, Meter };

// One image of the library: its resource name (upper case; the plug-in finds it without
// regard to case), the PNG file under resources/, its size and what is drawn into it.
struct ImageEntry {
    const char* resourceName;
    const char* fileName;
    int width;
    int height;
    EImage kind;
};

extern const ImageEntry kImages[];
extern const std::size_t kImageCount;

SurfacePtr DrawFaceplate(const CFonts& fonts);
SurfacePtr DrawFaderStrip();
SurfacePtr DrawButton();
SurfacePtr DrawLamp();
SurfacePtr DrawKnobStrip();
SurfacePtr DrawWoodPanel(const CFonts& fonts);
SurfacePtr DrawMeter();

SurfacePtr DrawImage(EImage kind, const CFonts& fonts);

// Draws every image into dir and writes the resource script and the native table beside them.
void GenerateAll(const std::string& dir);

} // namespace VLM::Art
