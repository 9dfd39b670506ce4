#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VLM::Art {

struct Rgba {
    double r;
    double g;
    double b;
    double a;
};

// 0xRRGGBB with an opacity, the way the palette is written down.
Rgba Hex(std::uint32_t rgb, double alpha = 1.0);
Rgba Mix(Rgba from, Rgba to, double t);
void SetColour(cairo_t* cr, Rgba colour);
void AddStop(cairo_pattern_t* pattern, double offset, Rgba colour);

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

// A transparent ARGB32 surface of width x height layout pixels, `scale` device pixels to each
// (1 or 2); throws std::runtime_error when Cairo cannot make it.
SurfacePtr NewSurface(int width, int height, int scale = 1);
// A context that draws in layout pixels onto a surface made at `scale`.
ContextPtr NewContext(cairo_surface_t* surface, int scale = 1);
PatternPtr LinearGradient(double x0, double y0, double x1, double y1);
PatternPtr RadialGradient(double cx0, double cy0, double r0, double cx1, double cy1, double r1);

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);

// Cairo has no blur: a soft shadow is a stack of ever larger, faint copies of the shape.
void SoftShadow(cairo_t* cr, double x, double y, double w, double h, double radius, double spread,
                double alpha);
void SoftCircleShadow(cairo_t* cr, double cx, double cy, double radius, double spread,
                      double alpha);

// A fixed-seed generator, so that every run of the generator draws the same pixels.
class CRandom {
public:
    explicit CRandom(std::uint64_t seed);
    double Next(); // uniform in [0, 1)
    double Range(double low, double high);

private:
    std::uint64_t state;
};

enum class EFont { Sans, SansBold, Condensed, CondensedBold };
enum class EAlign { Left, Centre, Right };

// The DejaVu faces, loaded from their files through FreeType so that no font configuration
// of the machine can substitute another face.
class CFonts {
public:
    CFonts();
    ~CFonts();
    CFonts(const CFonts&) = delete;
    CFonts& operator=(const CFonts&) = delete;

    cairo_font_face_t* Face(EFont font) const;

private:
    static constexpr int kFaceCount = 4;
    cairo_font_face_t* faces[kFaceCount] = {};
};

struct TextStyle {
    EFont font;
    double size;
    double tracking; // extra advance after each character, in pixels
};

double TextWidth(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8);
// Sets the path of the text with its baseline at y; the caller fills it.
void TextPath(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8,
              double x, double baseline, EAlign align);
void DrawText(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8,
              double x, double baseline, EAlign align, Rgba colour);
// Text cut into metal: a dark fill with a bright lip under its lower edges.
void EngraveText(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8,
                 double x, double baseline, EAlign align, Rgba ink, double lipAlpha);

// The pixels as 8-bit RGBA rows with straight alpha, as the PNG file stores them.
std::vector<unsigned char> StraightRgba(cairo_surface_t* surface);
// An 8-bit RGBA PNG file, with an alpha channel even when every pixel is opaque.
std::vector<unsigned char> EncodePng(cairo_surface_t* surface);
void WriteBinaryFile(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace VLM::Art
