#include "canvas.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace VLM::Art {

Rgba Hex(std::uint32_t rgb, double alpha) {
    return {static_cast<double>((rgb >> 16) & 0xFFu) / 255.0,
            static_cast<double>((rgb >> 8) & 0xFFu) / 255.0,
            static_cast<double>(rgb & 0xFFu) / 255.0, alpha};
}

Rgba Mix(Rgba from, Rgba to, double t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

void SetColour(cairo_t* cr, Rgba colour) {
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, colour.a);
}

void AddStop(cairo_pattern_t* pattern, double offset, Rgba colour) {
    cairo_pattern_add_color_stop_rgba(pattern, offset, colour.r, colour.g, colour.b, colour.a);
}

SurfacePtr NewSurface(int width, int height, int scale) {
    width *= scale;
    height *= scale;
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot create a " + std::to_string(width) + " x " +
                                 std::to_string(height) + " surface");
    return surface;
}

ContextPtr NewContext(cairo_surface_t* surface, int scale) {
    ContextPtr cr(cairo_create(surface));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot create a drawing context");
    // Every path, stroke, gradient and glyph outline is laid out in layout pixels and
    // rendered at the device resolution, so a 2x image is drawn, not enlarged. The 1x
    // context keeps the identity matrix untouched.
    if (scale != 1)
        cairo_scale(cr.get(), scale, scale);
    // Unhinted outlines and metrics: text lands where the layout says, not on the pixel grid.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr.get(), options);
    cairo_font_options_destroy(options);
    return cr;
}

PatternPtr LinearGradient(double x0, double y0, double x1, double y1) {
    return PatternPtr(cairo_pattern_create_linear(x0, y0, x1, y1));
}

PatternPtr RadialGradient(double cx0, double cy0, double r0, double cx1, double cy1, double r1) {
    return PatternPtr(cairo_pattern_create_radial(cx0, cy0, r0, cx1, cy1, r1));
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
    const double r = std::fmin(radius, std::fmin(w, h) / 2.0);
    const double quarter = M_PI / 2.0;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -quarter, 0.0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0.0, quarter);
    cairo_arc(cr, x + r, y + h - r, r, quarter, 2.0 * quarter);
    cairo_arc(cr, x + r, y + r, r, 2.0 * quarter, 3.0 * quarter);
    cairo_close_path(cr);
}

namespace {
constexpr int kShadowLayers = 8;
}

void SoftShadow(cairo_t* cr, double x, double y, double w, double h, double radius, double spread,
                double alpha) {
    for (int i = 0; i < kShadowLayers; ++i) {
        const double grow = spread * (1.0 - static_cast<double>(i) / kShadowLayers);
        RoundedRect(cr, x - grow, y - grow, w + 2.0 * grow, h + 2.0 * grow, radius + grow);
        cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, alpha / kShadowLayers);
        cairo_fill(cr);
    }
}

void SoftCircleShadow(cairo_t* cr, double cx, double cy, double radius, double spread,
                      double alpha) {
    for (int i = 0; i < kShadowLayers; ++i) {
        const double grow = spread * (1.0 - static_cast<double>(i) / kShadowLayers);
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, radius + grow, 0.0, 2.0 * M_PI);
        cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, alpha / kShadowLayers);
        cairo_fill(cr);
    }
}

CRandom::CRandom(std::uint64_t seed) : state(seed != 0 ? seed : 0x9E3779B97F4A7C15ull) {}

double CRandom::Next() {
    // xorshift64*: tiny, fast and the same on every machine.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const std::uint64_t bits = (state * 0x2545F4914F6CDD1Dull) >> 11;
    return static_cast<double>(bits) / 9007199254740992.0; // 2^53
}

double CRandom::Range(double low, double high) {
    return low + (high - low) * Next();
}

namespace {

const char* const kFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
};
// The Debian package that brings each of the files above.
const char* const kFontPackages[] = {"fonts-dejavu-core", "fonts-dejavu-core", "fonts-dejavu-extra",
                                     "fonts-dejavu-extra"};
static_assert(sizeof kFontPackages == sizeof kFontFiles, "one package per font file");

FT_Library FreeTypeLibrary() {
    // One library for the life of the process: Cairo may keep faces in its caches until exit.
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0)
            throw std::runtime_error("cannot start FreeType");
        return made;
    }();
    return library;
}

const cairo_user_data_key_t kFaceKey = {};

void DoneFace(void* face) {
    FT_Done_Face(static_cast<FT_Face>(face));
}

// Splits UTF-8 text into its characters, each kept as its own UTF-8 string.
std::vector<std::string> Characters(const std::string& utf8) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        out.push_back(utf8.substr(i, length));
        i += length;
    }
    return out;
}

