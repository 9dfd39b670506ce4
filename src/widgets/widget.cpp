#include "widgets/widget.h"

#include "dsp/controldesc.h"
#include "gui/vstgui.h"
#include "platform/gl.h"

#include <cmath>

namespace VLM {

bool ClampNormalised(float& v) {
    if (std::isnan(v)) {
        return false;
    }
    if (v < 0.0f) {
        v = 0.0f;
    } else if (v > 1.0f) {
        v = 1.0f;
    }
    return true;
}

CWidget::CWidget(CVSTGUI* editor, const ControlDesc& desc)
    : owner(editor), id(desc.id), image(desc.image), label(desc.label), unit(desc.unit),
      value(desc.defaultValue), minValue(desc.minValue), maxValue(desc.maxValue), x(desc.x),
      y(desc.y), width(desc.width), height(desc.height) {
    owner->RegisterWidget(this);
}

CWidget::~CWidget() {
    if (texture != 0) {
        owner->ReleaseImage(texture);
        texture = 0;
    }
    owner->UnregisterWidget(this);
}

bool CWidget::AcquireTexture() {
    if (texture != 0) {
        return true;
    }
    if (image.empty()) {
        return false;
    }
    texture = owner->AcquireImage(image, imageWidth, imageHeight, uExtent, vExtent);
    if (texture == 0) {
        return false;
    }
    if (width == -1) {
        width = imageWidth;
    }
    if (height == -1) {
        height = imageHeight;
    }
    return true;
}

void CWidget::OnMouseDown(std::int32_t, std::int32_t, std::uint32_t) {
    pressed = true;
}
void CWidget::OnMouseUp(std::int32_t, std::int32_t, std::uint32_t) {
    pressed = false;
}
void CWidget::OnMouseMove(std::int32_t, std::int32_t, std::uint32_t) {}
void CWidget::OnDoubleClick(std::int32_t, std::int32_t, std::uint32_t) {}
void CWidget::OnMouseEnter() {}
void CWidget::OnMouseLeave() {}

bool CWidget::FollowsWheel() const {
    return false;
}

void CWidget::OnMouseWheel(std::int32_t, std::uint32_t) {}

void CWidget::DrawQuad(float uLeft, float vTop, float uRight, float vBottom, double top,
                       double bottom) const {
    const double left = x;
    const double right = static_cast<double>(x) + width;
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(uLeft, vTop);
    glVertex2d(left, top);
    glTexCoord2f(uRight, vTop);
    glVertex2d(right, top);
    glTexCoord2f(uRight, vBottom);
    glVertex2d(right, bottom);
    glTexCoord2f(uLeft, vBottom);
    glVertex2d(left, bottom);
    glEnd();
}

void CWidget::Draw() {
    if (texture == 0 && !AcquireTexture()) {
        return;
    }
    DrawQuad(0.0f, 0.0f, uExtent, vExtent, y, static_cast<double>(y) + height);
}

void CWidget::Advance() {}

bool CWidget::Changed() {
    return false;
}

void CWidget::ReleaseTexture() {
    if (texture != 0) {
        owner->ReleaseImage(texture);
        texture = 0;
    }
}

const std::wstring& CWidget::GetText(bool valueOnly) {
    return valueOnly ? valueText : hintText;
}

std::wstring CWidget::ValueText() const {
    return valueText;
}

void CWidget::SetValue(float) {}
void CWidget::SetUnitValue(float) {}

} // namespace VLM
