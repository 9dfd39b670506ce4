// The read-out's text in a build without a window system: measured, never drawn.
#include "platform/platform.h"

#include <cstddef>
#include <cstring>

namespace VLM {
namespace Platform {

namespace {

// The read-out's box is measured with an average advance of Tahoma at 10 points on a 96 dpi
// screen; no editor window opens in this build, so nothing shows the text.
constexpr float kAverageAdvance = 6.0f;
constexpr float kLineHeight = 16.0f;

} // namespace

TextBox MeasureText(DeviceContextHandle, const std::wstring& text, float scale) {
    TextBox box;
    if (!text.empty()) {
        box.width = kAverageAdvance * scale * static_cast<float>(text.size());
        box.height = kLineHeight * scale;
    }
    return box;
}

Bitmap RenderText(const std::wstring&, const TextBox&, std::int32_t width, std::int32_t height,
                  float) {
    // An opaque white box without glyphs: see MeasureText.
    Bitmap result = CreateBitmap(width, height);
    if (result.handle != nullptr) {
        PixelRows rows;
        if (LockPixels(result.handle, rows)) {
            for (std::int32_t y = 0; y < rows.height; ++y) {
                std::memset(rows.scan0 + std::ptrdiff_t{y} * rows.stride, 0xFF,
                            static_cast<std::size_t>(rows.width) * 4);
            }
            UnlockPixels(result.handle, rows);
        }
    }
    return result;
}

} // namespace Platform
} // namespace VLM
