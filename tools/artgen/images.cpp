#include "images.h"

#include "emit.h"

#include <filesystem>
#include <map>
#include <stdexcept>
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

SurfacePtr DrawImage(EImage kind, const CFonts& fonts) {
    switch (kind) {
    case EImage::Faceplate:
        return DrawFaceplate(fonts);
    case EImage::Fader:
        return DrawFaderStrip();
    case EImage::Button:
        return DrawButton();
    case EImage::Lamp:
        return DrawLamp();
    case EImage::Knob:
        return DrawKnobStrip();
    case EImage::WoodPanel:
        return DrawWoodPanel(fonts);
    case EImage::Meter:
        return DrawMeter();
    }
    throw std::logic_error("unknown image kind");
}

void GenerateAll(const std::string& dir) {
    std::filesystem::create_directories(dir);
    const CFonts fonts;
    // The ten fader strips are one drawing; it is drawn and encoded once, written ten times.
    std::map<EImage, std::vector<unsigned char>> encoded;
    std::vector<EmbeddedFile> files;
    for (std::size_t i = 0; i < kImageCount; ++i) {
        const ImageEntry& image = kImages[i];
        std::vector<unsigned char>& png = encoded[image.kind];
        if (png.empty()) {
            SurfacePtr surface = DrawImage(image.kind, fonts);
            if (cairo_image_surface_get_width(surface.get()) != image.width ||
                cairo_image_surface_get_height(surface.get()) != image.height)
                throw std::logic_error(std::string(image.fileName) +
                                       " was drawn at the wrong size");
            png = EncodePng(surface.get());
        }
        WriteBinaryFile(dir + "/" + image.fileName, png);
        files.push_back({image.resourceName, image.fileName, png.size()});
    }
    WriteTextFile(dir + "/vlm.rc", ResourceScript(files));
    WriteTextFile(dir + "/embedded_table.cpp", EmbeddedTable(files));
    WriteTextFile(dir + "/embedded.h", EmbeddedHeader());
}

} // namespace VLM::Art
