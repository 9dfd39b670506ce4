#pragma once

#include "canvas.h"

#include <cstdint>

namespace VLM::Art {

// One palette for every image, so that the faceplate and the controls read as one object
// lit from the upper left.
namespace Palette {
const Rgba kAluminiumTop = Hex(0xD5D8DB);
const Rgba kAluminiumBottom = Hex(0xA9AEB3);
const Rgba kWellTop = Hex(0x2C2F33);
const Rgba kWellBottom = Hex(0x1B1D20);
const Rgba kLegendBright = Hex(0xF1F3F5);
const Rgba kLegend = Hex(0xC9CED3);
const Rgba kLegendDim = Hex(0x8E959C);
const Rgba kInk = Hex(0x26292D);
const Rgba kInkDim = Hex(0x4A5056);
const Rgba kAccent = Hex(0xB3261E);
const Rgba kCapBody = Hex(0x1D1F22);
const Rgba kIndex = Hex(0xF4F4F2);
} // namespace Palette

// Fine horizontal grain of brushed metal: faint light and dark strokes along every row.
void Brush(cairo_t* cr, std::uint64_t seed, double width, double height, double strength);

} // namespace VLM::Art
