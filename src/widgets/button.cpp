#include "widgets/button.h"

#include "gui/vstgui.h"

namespace VLM {

CButton::CButton(CVSTGUI* editor, const ControlDesc& desc) : CMeter(editor, desc) {
    hitTestable = true;
}

void CButton::OnMouseDown(std::int32_t, std::int32_t, std::uint32_t) {
    pressed = true;
    SetValue(Value() == 0.0f ? 1.0f : 0.0f);
    // The gesture is closed at once: a double click delivers no release to the button, so
    // an end at the release could leave the host with an open gesture.
    owner->BeginEdit(id);
    owner->EndEdit(id);
}

void CButton::OnDoubleClick(std::int32_t px, std::int32_t py, std::uint32_t flags) {
    OnMouseDown(px, py, flags);
}

void CButton::SetValue(float newValue) {
    if (!ClampNormalised(newValue) || newValue == Value()) {
        return;
    }
    StoreValue(newValue);
    owner->SetParameterAutomated(id, newValue);
}

} // namespace VLM
