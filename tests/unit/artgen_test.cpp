#include "emit.h"
#include "images.h"
#include "layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace VLM::Art;

struct Pixel {
    int r;
    int g;
    int b;
    int a;
};

// Straight-alpha RGBA of one drawn image, as it goes into its PNG file.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba;

    Pixel At(int x, int y) const {
        const unsigned char* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

const Image& Drawn(EImage kind, int scale = 1) {
    static const CFonts fonts;
    static std::map<std::pair<EImage, int>, Image> cache;
    auto found = cache.find({kind, scale});
    if (found == cache.end()) {
        SurfacePtr surface = DrawImage(kind, fonts, scale);
        Image image;
        image.width = cairo_image_surface_get_width(surface.get());
        image.height = cairo_image_surface_get_height(surface.get());
        image.rgba = StraightRgba(surface.get());
        found = cache.emplace(std::make_pair(kind, scale), std::move(image)).first;
    }
    return found->second;
}

// Rows [first, last] of a column whose alpha reaches the threshold; first > last if none.
void OpaqueSpan(const Image& image, int x, int top, int bottom, int threshold, int& first,
                int& last) {
    first = bottom + 1;
    last = top - 1;
    for (int y = top; y <= bottom; ++y) {
        if (image.At(x, y).a >= threshold) {
            first = std::min(first, y);
            last = y;
        }
    }
}

int Luminance(Pixel p) {
    return (p.r * 3 + p.g * 6 + p.b) / 10;
}

std::vector<unsigned char> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path NewTempDir(const char* tag) {
    std::string pattern = (std::filesystem::temp_directory_path() / tag).string() + "-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << "expected a fresh temporary directory from " << pattern;
    return made != nullptr ? std::filesystem::path(made) : std::filesystem::path();
}

TEST(Layout, ScaleMarksStandWhereTheCapsShowThoseGains) {
    EXPECT_DOUBLE_EQ(ScaleMarkY(-12.0), 202.5);
    EXPECT_DOUBLE_EQ(ScaleMarkY(12.0), 57.5);
    EXPECT_DOUBLE_EQ(ScaleMarkY(0.0), 130.0) << "0 dB lies between frames 31 and 32";
    EXPECT_EQ(FaderFrameForValue(0.25), 15);
    EXPECT_EQ(FaderFrameForValue(0.75), 47);
    EXPECT_DOUBLE_EQ(ScaleMarkY(-6.0), kFaderY + CapCentreInFrame(15));
    EXPECT_DOUBLE_EQ(ScaleMarkY(6.0), kFaderY + CapCentreInFrame(47));
}

TEST(Layout, KnobPointerSweepsFromMinusToPlus135Degrees) {
    EXPECT_DOUBLE_EQ(KnobAngleDegrees(0), -135.0);
    EXPECT_DOUBLE_EQ(KnobAngleDegrees(30), 0.0);
    EXPECT_DOUBLE_EQ(KnobAngleDegrees(60), 135.0);
}

TEST(ImageList, EveryFilmstripIsAWholeGridOfItsFrames) {
    struct Expected {
        int frameWidth;
        int frameHeight;
    };
    const std::map<std::string, Expected> frames = {
        {"[64X18]", {50, 235}}, {"[2]", {-1, -1}}, {"[61X8]", {67, 67}}};
    for (std::size_t i = 0; i < kImageCount; ++i) {
        const std::string name = kImages[i].resourceName;
        const std::size_t open = name.rfind('[');
        if (open == std::string::npos)
            continue;
        const int count = std::atoi(name.c_str() + open + 1);
        const std::size_t cross = name.find('X', open);
        const int columns = cross == std::string::npos ? 1 : std::atoi(name.c_str() + cross + 1);
        const int rows = (count + columns - 1) / columns;
        EXPECT_EQ(kImages[i].width % columns, 0) << name << ": width " << kImages[i].width;
        EXPECT_EQ(kImages[i].height % rows, 0) << name << ": height " << kImages[i].height;
        const Expected expected = frames.at(name.substr(open));
        if (expected.frameWidth > 0) {
            EXPECT_EQ(kImages[i].width / columns, expected.frameWidth) << name;
            EXPECT_EQ(kImages[i].height / rows, expected.frameHeight) << name;
        }
    }
}

TEST(ImageList, NamesAreUpperCaseAndFilesLowerCase) {
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < kImageCount; ++i) {
        const std::string name = kImages[i].resourceName;
        const std::string file = kImages[i].fileName;
        for (char c : name)
            EXPECT_FALSE(c >= 'a' && c <= 'z') << "resource name " << name << " has lower case";
        std::string expectedFile;
        for (char c : name.substr(0, name.find('[')))
            expectedFile += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        EXPECT_EQ(file, expectedFile + ".png");
        EXPECT_EQ(++seen[name], 1) << name << " is listed twice";
    }
    EXPECT_EQ(kImageCount, 16u);
}

