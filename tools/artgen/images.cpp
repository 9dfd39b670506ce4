#include "images.h"

#include "emit.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace VLM::Art {

const ImageEntry kImages[] = {
    {"ZEM", "zem.png", 900, 258, EImage::Faceplate},
    {"FADER01[64X18]", "fader01.png", 900, 940, EImage::Fader},
    {"FADER02[64X18]", "fader02.png", 900, 940, EImage::Fader},
    {"FADER03[64X18]", "fader03.png", 900, 940, EImage::Fader},
    {"FADER04[64X18]", "fader04.png", 900, 940, EImage::Fader},
    {"FADER05[64X18]", "fader05.png", 900, 940, EImage::Fader},
    {"FADER06[64X18]", "fader06.png", 900, 940, EImage::Fader},
    {"FADER07[64X18]", "fader07.png", 900, 940, EImage::Fader},
    {"FADER08[64X18]", "fader08.png", 900, 940, EImage::Fader},
    {"FADER09[64X18]", "fader09.png", 900, 940, EImage::Fader},
    {"FADER10[64X18]", "fader10.png", 900, 940, EImage::Fader},
    {"BUTTON[2]", "button.png", 60, 120, EImage::Button},
    {"LAMP[2]", "lamp.png", 50, 100, EImage::Lamp},
    {"KNOB[61X8]", "knob.png", 536, 536, EImage::Knob},
    {"BKGND", "bkgnd.png", 798, 200, EImage::WoodPanel},
    {"METER", "meter.png", 21, 162, EImage::Meter},
};
const std::size_t kImageCount = sizeof(kImages) / sizeof(kImages[0]);

std::string ScaledResourceName(const std::string& name, int scale) {
    if (scale == 1)
        return name;
    const std::size_t bracket = std::min(name.find('['), name.size());
    return name.substr(0, bracket) + "@" + std::to_string(scale) + "X" + name.substr(bracket);
}

std::string ScaledFileName(const std::string& fileName, int scale) {
    if (scale == 1)
        return fileName;
    const std::size_t dot = std::min(fileName.rfind('.'), fileName.size());
    return fileName.substr(0, dot) + "_" + std::to_string(scale) + "x" + fileName.substr(dot);
}

SurfacePtr DrawImage(EImage kind, const CFonts& fonts, int scale) {
    switch (kind) {
    case EImage::Faceplate:
        return DrawFaceplate(fonts, scale);
    case EImage::Fader:
        return DrawFaderStrip(scale);
    case EImage::Button:
        return DrawButton(scale);
    case EImage::Lamp:
        return DrawLamp(scale);
    case EImage::Knob:
        return DrawKnobStrip(scale);
    case EImage::WoodPanel:
        return DrawWoodPanel(fonts, scale);
    case EImage::Meter:
        return DrawMeter(scale);
    }
    throw std::logic_error("unknown image kind");
}

void GenerateAll(const std::string& dir) {
    std::filesystem::create_directories(dir);
    const CFonts fonts;
    // The ten fader strips are one drawing; it is drawn and encoded once per scale, written
    // ten times. The 1x set comes first, so that its part of the tables reads as it always did.
    // The native table keeps one copy of them.
    std::map<std::pair<EImage, int>, std::vector<unsigned char>> encoded;
    std::map<std::pair<EImage, int>, std::string> firstFiles;
    std::vector<EmbeddedFile> files;
    for (const int scale : kScales) {
        for (std::size_t i = 0; i < kImageCount; ++i) {
            const ImageEntry& image = kImages[i];
            const std::string fileName = ScaledFileName(image.fileName, scale);
            std::vector<unsigned char>& png = encoded[{image.kind, scale}];
            std::string& firstFile = firstFiles[{image.kind, scale}];
            const std::string sameBytesAs = firstFile;
            if (firstFile.empty()) {
                firstFile = fileName;
            }
            if (png.empty()) {
                SurfacePtr surface = DrawImage(image.kind, fonts, scale);
                if (cairo_image_surface_get_width(surface.get()) != image.width * scale ||
                    cairo_image_surface_get_height(surface.get()) != image.height * scale)
                    throw std::logic_error(fileName + " was drawn at the wrong size");
                png = EncodePng(surface.get());
            }
            WriteBinaryFile(dir + "/" + fileName, png);
            files.push_back(
                {ScaledResourceName(image.resourceName, scale), fileName, png.size(), sameBytesAs});
        }
    }
    WriteTextFile(dir + "/vlm.rc", ResourceScript(files));
    WriteTextFile(dir + "/embedded_table.cpp", EmbeddedTable(files));
    WriteTextFile(dir + "/embedded.h", EmbeddedHeader());
}

} // namespace VLM::Art
