// The base of everything drawn on the editor: one textured quad made from a control
// descriptor, registered with its editor, answering the mouse events routed to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace VLM {

class CVSTGUI;
struct ControlDesc;

class CWidget {
public:
    // Copies the descriptor and registers with the owner as its last step. [UI thread]
    CWidget(CVSTGUI* owner, const ControlDesc& desc);
    CWidget(const CWidget&) = delete;
    CWidget& operator=(const CWidget&) = delete;

    // True when the widget has a texture. [UI thread] (editor open)
    virtual bool AcquireTexture();
    // Gives back a texture still held and leaves the editor's list. [UI thread]
    virtual ~CWidget();
    // Mouse events in editor pixels; flags: 4 = Shift, 8 = Control. [UI thread]
    virtual void OnMouseDown(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnMouseUp(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnMouseMove(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnDoubleClick(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnMouseEnter();
    virtual void OnMouseLeave();
    // Whether the control moves with the mouse wheel; the editor sends OnMouseWheel only to
    // those. [UI thread]
    virtual bool FollowsWheel() const;
    // The wheel turned over the control: `distance` is signed, 120 per notch, positive away
    // from the user; flags as for the other mouse events. [UI thread]
    virtual void OnMouseWheel(std::int32_t distance, std::uint32_t flags);
    // One quad of the whole image. [UI thread] (editor open)
    virtual void Draw();
    // One redraw period of whatever the widget animates by itself, whether or not anything is
    // drawn afterwards. [UI thread] (editor open)
    virtual void Advance();
    // Whether Draw would now show something other than what it showed last; a still image
    // never does. [UI thread] (editor open)
    virtual bool Changed();
    // [UI thread] (editor open)
    virtual void ReleaseTexture();
    // The value text alone (valueOnly) or the read-out "label: value unit", kept until the value
    // changes. [UI thread]
    virtual const std::wstring& GetText(bool valueOnly);
    // The value text of the current value, built afresh, so that a host thread asking for it
    // never touches the texts the editor keeps. [any thread]
    virtual std::wstring ValueText() const;
    // Normalised value 0..1. [any thread] (the audio thread writes the lamp)
    virtual void SetValue(float newValue);
    // Value in the control's units. [UI thread]
    virtual void SetUnitValue(float unitValue);

    // A control's fields are the editor's and the effect's view of it.
    CVSTGUI* owner;
    std::int32_t id;
    std::wstring image;
    std::wstring label;
    std::wstring unit;
    // Shared with the audio thread: read and written whole, relaxed.
    std::atomic<float> value;
    std::wstring valueText;
    std::wstring hintText;
    float minValue;
    float maxValue;
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
    std::int32_t imageWidth = 0;
    std::int32_t imageHeight = 0;
    float uExtent = 1.0f;
    float vExtent = 1.0f;
    bool hitTestable = false;
    bool pressed = false;
    std::uint32_t texture = 0;

    float Value() const { return value.load(std::memory_order_relaxed); }

protected:
    // Binds the texture and draws the quad with the given texture rectangle over the given
    // vertical span of the widget.
    void DrawQuad(float uLeft, float vTop, float uRight, float vBottom, double top,
                  double bottom) const;
    void StoreValue(float newValue) { value.store(newValue, std::memory_order_relaxed); }
};

// Clamps into 0..1; false for NaN, which no control stores (the engine indexes its tables
// with the value).
bool ClampNormalised(float& v);

} // namespace VLM
