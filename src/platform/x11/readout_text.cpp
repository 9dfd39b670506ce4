// The read-out's text on Linux: the font is found through fontconfig (Tahoma when installed,
// else DejaVu Sans or any sans) and the text is measured and drawn with Cairo, at the size the
// Windows read-out has: 10 points on a 96 dpi screen.
#include "platform/x11/font.h"

#include "platform/platform.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace VLM {
namespace Platform {

namespace {

// Without a font the box keeps the size the text would about have, and stays empty.
constexpr float kAverageAdvance = 6.0f;
constexpr float kLineHeight = 16.0f;

cairo_font_face_t* FindFace() {
    cairo_font_face_t* found = nullptr;
    FcPattern* wanted =
        FcNameParse(reinterpret_cast<const FcChar8*>("Tahoma,DejaVu Sans,sans-serif"));
    if (wanted == nullptr) {
        return found;
    }
    FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
    FcDefaultSubstitute(wanted);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, wanted, &result);
    FcPatternDestroy(wanted);
    if (match != nullptr) {
        found = cairo_ft_font_face_create_for_pattern(match);
        FcPatternDestroy(match);
        if (cairo_font_face_status(found) != CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(found);
            found = nullptr;
        }
    }
    return found;
}

// Given back when the plug-in library is unloaded, which a host may do while it runs on.
struct FaceHolder {
    cairo_font_face_t* face = FindFace();
    FaceHolder() = default;
    FaceHolder(const FaceHolder&) = delete;
    FaceHolder& operator=(const FaceHolder&) = delete;
    ~FaceHolder() {
        if (face != nullptr) {
            cairo_font_face_destroy(face);
        }
    }
};

} // namespace

// One face for the process: found once and shared by every editor.
cairo_font_face_t* ReadoutFace() {
    static const FaceHolder holder;
    return holder.face;
}

void UseReadoutFont(cairo_t* cr, cairo_font_face_t* face, double scale) {
    cairo_set_font_face(cr, face);
    cairo_set_font_size(cr, kReadoutPixelSize * scale);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_MEDIUM);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

std::string ReadoutUtf8(const std::wstring& text) {
    std::wstring clean = text;
    for (wchar_t& c : clean) {
        const auto v = static_cast<unsigned long>(c);
        if ((v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) {
            c = L'?';
        }
    }
    return WideToAnsi(clean);
}

namespace {
// One line of read-out text with the read-out font set on `cr`: its UTF-8 bytes, its extents
// and the font's.
struct ReadoutLine {
    std::string utf8;
    cairo_text_extents_t extents{};
    cairo_font_extents_t font{};
};

ReadoutLine SetReadoutLine(cairo_t* cr, cairo_font_face_t* face, double scale,
                           const std::wstring& text) {
    UseReadoutFont(cr, face, scale);
    ReadoutLine line;
    line.utf8 = ReadoutUtf8(text);
    cairo_text_extents(cr, line.utf8.c_str(), &line.extents);
    cairo_font_extents(cr, &line.font);
    return line;
}
} // namespace

TextBox MeasureText(DeviceContextHandle, const std::wstring& text, float scale) {
    TextBox box;
    if (text.empty()) {
        return box;
    }
    cairo_font_face_t* face = ReadoutFace();
    if (face == nullptr) {
        box.width = kAverageAdvance * scale * static_cast<float>(text.size());
        box.height = kLineHeight * scale;
        return box;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    const ReadoutLine line = SetReadoutLine(cr, face, scale, text);
    const cairo_text_extents_t& extents = line.extents;
    const cairo_font_extents_t& font = line.font;
    // Like the Windows measurement: the advance plus a sixth of the size on either side, and
    // the font's line height.
    box.width = static_cast<float>(extents.x_advance + kReadoutPixelSize * scale / 3.0);
    box.height = static_cast<float>(font.height);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return box;
}

Bitmap RenderText(const std::wstring& text, const TextBox& box, std::int32_t width,
                  std::int32_t height, float scale) {
    Bitmap result = CreateBitmap(width, height);
    PixelRows rows;
    if (result.handle == nullptr || !LockPixels(result.handle, rows)) {
        return result;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_font_face_t* face = ReadoutFace();
    if (face != nullptr && !text.empty()) {
        const ReadoutLine line = SetReadoutLine(cr, face, scale, text);
        const double x = box.left + (box.width - line.extents.x_advance) / 2.0;
        const double y = box.top + (box.height - line.font.height) / 2.0 + line.font.ascent;
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, line.utf8.c_str());
    }
    cairo_surface_flush(surface);
    // Cairo's ARGB32 is blue, green, red, alpha in memory on this little-endian machine, and
    // every pixel is opaque, so premultiplied and straight alpha agree.
    const unsigned char* from = cairo_image_surface_get_data(surface);
    const int fromStride = cairo_image_surface_get_stride(surface);
    if (from != nullptr) {
        for (std::int32_t y = 0; y < rows.height && y < height; ++y) {
            std::memcpy(rows.scan0 + std::ptrdiff_t{y} * rows.stride,
                        from + std::ptrdiff_t{y} * fromStride,
                        static_cast<std::size_t>(rows.width) * 4);
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    UnlockPixels(result.handle, rows);
    return result;
}

} // namespace Platform
} // namespace VLM
