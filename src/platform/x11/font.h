// The read-out's font, shared by the read-out's text and the text entry.
#pragma once

#include <cairo.h>

#include <string>

namespace VLM {
namespace Platform {

// The read-out's size in pixels: 10 points at 96 dpi, as on Windows.
constexpr double kReadoutPixelSize = 10.0 * 96.0 / 72.0;

// The face fontconfig picks for Tahoma (else DejaVu Sans, else any sans); null when there is
// no font at all, and then no text is drawn.
cairo_font_face_t* ReadoutFace();
// Selects the face at the read-out's size times `scale` with grey anti-aliasing.
void UseReadoutFont(cairo_t* cr, cairo_font_face_t* face, double scale = 1.0);
// Wide text as UTF-8; characters without a UTF-8 form become '?'.
std::string ReadoutUtf8(const std::wstring& text);

} // namespace Platform
} // namespace VLM
