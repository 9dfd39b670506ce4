#include "widgets/hint.h"

#include "dsp/controldesc.h"
#include "gui/textures.h"
#include "gui/vstgui.h"
#include "platform/gl.h"

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
    const Platform::TextBox box = Platform::MeasureText(owner->DeviceContext(), text);
    width = static_cast<std::int32_t>(box.left + box.width);
    height = static_cast<std::int32_t>(box.top + box.height);

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

    const std::int32_t textureWidth = TextureSide(width);
    const std::int32_t textureHeight = TextureSide(height);
    const CBitmap bitmap(Platform::RenderText(text, box, textureWidth, textureHeight));
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
    uExtent = static_cast<float>(width) / static_cast<float>(textureWidth);
    vExtent = static_cast<float>(height) / static_cast<float>(textureHeight);
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