TEST(ImageList, TwinsTakeTheScaleBeforeTheFilmstripBracket) {
    EXPECT_EQ(ScaledResourceName("FADER01[64X18]", 2), "FADER01@2X[64X18]");
    EXPECT_EQ(ScaledResourceName("ZEM", 2), "ZEM@2X");
    EXPECT_EQ(ScaledResourceName("ZEM", 1), "ZEM");
    EXPECT_EQ(ScaledFileName("fader01.png", 2), "fader01_2x.png");
    EXPECT_EQ(ScaledFileName("fader01.png", 1), "fader01.png");
}

// Mean over the rows of the summed squared luminance steps between opaque neighbours. A sharp
// edge keeps its full step at any resolution; an image enlarged by interpolation halves it.
double EdgeEnergy(const Image& image) {
    double energy = 0.0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 1; x < image.width; ++x) {
            if (image.At(x, y).a == 255 && image.At(x - 1, y).a == 255) {
                const double step = Luminance(image.At(x, y)) - Luminance(image.At(x - 1, y));
                energy += step * step;
            }
        }
    }
    return energy / image.height;
}

// The 2x twin is the same drawing rendered at finer pixels: each 2 x 2 block averages to about
// its 1x pixel; the blocks are not flat, as those of a pixel-doubled image would be; and the
// edges are as sharp as at 1x (an interpolated enlargement gives about a third of the energy).
TEST(Twins, AreTheSameDrawingRenderedAtTwiceTheResolution) {
    for (const EImage kind : {EImage::Faceplate, EImage::Knob, EImage::Fader}) {
        const Image& one = Drawn(kind);
        const Image& two = Drawn(kind, 2);
        ASSERT_EQ(two.width, 2 * one.width);
        ASSERT_EQ(two.height, 2 * one.height);
        long difference = 0;
        long detailed = 0;
        long covered = 0;
        for (int y = 0; y < one.height; ++y) {
            for (int x = 0; x < one.width; ++x) {
                const Pixel q[4] = {two.At(2 * x, 2 * y), two.At(2 * x + 1, 2 * y),
                                    two.At(2 * x, 2 * y + 1), two.At(2 * x + 1, 2 * y + 1)};
                const int alpha = (q[0].a + q[1].a + q[2].a + q[3].a + 2) / 4;
                difference += std::abs(alpha - one.At(x, y).a);
                if (one.At(x, y).a == 255 && alpha == 255) {
                    ++covered;
                    const int l = Luminance(q[0]);
                    difference +=
                        std::abs((l + Luminance(q[1]) + Luminance(q[2]) + Luminance(q[3])) / 4 -
                                 Luminance(one.At(x, y)));
                    for (int k = 1; k < 4; ++k) {
                        if (std::abs(Luminance(q[k]) - l) > 2) {
                            ++detailed;
                            break;
                        }
                    }
                }
            }
        }
        const double pixels = static_cast<double>(one.width) * one.height;
        EXPECT_LT(static_cast<double>(difference) / pixels, 2.0)
            << "image " << static_cast<int>(kind) << ": mean difference to the 1x drawing";
        EXPECT_GT(static_cast<double>(detailed) / static_cast<double>(covered), 0.05)
            << "image " << static_cast<int>(kind) << ": the 2x pixels look doubled";
        EXPECT_GT(EdgeEnergy(two) / EdgeEnergy(one), 0.7)
            << "image " << static_cast<int>(kind) << ": the 2x edges look interpolated";
    }
}

