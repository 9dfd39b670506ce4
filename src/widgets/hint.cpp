#include "widgets/hint.h"

#include "dsp/controldesc.h"
#include "gui/textures.h"
#include "gui/vstgui.h"
#include "platform/gl.h"

#include <cmath>
#include <vector>

namespace VLM {

CHint::CHint(CVSTGUI* editor) : CWidget(editor, ControlDesc{}) {}

CHint::~CHint() {
    ReleaseTexture();
}

bool CHint::AcquireTexture() {
    if (texture != 0) {
        return true;
    }
    if (target == nullptr) {
        return false;
    }
    // The text is measured and rendered with the font grown by the drawing scale, in window
    // pixels; the box is placed, and its quad drawn, in layout pixels.
    const float scale = owner->Scale();
    const Platform::TextBox box = Platform::MeasureText(owner->DeviceContext(), text, scale);
    width = static_cast<std::int32_t>((box.left + box.width) / scale);
    height = static_cast<std::int32_t>((box.top + box.height) / scale);

    x = target->x + target->width / 2 - width / 2;
    y = target->y - height;
    const std::int32_t editorWidth = owner->Rect().right;
    const std::int32_t editorHeight = owner->Rect().bottom;
    if (x < 0) {
        x = 0;
    } else if (x > editorWidth - width) {
        x = editorWidth - width;
    }
    if (y < 0) {
        y = 0;
    } else if (y > editorHeight - height) {
        y = editorHeight - height;
    }

    placedFor = target;

    // One texel to a window pixel: the box's layout size at the drawing scale.
    const auto pixelWidth =
        static_cast<std::int32_t>(std::lround(static_cast<float>(width) * scale));
    const auto pixelHeight =
        static_cast<std::int32_t>(std::lround(static_cast<float>(height) * scale));
    const std::int32_t textureWidth = TextureSide(pixelWidth);
    const std::int32_t textureHeight = TextureSide(pixelHeight);
    const CBitmap bitmap(Platform::RenderText(text, box, textureWidth, textureHeight, scale));
    const CPixelLock lock(bitmap.Handle());
    if (!lock.Locked()) {
        return false;
    }
    std::vector<std::uint8_t> store;
    const void* pixels = TightRows(lock.Rows(), textureWidth, textureHeight, store);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureWidth, textureHeight, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, pixels);
    texture = name;

    imageWidth = width;
    imageHeight = height;
    uExtent = static_cast<float>(pixelWidth) / static_cast<float>(textureWidth);
    vExtent = static_cast<float>(pixelHeight) / static_cast<float>(textureHeight);
    return texture != 0;
}

bool CHint::Changed() {
    if (target == nullptr) {
        return shown;
    }
    return !shown || target != placedFor || target->GetText(false) != text;
}

void CHint::Draw() {
    shown = target != nullptr;
    if (target == nullptr) {
        return;
    }
    const std::wstring& current = target->GetText(false);
    // Another control with the same text still needs the box placed over itself.
    if (current != text || target != placedFor) {
        text = current;
        ReleaseTexture();
    }
    CWidget::Draw();
}

void CHint::ReleaseTexture() {
    if (texture != 0) {
        owner->DeleteTexture(texture);
        texture = 0;
    }
}

} // namespace VLM
