#include "widgets/meter.h"

#include "dsp/controldesc.h"
#include "gui/textures.h"
#include "gui/vstgui.h"

#include <cmath>

namespace VLM {

CMeter::CMeter(CVSTGUI* editor, const ControlDesc& desc) : CWidget(editor, desc) {
    ballistics.Set(desc.riseTime, desc.fallTime, kRedrawRate, kSettle);
}

bool CMeter::AcquireTexture() {
    // The frame geometry is fixed at the first acquisition of a control whose descriptor left
    // its height open; later acquisitions keep it.
    const bool deriveFrames = texture == 0 && height == -1;
    if (!CWidget::AcquireTexture()) {
        return false;
    }
    if (deriveFrames) {
        const FilmstripLayout layout = ParseFilmstripName(image);
        if (layout.hasSuffix) {
            frameCount = layout.frameCount;
            columnCount = layout.columnCount;
            width = imageWidth / columnCount;
            const float rows =
                std::ceil(static_cast<float>(frameCount) / static_cast<float>(columnCount));
            height = static_cast<std::int32_t>(static_cast<float>(imageHeight) / rows);
        }
    }
    return true;
}

float CMeter::Shown() const {
    if (frameCount <= 1) {
        return displayValue;
    }
    return static_cast<float>(
        static_cast<std::int32_t>(static_cast<float>(frameCount - 1) * displayValue));
}

void CMeter::Advance() {
    ballistics.Follow(Value(), displayValue);
}

bool CMeter::Changed() {
    return Shown() != shown;
}

void CMeter::Draw() {
    const bool ready = texture != 0 || AcquireTexture();
    // Taken after the acquisition, which may have fixed the frame count.
    shown = Shown();
    if (!ready) {
        return;
    }
    if (frameCount <= 1) {
        const float f = 1.0f - displayValue;
        const float top = static_cast<float>(y) + f * static_cast<float>(height);
        DrawQuad(0.0f, f * vExtent, uExtent, vExtent, top, static_cast<double>(y) + height);
        return;
    }
    const auto n = static_cast<std::int32_t>(static_cast<float>(frameCount - 1) * displayValue);
    const float rows = std::ceil(static_cast<float>(frameCount) / static_cast<float>(columnCount));
    const std::int32_t column = n % columnCount;
    const std::int32_t row = n / columnCount;
    const float cw = 1.0f / static_cast<float>(columnCount);
    const float rh = 1.0f / rows;
    const float uLeft = static_cast<float>(column) * cw * uExtent;
    const float uRight = (static_cast<float>(column) * cw + cw) * uExtent;
    const float vTop = static_cast<float>(row) * rh * vExtent;
    const float vBottom = (static_cast<float>(row) * rh + rh) * vExtent;
    DrawQuad(uLeft, vTop, uRight, vBottom, y, static_cast<double>(y) + height);
}

void CMeter::SetValue(float newValue) {
    if (!ClampNormalised(newValue) || newValue == Value()) {
        return;
    }
    StoreValue(newValue);
}

CLED::CLED(CVSTGUI* editor, const ControlDesc& desc) : CMeter(editor, desc) {}

} // namespace VLM