TEST(FaderStrip, CapCentreSitsAtItsFrameHeight) {
    const Image& strip = Drawn(EImage::Fader);
    for (int frame = 0; frame < kFaderFrames; ++frame) {
        const FrameOrigin o = FrameAt(frame, kFaderColumns, kFaderFrameWidth, kFaderFrameHeight);
        const int axis = o.x + kFaderFrameWidth / 2;
        int first = 0;
        int last = 0;
        OpaqueSpan(strip, axis, o.y, o.y + kFaderFrameHeight - 1, 192, first, last);
        ASSERT_LE(first, last) << "frame " << frame << " has no cap";
        const double centre = (first + last + 1) / 2.0 - o.y;
        EXPECT_NEAR(centre, CapCentreInFrame(frame), 0.75)
            << "frame " << frame << ": cap spans rows " << first - o.y << " to " << last - o.y;
        EXPECT_NEAR(last + 1 - first, kCapHeight, 1.0) << "frame " << frame;

        // The index line is the brightest row of the cap and crosses its centre.
        int brightest = first;
        for (int y = first; y <= last; ++y)
            if (Luminance(strip.At(axis, y)) > Luminance(strip.At(axis, brightest)))
                brightest = y;
        EXPECT_NEAR(brightest + 0.5 - o.y, CapCentreInFrame(frame), 1.0)
            << "frame " << frame << ": index line at row " << brightest - o.y;
    }
}

TEST(FaderStrip, CapIsCentredAcrossItsFrame) {
    const Image& strip = Drawn(EImage::Fader);
    for (const int frame : {0, 17, 18, 31, 32, 63}) {
        const FrameOrigin o = FrameAt(frame, kFaderColumns, kFaderFrameWidth, kFaderFrameHeight);
        const int row = o.y + static_cast<int>(CapCentreInFrame(frame)) - 6;
        int left = o.x + kFaderFrameWidth;
        int right = o.x - 1;
        for (int x = o.x; x < o.x + kFaderFrameWidth; ++x) {
            if (strip.At(x, row).a >= 192) {
                left = std::min(left, x);
                right = x;
            }
        }
        EXPECT_DOUBLE_EQ((left + right + 1) / 2.0 - o.x, kFaderFrameWidth / 2.0)
            << "frame " << frame << ": cap spans columns " << left - o.x << " to " << right - o.x;
    }
}

TEST(FaderStrip, NothingReachesTheFrameEdgesOrTheUnusedCells) {
    const Image& strip = Drawn(EImage::Fader);
    const int cells = strip.width / kFaderFrameWidth * (strip.height / kFaderFrameHeight);
    for (int cell = 0; cell < cells; ++cell) {
        const FrameOrigin o = FrameAt(cell, kFaderColumns, kFaderFrameWidth, kFaderFrameHeight);
        int worst = 0;
        for (int y = o.y; y < o.y + kFaderFrameHeight; ++y) {
            for (int x = o.x; x < o.x + kFaderFrameWidth; ++x) {
                const bool edge = x == o.x || x == o.x + kFaderFrameWidth - 1 || y == o.y ||
                                  y == o.y + kFaderFrameHeight - 1;
                if (edge || cell >= kFaderFrames)
                    worst = std::max(worst, strip.At(x, y).a);
            }
        }
        EXPECT_EQ(worst, 0) << (cell >= kFaderFrames ? "unused cell " : "edge of frame ") << cell
                            << " has alpha " << worst;
    }
}

TEST(Faceplate, IsOpaqueEverywhere) {
    const Image& plate = Drawn(EImage::Faceplate);
    ASSERT_EQ(plate.width, kEditorWidth);
    ASSERT_EQ(plate.height, kEditorHeight);
    for (int y = 0; y < plate.height; ++y)
        for (int x = 0; x < plate.width; ++x)
            ASSERT_EQ(plate.At(x, y).a, 255) << "pixel " << x << ", " << y;
}

TEST(Faceplate, ScaleTicksLieOnTheMarkHeights) {
    const Image& plate = Drawn(EImage::Faceplate);
    for (int band = 0; band < kBandCount; ++band) {
        // Just outside the slot, where every tick is drawn and no cap covers the plate.
        const int x = kFaderX[band] + kFaderFrameWidth / 2 + 9;
        for (int step = -4; step <= 4; ++step) {
            const double mark = ScaleMarkY(3.0 * step);
            const int row = static_cast<int>(std::floor(mark));
            const int tick = Luminance(plate.At(x, row));
            const int above = Luminance(plate.At(x, row - 4));
            const int below = Luminance(plate.At(x, row + 4));
            EXPECT_GT(tick, above + 40) << "band " << band << ", " << 3 * step << " dB at row "
                                        << row << ": tick " << tick << ", 4 rows up " << above;
            EXPECT_GT(tick, below + 40) << "band " << band << ", " << 3 * step << " dB at row "
                                        << row << ": tick " << tick << ", 4 rows down " << below;
        }
    }
}

