#include "widgets/edit.h"

#include "dsp/controldesc.h"
#include "gui/numbers.h"
#include "gui/vstgui.h"

#include <cmath>
#include <string>

namespace VLM {

CEdit::CEdit(CVSTGUI* editor) : CWidget(editor, ControlDesc{}) {
    width = kWidth;
    height = kHeight;
}

void CEdit::CreateChild(Platform::WindowHandle parent) {
    window = Platform::CreateEditBox(Platform::ModuleInstance(), parent, owner->ToWindow(x),
                                     owner->ToWindow(y), owner->ToWindow(kWidth),
                                     owner->ToWindow(kHeight));
    if (window != nullptr && !Platform::SubclassEditBox(window, &CEdit::EditProc, this)) {
        // Without the subclass Enter would apply nothing: better no entry at all.
        Platform::DestroyWindow(window);
        window = nullptr;
    }
    if (window != nullptr && owner->Scale() != 1.0f) {
        ApplyScale();
    }
}

void CEdit::ApplyScale() {
    if (window == nullptr) {
        return;
    }
    const float scale = owner->Scale();
    Platform::SetEditFont(window, scale == 1.0f ? 0
                                                : static_cast<std::int32_t>(std::lround(
                                                      kFontPixels * static_cast<double>(scale))));
}

void CEdit::Show(CWidget* widget) {
    if (window == nullptr) {
        return;
    }
    target = widget;
    if (widget == nullptr) {
        Platform::ShowWindow(window, false);
        return;
    }
    Platform::SetWindowText(window, widget->GetText(true));
    // Centred above the control in the layout, then taken to window pixels.
    Platform::MoveWindow(window, owner->ToWindow(widget->x + widget->width / 2 - kWidth / 2),
                         owner->ToWindow(widget->y - kHeight), owner->ToWindow(kWidth),
                         owner->ToWindow(kHeight), false);
    Platform::ShowWindow(window, true);
    Platform::SelectAllText(window);
    Platform::SetFocus(window);
}

void CEdit::Commit() {
    if (window == nullptr) {
        target = nullptr;
        return;
    }
    const std::wstring text = Platform::GetWindowText(window, kMaxChars);
    if (target != nullptr) {
        target->SetUnitValue(static_cast<float>(ParseNumber(text)));
    }
    // Cleared before hiding: hiding takes the focus away and brings us back here.
    target = nullptr;
    Platform::ShowWindow(window, false);
}

void CEdit::Cancel() {
    target = nullptr;
    if (window != nullptr) {
        Platform::ShowWindow(window, false);
    }
}

void CEdit::ForgetWindow() {
    window = nullptr;
    target = nullptr;
}

void CEdit::Draw() {
    shown = window != nullptr && target != nullptr;
}

bool CEdit::Changed() {
    return (window != nullptr && target != nullptr) != shown;
}

bool CEdit::IsAllowedCharacter(std::uintptr_t c) {
    return c == 8 || c == 12 || c == L'-' || c == L'.' || (c >= L'0' && c <= L'9') || c == L'k';
}

Platform::EditAction CEdit::EditProc(void* refData, std::uint32_t message, std::uintptr_t wParam) {
    auto* self = static_cast<CEdit*>(refData);
    switch (message) {
    case Platform::kMsgKillFocus:
        self->Commit();
        return Platform::EditAction::Swallow;
    case Platform::kMsgChar:
        if (wParam == 13) {
            self->Commit();
            return Platform::EditAction::Swallow;
        }
        return IsAllowedCharacter(wParam) ? Platform::EditAction::PassOn
                                          : Platform::EditAction::Swallow;
    case Platform::kMsgDestroy:
        self->ForgetWindow();
        return Platform::EditAction::PassOnAndDetach;
    default:
        return Platform::EditAction::PassOn;
    }
}

} // namespace VLM
