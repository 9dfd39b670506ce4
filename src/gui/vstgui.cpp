#include "gui/vstgui.h"

#include "dsp/controldesc.h"
#include "gui/exceptions.h"
#include "host/audioeffectx.h"
#include "widgets/edit.h"
#include "widgets/hint.h"
#include "widgets/widget.h"

#include <algorithm>
#include <cmath>

namespace VLM {

CVSTGUI::CVSTGUI(AudioEffect* owningEffect) : AEffEditor(owningEffect) {
    try {
        faceplate = std::make_unique<CWidget>(this, Controls::Faceplate);
        hint = std::make_unique<CHint>(this);
        edit = std::make_unique<CEdit>(this);

        const std::int32_t status = Platform::ImageLibraryStartup(gdiplusToken);
        if (status != 0) {
            throw Exceptions::GDIP(L"GdiplusStartup", status);
        }
        imageLibraryStarted = true;

        const auto bytes = OpenResourceStream(faceplate->image, L"IMG");
        const CBitmap image(bytes ? Platform::DecodeImage(bytes->data(), bytes->size())
                                  : Platform::DecodeImage(nullptr, 0));
        CheckImage(image.Get(), faceplate->image);
        rect.top = 0;
        rect.left = 0;
        rect.bottom = static_cast<std::int16_t>(Platform::BitmapHeight(image.Handle()));
        rect.right = static_cast<std::int16_t>(Platform::BitmapWidth(image.Handle()));
        windowRect = rect;
    } catch (...) {
        // The destructor does not run for a constructor that throws; take down what was
        // built in the destructor's order, while the control list still exists.
        ReleaseOwnWidgets();
        throw;
    }
}

void CVSTGUI::ReleaseOwnWidgets() {
    // reset() clears each pointer before the control's destructor unregisters it.
    faceplate.reset();
    hint.reset();
    edit.reset();
    if (imageLibraryStarted) {
        imageLibraryStarted = false;
        Platform::ImageLibraryShutdown(gdiplusToken);
    }
}

CVSTGUI::~CVSTGUI() {
    // The effect is being destroyed (it deletes its editor): report nothing more to it.
    effect = nullptr;
    systemWindow = nullptr;
    DestroyEditorWindow();
    ReleaseOwnWidgets();
}

bool CVSTGUI::getRect(ERect** out) {
    // While closed the system's factor is that of the screen the editor last opened on (the
    // main screen before the first open); it is asked once, not at every host query.
    if (!hostChoseScale && window == nullptr) {
        if (systemScale == 0.0f) {
            systemScale = SystemScale(nullptr);
        }
        ApplyScale(systemScale);
    }
    *out = &windowRect;
    return true;
}

float CVSTGUI::NearestScale(double factor) {
    if (!std::isfinite(factor) || factor <= 0.0) {
        return 0.0f;
    }
    // The offered factors are the quarters from 1 to 2.
    return static_cast<float>(std::round(std::clamp(factor, 1.0, 2.0) * 4.0) / 4.0);
}

float CVSTGUI::SystemScale(Platform::WindowHandle near) {
    constexpr double kBaseDpi = 96.0;
    const float nearest = NearestScale(static_cast<double>(Platform::SystemDpi(near)) / kBaseDpi);
    return nearest > 0.0f ? nearest : 1.0f;
}

bool CVSTGUI::RequestScale(float factor) {
    const float nearest = NearestScale(static_cast<double>(factor));
    if (nearest == 0.0f) {
        return false;
    }
    hostChoseScale = true;
    ApplyScale(nearest);
    return true;
}

void CVSTGUI::ApplyScale(float factor) {
    const auto width =
        static_cast<std::int16_t>(std::lround(static_cast<double>(rect.right) * factor));
    const auto height =
        static_cast<std::int16_t>(std::lround(static_cast<double>(rect.bottom) * factor));
    if (factor == scale && windowRect.right == width && windowRect.bottom == height) {
        return;
    }
    scale = factor;
    windowRect.right = width;
    windowRect.bottom = height;
    if (window != nullptr) {
        ResizeEditorWindow();
        if (window != nullptr) {
            AskHostToFollow();
        }
    }
}

void CVSTGUI::AskHostToFollow() {
    auto* host = dynamic_cast<AudioEffectX*>(effect);
    char capability[] = "sizeWindow";
    if (host != nullptr && host->canHostDo(capability)) {
        host->sizeWindow(windowRect.right - windowRect.left, windowRect.bottom - windowRect.top);
    }
}

std::int32_t CVSTGUI::ToWindow(std::int32_t layoutPixels) const {
    if (scale == 1.0f) {
        return layoutPixels;
    }
    return static_cast<std::int32_t>(std::lround(static_cast<double>(layoutPixels) * scale));
}

bool CVSTGUI::open(void* parent) {
    // A second open must not leave the first window, context and timer behind.
    if (window != nullptr || glContext != nullptr || deviceContext != nullptr) {
        DestroyEditorWindow();
    }
    if (!Platform::CanOpenEditorWindow()) {
        systemWindow = nullptr;
        return false;
    }
    systemWindow = parent;
    const ERect reported = windowRect;
    if (!hostChoseScale) {
        systemScale = SystemScale(parent);
        ApplyScale(systemScale);
    }
    if (!CreateEditorWindow(parent)) {
        return false;
    }
    // The parent's screen may scale otherwise than the one the host sized its window for.
    if (windowRect.right != reported.right || windowRect.bottom != reported.bottom) {
        AskHostToFollow();
    }
    return true;
}

void CVSTGUI::close() {
    systemWindow = nullptr;
    DestroyEditorWindow();
}

void CVSTGUI::idle() {
    if (window != nullptr) {
        Platform::ServiceWindow(window);
    }
}

void CVSTGUI::RegisterWidget(CWidget* widget) {
    widgets.push_back(widget);
    pictureStale = true;
    if (hint != nullptr) {
        const auto it = std::find(widgets.begin(), widgets.end(), hint.get());
        if (it != widgets.end()) {
            widgets.erase(it);
            widgets.push_back(hint.get());
        }
    }
}

void CVSTGUI::UnregisterWidget(CWidget* widget) {
    widgets.erase(std::remove(widgets.begin(), widgets.end(), widget), widgets.end());
    pictureStale = true;
    if (wheeled == widget) {
        EndWheelGesture();
    }
    if (captured == widget) {
        captured = nullptr;
    }
    if (hovered == widget) {
        hovered = nullptr;
    }
    if (hint != nullptr && widget != hint.get() && hint->target == widget) {
        hint->target = nullptr;
    }
    if (edit != nullptr && widget != edit.get() && edit->target == widget) {
        edit->Cancel();
    }
}

CWidget* CVSTGUI::HitTest(std::int32_t px, std::int32_t py) const {
    for (CWidget* widget : widgets) {
        if (!widget->hitTestable) {
            continue;
        }
        // Widened so that a control at the edge of the int32 range cannot overflow.
        const std::int64_t right = std::int64_t{widget->x} + widget->width;
        const std::int64_t bottom = std::int64_t{widget->y} + widget->height;
        if (widget->x <= px && px <= right && widget->y <= py && py <= bottom) {
            return widget;
        }
    }
    return nullptr;
}

CWidget* CVSTGUI::FindControl(std::int32_t id) const {
    for (CWidget* widget : widgets) {
        if (widget->id == id) {
            return widget;
        }
    }
    return nullptr;
}

void CVSTGUI::OnLButtonDown(std::int32_t px, std::int32_t py, std::uint32_t flags) {
    // The wheel's gesture closes before a drag's opens.
    EndWheelGesture();
    if (edit != nullptr && edit->window != nullptr) {
        edit->Cancel();
    }
    Platform::SetCapture(window);
    if (CWidget* hit = HitTest(px, py)) {
        captured = hit;
        hit->OnMouseDown(px, py, flags);
    }
}

void CVSTGUI::OnLButtonUp(std::int32_t px, std::int32_t py, std::uint32_t flags) {
    Platform::ReleaseCapture();
    if (CWidget* released = captured) {
        captured = nullptr;
        released->OnMouseUp(px, py, flags);
    }
    if (hint != nullptr && hint->target != nullptr) {
        hint->target = nullptr;
    }
}

void CVSTGUI::OnMouseMove(std::int32_t px, std::int32_t py, std::uint32_t flags) {
    if (captured != nullptr) {
        captured->OnMouseMove(px, py, flags);
        if (hovered != nullptr) {
            CWidget* left = hovered;
            hovered = nullptr;
            left->OnMouseLeave();
        }
        return;
    }
    if (CWidget* hit = HitTest(px, py)) {
        if (hit != hovered) {
            if (hovered != nullptr) {
                hovered->OnMouseLeave();
            }
            hovered = hit;
            hit->OnMouseEnter();
        }
        hit->OnMouseMove(px, py, flags);
        return;
    }
    if (hovered != nullptr) {
        CWidget* left = hovered;
        hovered = nullptr;
        left->OnMouseLeave();
    }
}

void CVSTGUI::OnLButtonDblClk(std::int32_t px, std::int32_t py, std::uint32_t flags) {
    EndWheelGesture();
    if (hint != nullptr && hint->target != nullptr) {
        hint->target = nullptr;
    }
    if (CWidget* hit = HitTest(px, py)) {
        hit->OnDoubleClick(px, py, flags);
    }
}

bool CVSTGUI::OnMouseWheel(std::int32_t px, std::int32_t py, std::int32_t distance,
                           std::uint32_t flags) {
    // A drag holds the mouse: the wheel must not move anything under it meanwhile.
    if (captured != nullptr) {
        return true;
    }
    CWidget* hit = HitTest(px, py);
    if (hit != wheeled) {
        EndWheelGesture();
    }
    if (hit == nullptr || !hit->FollowsWheel()) {
        return false;
    }
    if (wheeled == nullptr) {
        wheeled = hit;
        BeginEdit(hit->id);
        if (hint != nullptr) {
            hint->target = hit;
        }
    }
    lastNotchMs = Platform::MonotonicMilliseconds();
    hit->OnMouseWheel(distance, flags);
    return true;
}

void CVSTGUI::EndWheelGesture() {
    CWidget* turned = wheeled;
    if (turned == nullptr) {
        return;
    }
    wheeled = nullptr;
    if (hint != nullptr && hint->target == turned) {
        hint->target = nullptr;
    }
    EndEdit(turned->id);
}

void CVSTGUI::EndRestingWheelGesture() {
    if (wheeled != nullptr &&
        Platform::MonotonicMilliseconds() - lastNotchMs >= kWheelGestureEndMs) {
        EndWheelGesture();
    }
}

const std::wstring& CVSTGUI::GetControlLabel(std::int32_t id) {
    const CWidget* widget = FindControl(id);
    return widget != nullptr ? widget->label : emptyText;
}

std::wstring CVSTGUI::GetControlText(std::int32_t id) {
    const CWidget* widget = FindControl(id);
    return widget != nullptr ? widget->ValueText() : std::wstring();
}

const std::wstring& CVSTGUI::GetControlUnit(std::int32_t id) {
    const CWidget* widget = FindControl(id);
    return widget != nullptr ? widget->unit : emptyText;
}

float CVSTGUI::GetControlValue(std::int32_t id) {
    const CWidget* widget = FindControl(id);
    return widget != nullptr ? widget->Value() : 0.0f;
}

void CVSTGUI::SetControlValue(std::int32_t id, float newValue) {
    if (CWidget* widget = FindControl(id)) {
        widget->SetValue(newValue);
    }
}

void CVSTGUI::SetParameterAutomated(std::int32_t id, float newValue) {
    if (effect != nullptr) {
        effect->setParameterAutomated(id, newValue);
    }
}

void CVSTGUI::BeginEdit(std::int32_t id) {
    if (auto* host = dynamic_cast<AudioEffectX*>(effect)) {
        host->beginEdit(id);
    }
}

void CVSTGUI::EndEdit(std::int32_t id) {
    if (auto* host = dynamic_cast<AudioEffectX*>(effect)) {
        host->endEdit(id);
    }
}

std::uint32_t CVSTGUI::AcquireImage(const std::wstring& name, std::int32_t& imageWidth,
                                    std::int32_t& imageHeight, float& uExtent, float& vExtent) {
    return textures.Acquire(name, imageWidth, imageHeight, uExtent, vExtent, glContext, scale);
}

void CVSTGUI::ReleaseImage(std::uint32_t texture) {
    textures.Release(texture, glContext);
}

void CVSTGUI::DeleteTexture(std::uint32_t texture) {
    CTextureCache::Delete(texture, glContext);
}

} // namespace VLM