TEST(Button, PressedKeySitsLowerThanTheKeyOut) {
    const Image& button = Drawn(EImage::Button);
    const int axis = kButtonSize / 2;
    int upFirst = 0;
    int upLast = 0;
    int downFirst = 0;
    int downLast = 0;
    OpaqueSpan(button, axis, 0, kButtonSize - 1, 250, upFirst, upLast);
    OpaqueSpan(button, axis, kButtonSize, 2 * kButtonSize - 1, 250, downFirst, downLast);
    ASSERT_LE(upFirst, upLast) << "frame 0 has no key";
    ASSERT_LE(downFirst, downLast) << "frame 1 has no key";
    EXPECT_GT(downFirst - kButtonSize, upFirst)
        << "the pressed key's top edge should be lower than the raised key's";
    EXPECT_LT(Luminance(button.At(axis, downFirst + 8)), Luminance(button.At(axis, upFirst + 8)))
        << "the pressed key's top should be in shade";
}

TEST(Lamp, LitFrameGlowsOnTheButtonAxis) {
    const Image& lamp = Drawn(EImage::Lamp);
    const int centreX = static_cast<int>(kSwitchAxisX) - kLampX;
    const Pixel dark = lamp.At(centreX, kLampSize / 2);
    const Pixel lit = lamp.At(centreX, kLampSize + kLampSize / 2);
    EXPECT_GT(lit.r, 2 * dark.r) << "lit red " << lit.r << ", dark red " << dark.r;
    EXPECT_GT(dark.r, dark.g + 20) << "the dark lamp should still read as red";

    // The bezel is symmetric about the axis that the key shares.
    int left = kLampSize;
    int right = -1;
    for (int x = 0; x < kLampSize; ++x) {
        if (lamp.At(x, kLampSize / 2).a >= 250) {
            left = std::min(left, x);
            right = x;
        }
    }
    EXPECT_DOUBLE_EQ((left + right + 1) / 2.0, kSwitchAxisX - kLampX)
        << "bezel spans columns " << left << " to " << right;
    EXPECT_EQ(lamp.At(0, kLampSize + kLampSize / 2).a, 0) << "glow leaks to the frame's edge";
}

TEST(KnobStrip, PointerTurnsThroughTheSweep) {
    const Image& knob = Drawn(EImage::Knob);
    for (const int frame : {0, 15, 30, 45, 60}) {
        const FrameOrigin o = FrameAt(frame, kKnobColumns, kKnobFrameSize, kKnobFrameSize);
        const double angle = KnobAngleDegrees(frame) * M_PI / 180.0;
        const double centre = kKnobFrameSize / 2.0;
        auto along = [&](double radius) {
            return knob.At(o.x + static_cast<int>(centre + radius * std::sin(angle)),
                           o.y + static_cast<int>(centre - radius * std::cos(angle)));
        };
        EXPECT_GT(Luminance(along(12.0)), 200)
            << "frame " << frame << ": no pointer at " << KnobAngleDegrees(frame) << " degrees";
        EXPECT_LT(Luminance(along(-12.0)), 120)
            << "frame " << frame << ": bright opposite the pointer";
    }
}

TEST(Png, StoresColoursWithStraightAlpha) {
    SurfacePtr surface = NewSurface(2, 1);
    ContextPtr cr = NewContext(surface.get());
    cairo_rectangle(cr.get(), 0.0, 0.0, 1.0, 1.0);
    cairo_set_source_rgba(cr.get(), 1.0, 0.5, 0.0, 0.5);
    cairo_fill(cr.get());
    const std::vector<unsigned char> rgba = StraightRgba(surface.get());
    ASSERT_EQ(rgba.size(), 8u);
    EXPECT_EQ(rgba[0], 255) << "red of a half-transparent orange";
    EXPECT_NEAR(rgba[1], 128, 1) << "green of a half-transparent orange";
    EXPECT_EQ(rgba[2], 0);
    EXPECT_NEAR(rgba[3], 128, 1);
    EXPECT_EQ(rgba[4] + rgba[5] + rgba[6] + rgba[7], 0) << "an untouched pixel is transparent";
}

