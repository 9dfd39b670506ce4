#include "widgets/knob.h"

#include "dsp/controldesc.h"
#include "gui/vstgui.h"
#include "widgets/edit.h"
#include "widgets/hint.h"

#include <cmath>
#include <cwchar>
#include <limits>

namespace VLM {

std::wstring DecimalsFormat(float decimals) {
    auto n = static_cast<std::int32_t>(decimals);
    if (n < 0) {
        n = 0;
    }
    return L"%." + std::to_wstring(n) + L"f";
}

std::wstring FormatReadout(const std::wstring& format, double value) {
    wchar_t buffer[6] = {};
    int written = std::swprintf(buffer, 6, format.c_str(), value);
    std::wstring text;
    if (written >= 0 && written < 6) {
        text.assign(buffer, static_cast<std::size_t>(written));
    } else {
        // Too wide for the read-out's five characters: keep the whole number rather than
        // show a cut one; the host cuts its own copy to its buffer.
        wchar_t wide[64] = {};
        written = std::swprintf(wide, 64, format.c_str(), value);
        if (written > 0) {
            text.assign(wide, static_cast<std::size_t>(written < 64 ? written : 63));
        }
    }
    // The C library follows the host's locale; the read-out always uses a full stop.
    for (wchar_t& c : text) {
        const bool digit = c >= L'0' && c <= L'9';
        const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
        if (!digit && !letter && c != L'+' && c != L'-') {
            c = L'.';
        }
    }
    return text;
}

CKnob::CKnob(CVSTGUI* editor, const ControlDesc& desc)
    : CMeter(editor, desc), defaultValue(desc.defaultValue), format(DecimalsFormat(desc.decimals)),
      plusFormat(L"+" + format), valueMap(desc.valueMap), textValue(Value() + 0.01f) {
    hitTestable = true;
}

CKnob::~CKnob() {
    // A control destroyed in the middle of a drag gives the user the cursor back.
    if (cursorHidden) {
        cursorHidden = false;
        Platform::ShowCursor(true);
    }
}

void CKnob::OnMouseDown(std::int32_t, std::int32_t mouseY, std::uint32_t flags) {
    pressed = true;
    if ((flags & Platform::kMouseControl) != 0) {
        SetValue(defaultValue);
        pressed = false;
        return;
    }
    if (!cursorHidden) {
        cursorHidden = true;
        Platform::GetCursorPos(savedCursor);
        Platform::ShowCursor(false);
    }
    pressValue = Value();
    pressY = mouseY;
    owner->BeginEdit(id);
    if (CHint* hint = owner->Hint()) {
        hint->target = this;
    }
}

void CKnob::OnMouseMove(std::int32_t, std::int32_t mouseY, std::uint32_t flags) {
    if (!pressed) {
        return;
    }
    const float step = (flags & Platform::kMouseShift) != 0 ? kFineDragStep : kDragStep;
    SetValue(pressValue + static_cast<float>(pressY - mouseY) * step);
}

void CKnob::OnMouseUp(std::int32_t, std::int32_t, std::uint32_t) {
    pressed = false;
    if (cursorHidden) {
        cursorHidden = false;
        Platform::SetCursorPos(savedCursor);
        Platform::ShowCursor(true);
    }
    owner->EndEdit(id);
}

void CKnob::OnDoubleClick(std::int32_t, std::int32_t, std::uint32_t) {
    if (CEdit* edit = owner->Edit()) {
        edit->Show(this);
    }
}

bool CKnob::FollowsWheel() const {
    return true;
}

void CKnob::OnMouseWheel(std::int32_t distance, std::uint32_t flags) {
    // The way through units and back may move the value by a rounding step: only a turn may.
    if (distance == 0) {
        return;
    }
    const float step = (flags & Platform::kMouseShift) != 0 ? kFineWheelStep : kWheelStep;
    const float notches = static_cast<float>(distance) / static_cast<float>(kWheelNotch);
    SetUnitValue(ToUnit(Value()) + notches * step);
}

void CKnob::SetValue(float newValue) {
    if (!ClampNormalised(newValue) || newValue == Value()) {
        return;
    }
    StoreValue(newValue);
    owner->SetParameterAutomated(id, newValue);
}

namespace {
// The mapping of the engine's descriptors, for the range this knob copied.
ControlDesc Mapping(float minValue, float maxValue, ValueMapFn valueMap) {
    ControlDesc desc;
    desc.minValue = minValue;
    desc.maxValue = maxValue;
    desc.valueMap = valueMap;
    return desc;
}
} // namespace

float CKnob::ToUnit(float normalised) const {
    return ToUnitValue(Mapping(minValue, maxValue, valueMap), normalised);
}

float CKnob::ToNormalised(float unitValue) const {
    return ToNormalisedValue(Mapping(minValue, maxValue, valueMap), unitValue);
}

void CKnob::SetUnitValue(float unitValue) {
    SetValue(ToNormalised(unitValue));
}

std::wstring CKnob::TextOf(float normalised) const {
    return ReadoutText(ToUnit(normalised), minValue < 0.0f || maxValue < 0.0f, format, plusFormat);
}

std::wstring ReadoutText(float unitValue, bool signedRange, const std::wstring& format,
                         const std::wstring& plusFormat) {
    if (unitValue == std::numeric_limits<float>::infinity()) {
        return L"\u221E";
    }
    return FormatReadout(signedRange && unitValue > 0.0f ? plusFormat : format,
                         static_cast<double>(unitValue));
}

std::wstring ReadoutText(const ControlDesc& desc, float normalised) {
    const std::wstring format = DecimalsFormat(desc.decimals);
    return ReadoutText(ToUnitValue(desc, normalised), desc.minValue < 0.0f || desc.maxValue < 0.0f,
                       format, L"+" + format);
}

const std::wstring& CKnob::GetText(bool valueOnly) {
    const float current = Value();
    if (current != textValue) {
        textValue = current;
        valueText = TextOf(current);
        hintText = label + L": " + valueText + unit;
    }
    return valueOnly ? valueText : hintText;
}

std::wstring CKnob::ValueText() const {
    return TextOf(Value());
}

} // namespace VLM