void SelectFont(cairo_t* cr, const CFonts& fonts, const TextStyle& style) {
    cairo_set_font_face(cr, fonts.Face(style.font));
    cairo_set_font_size(cr, style.size);
}

double Advance(cairo_t* cr, const std::string& utf8) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.c_str(), &extents);
    return extents.x_advance;
}

} // namespace

CFonts::CFonts() {
    for (int i = 0; i < kFaceCount; ++i) {
        FT_Face face = nullptr;
        if (FT_New_Face(FreeTypeLibrary(), kFontFiles[i], 0, &face) != 0)
            throw std::runtime_error(std::string("cannot load the font ") + kFontFiles[i] +
                                     " (Debian package " + kFontPackages[i] + ")");
        faces[i] = cairo_ft_font_face_create_for_ft_face(face, 0);
        // The FreeType face must outlive every use Cairo makes of it, so Cairo frees it.
        if (cairo_font_face_set_user_data(faces[i], &kFaceKey, face, DoneFace) !=
            CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(faces[i]);
            faces[i] = nullptr;
            FT_Done_Face(face);
            throw std::runtime_error(std::string("cannot use the font ") + kFontFiles[i]);
        }
    }
}

CFonts::~CFonts() {
    for (cairo_font_face_t* face : faces)
        if (face != nullptr)
            cairo_font_face_destroy(face);
}

cairo_font_face_t* CFonts::Face(EFont font) const {
    return faces[static_cast<int>(font)];
}

double TextWidth(cairo_t* cr, const CFonts& fonts, const TextStyle& style,
                 const std::string& utf8) {
    SelectFont(cr, fonts, style);
    const std::vector<std::string> characters = Characters(utf8);
    double width = 0.0;
    for (const std::string& c : characters)
        width += Advance(cr, c);
    if (!characters.empty())
        width += style.tracking * static_cast<double>(characters.size() - 1);
    return width;
}

void TextPath(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8,
              double x, double baseline, EAlign align) {
    const double width = TextWidth(cr, fonts, style, utf8);
    double pen = align == EAlign::Left ? x : align == EAlign::Centre ? x - width / 2.0 : x - width;
    for (const std::string& c : Characters(utf8)) {
        cairo_move_to(cr, pen, baseline);
        cairo_text_path(cr, c.c_str());
        pen += Advance(cr, c) + style.tracking;
    }
}

void DrawText(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8,
              double x, double baseline, EAlign align, Rgba colour) {
    cairo_new_path(cr);
    TextPath(cr, fonts, style, utf8, x, baseline, align);
    SetColour(cr, colour);
    cairo_fill(cr);
}

void EngraveText(cairo_t* cr, const CFonts& fonts, const TextStyle& style, const std::string& utf8,
                 double x, double baseline, EAlign align, Rgba ink, double lipAlpha) {
    DrawText(cr, fonts, style, utf8, x, baseline + 0.8, align, Hex(0xFFFFFF, lipAlpha));
    DrawText(cr, fonts, style, utf8, x, baseline, align, ink);
}

namespace {

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// libpng reports failures by longjmp; nothing in this frame needs unwinding.
bool Encode(std::vector<unsigned char>* out, png_uint_32 width, png_uint_32 height,
            png_bytepp rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendBytes, NoFlush);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<unsigned char> StraightRgba(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::vector<unsigned char> rgba(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, data + static_cast<std::ptrdiff_t>(y) * stride + 4 * x, 4);
            const std::uint32_t alpha = pixel >> 24;
            unsigned char* out = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            // Cairo keeps colours multiplied by alpha; the file holds them straight.
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint32_t value = (pixel >> (16 - 8 * channel)) & 0xFFu;
                out[channel] = static_cast<unsigned char>(
                    alpha == 0 ? 0 : (value * 255u + alpha / 2u) / alpha);
            }
            out[3] = static_cast<unsigned char>(alpha);
        }
    }
    return rgba;
}

std::vector<unsigned char> EncodePng(cairo_surface_t* surface) {
    // Encoded with libpng rather than Cairo, which would drop the alpha channel of an opaque
    // image; the plug-in expects 8-bit RGBA in every file, and no gamma chunk to act on.
    std::vector<unsigned char> rgba = StraightRgba(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = &rgba[static_cast<std::size_t>(y) * width * 4];
    std::vector<unsigned char> png;
    if (!Encode(&png, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                rows.data()))
        throw std::runtime_error("cannot encode a " + std::to_string(width) + " x " +
                                 std::to_string(height) + " PNG");
    return png;
}

void WriteBinaryFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot create " + path);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        throw std::runtime_error("cannot write " + path);
}

} // namespace VLM::Art