TEST(ResourceScript, NamesEveryImageUnderImgInUsEnglish) {
    const std::vector<EmbeddedFile> files = {{"ZEM", "zem.png", 10, ""},
                                             {"FADER01[64X18]", "fader01.png", 20, ""},
                                             {"FADER01@2X[64X18]", "fader01_2x.png", 30, ""}};
    const std::string script = ResourceScript(files);
    EXPECT_NE(script.find("\nLANGUAGE 9, 1\n"), std::string::npos) << script;
    EXPECT_NE(script.find("\n\"ZEM\" IMG zem.png\n"), std::string::npos) << script;
    EXPECT_NE(script.find("\n\"FADER01[64X18]\" IMG fader01.png\n"), std::string::npos) << script;
    EXPECT_NE(script.find("\n\"FADER01@2X[64X18]\" IMG fader01_2x.png\n"), std::string::npos)
        << script;
}

TEST(EmbeddedTable, IncludesEveryFileAndChecksItsSize) {
    const std::vector<EmbeddedFile> files = {{"ZEM", "zem.png", 54449, ""},
                                             {"BUTTON[2]", "button.png", 2645, ""},
                                             {"FADER02[64X18]", "fader02.png", 83692, "zem.png"}};
    const std::string table = EmbeddedTable(files);
    EXPECT_EQ(table.find(".incbin \"fader02.png\""), std::string::npos) << table;
    EXPECT_EQ(BlobSymbol("fader01.png"), "vlm_image_fader01");
    for (const char* expected :
         {".incbin \"zem.png\"", ".org vlm_image_zem + 54449", ".incbin \"button.png\"",
          ".org vlm_image_button + 2645", "{\"ZEM\", \"IMG\", vlm_image_zem, 54449},",
          "{\"BUTTON[2]\", \"IMG\", vlm_image_button, 2645},",
          ".set vlm_image_fader02, vlm_image_zem",
          "{\"FADER02[64X18]\", \"IMG\", vlm_image_fader02, 83692},", ".popsection"})
        EXPECT_NE(table.find(expected), std::string::npos)
            << "expected \"" << expected << "\" in:\n"
            << table;
}

TEST(Generator, WritesTheSameFilesOnEveryRun) {
    const std::filesystem::path first = NewTempDir("vlm-artgen-a");
    const std::filesystem::path second = NewTempDir("vlm-artgen-b");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    GenerateAll(first.string());
    GenerateAll(second.string());
    std::vector<std::string> names = {"vlm.rc", "embedded_table.cpp", "embedded.h"};
    for (const int scale : kScales)
        for (std::size_t i = 0; i < kImageCount; ++i)
            names.push_back(ScaledFileName(kImages[i].fileName, scale));
    for (const std::string& name : names) {
        const std::vector<unsigned char> a = ReadFile(first / name);
        EXPECT_FALSE(a.empty()) << name << " was not written";
        EXPECT_TRUE(a == ReadFile(second / name)) << name << " differs between two runs";
    }
    // Every PNG is 8-bit RGBA (colour type 6) of its listed size times its scale, opaque or not,
    // and both tables name it.
    const std::vector<unsigned char> rc = ReadFile(first / "vlm.rc");
    const std::vector<unsigned char> table = ReadFile(first / "embedded_table.cpp");
    const std::string script(rc.begin(), rc.end());
    const std::string native(table.begin(), table.end());
    for (const int scale : kScales) {
        for (std::size_t i = 0; i < kImageCount; ++i) {
            const std::string file = ScaledFileName(kImages[i].fileName, scale);
            const std::string name = ScaledResourceName(kImages[i].resourceName, scale);
            const std::vector<unsigned char> png = ReadFile(first / file);
            ASSERT_GE(png.size(), 33u) << file;
            auto be32 = [&](std::size_t at) {
                return static_cast<int>(std::uint32_t{png[at]} << 24 |
                                        std::uint32_t{png[at + 1]} << 16 |
                                        std::uint32_t{png[at + 2]} << 8 | png[at + 3]);
            };
            EXPECT_EQ(be32(16), kImages[i].width * scale) << file;
            EXPECT_EQ(be32(20), kImages[i].height * scale) << file;
            EXPECT_EQ(png[24], 8) << file << " bit depth";
            EXPECT_EQ(png[25], 6) << file << " colour type";
            EXPECT_NE(script.find("\n\"" + name + "\" IMG " + file + "\n"), std::string::npos)
                << name << " is missing from vlm.rc";
            EXPECT_NE(native.find("{\"" + name + "\", \"IMG\", " + BlobSymbol(file) + ", " +
                                  std::to_string(png.size()) + "},"),
                      std::string::npos)
                << name << " is missing from embedded_table.cpp";
        }
    }
    std::filesystem::remove_all(first);
    std::filesystem::remove_all(second);
}

} // namespace
