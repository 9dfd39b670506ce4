// The generic editor: the control list that doubles as the effect's parameter store, the
// lookups by control id, the automation relays into the effect, mouse routing, the texture
// cache and the editor window with its OpenGL context.
#pragma once

#include "gui/textures.h"
#include "host/aeffeditor.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace VLM {

class CWidget;
class CHint;
class CEdit;

class CVSTGUI : public AEffEditor {
public:
    static constexpr std::size_t kChunkBufferSize = 4096; // 512 records of 8 bytes
    static constexpr std::uint32_t kRedrawPeriodMs = 20;
    // A wheel burst is one edit gesture for the host; it ends after this long without a notch.
    static constexpr std::uint64_t kWheelGestureEndMs = 300;

    // Builds the faceplate, read-out and text entry, starts the image library and takes the
    // editor size from the faceplate image. Throws Exceptions::Std. [construction]
    explicit CVSTGUI(AudioEffect* effect);
    ~CVSTGUI() override;

    // The window's size at the drawing scale. [UI thread]
    bool getRect(ERect** rect) override;
    // Opens the editor window inside `parent`; a second open replaces the first window. Without
    // a host's request the drawing scale follows the system's for the screen `parent` is on.
    // [UI thread]
    bool open(void* parent) override;
    // [UI thread]
    void close() override;
    // Serves the editor window's events and redraw timer where the window system leaves that
    // to the host's idle calls. [UI thread] (the one that opened the editor)
    void idle() override;

    // The redraw period's tick: moves every control's animation one step, and when the picture
    // would differ from the one drawn last, draws it and schedules the paint.
    // [UI thread] (editor open)
    virtual void GfxReDraw();
    // Has the next tick draw the whole picture, changed or not. [UI thread]
    void RequestRedraw() { pictureStale = true; }
    // Mouse routing in window pixels; flags is the mouse message's key-state word. [UI thread]
    virtual void OnLButtonDown(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnLButtonUp(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnMouseMove(std::int32_t x, std::int32_t y, std::uint32_t flags);
    virtual void OnLButtonDblClk(std::int32_t x, std::int32_t y, std::uint32_t flags);
    // The wheel over (x, y): `distance` signed, 120 per notch. False when no control under the
    // pointer follows the wheel, so that the window system passes the message on. [UI thread]
    virtual bool OnMouseWheel(std::int32_t x, std::int32_t y, std::int32_t distance,
                              std::uint32_t flags);
    // Closes the host's gesture of a wheel burst, if one is open. [UI thread]
    void EndWheelGesture();
    // Closes it once the wheel has rested for kWheelGestureEndMs; called on every tick.
    // [UI thread] (editor open)
    void EndRestingWheelGesture();
    // Lookups by control id: the first control in list order with the id answers.
    // [any thread]
    virtual const std::wstring& GetControlLabel(std::int32_t id);
    // A copy built for the caller: hosts ask from threads of their own.
    virtual std::wstring GetControlText(std::int32_t id);
    virtual const std::wstring& GetControlUnit(std::int32_t id);
    virtual float GetControlValue(std::int32_t id);
    virtual void SetControlValue(std::int32_t id, float value);
    // Relays of a user's edit into the effect; nothing happens without an effect.
    // [any thread] (the UI thread, or a host parameter write's)
    virtual void SetParameterAutomated(std::int32_t id, float value);
    virtual void BeginEdit(std::int32_t id);
    virtual void EndEdit(std::int32_t id);

    // [UI thread]
    bool CreateEditorWindow(void* parent);
    // Harmless any number of times. [UI thread]
    void DestroyEditorWindow();
    void InitOpenGL();

    // Called by every control's constructor; keeps the read-out last.
    void RegisterWidget(CWidget* widget);
    // Called by every control's destructor, so that the list never refers to a dead control.
    void UnregisterWidget(CWidget* widget);

    // The texture cache's operations on the editor's GL context, which must be current.
    // [UI thread]
    std::uint32_t AcquireImage(const std::wstring& name, std::int32_t& imageWidth,
                               std::int32_t& imageHeight, float& uExtent, float& vExtent);
    void ReleaseImage(std::uint32_t texture);
    // Deletes a GL texture, but only while the editor's own context is current.
    void DeleteTexture(std::uint32_t texture);

    // The window procedure's portable half and the timer callback.
    static bool WindowProc(Platform::WindowHandle window, std::uint32_t message,
                           std::uintptr_t wParam, std::intptr_t lParam);
    static void TimerProc(Platform::WindowHandle window, std::uintptr_t id);

    // Accessors for the effect base (state chunk) and the controls.
    const std::vector<CWidget*>& Widgets() const { return widgets; }
    std::uint8_t* ChunkBuffer() { return chunkBuffer; }
    CHint* Hint() const { return hint.get(); }
    CEdit* Edit() const { return edit.get(); }
    CWidget* Faceplate() const { return faceplate.get(); }
    CWidget* Captured() const { return captured; }
    CWidget* Hovered() const { return hovered; }
    CWidget* Wheeled() const { return wheeled; }
    const ERect& Rect() const { return rect; }
    // Window pixels per layout pixel: 1, 1.25, 1.5, 1.75 or 2. Controls, hit tests and the
    // drag arithmetic live in the 900 x 258 layout; the window, the GL viewport, the images
    // chosen and the text rendered follow the factor.
    float Scale() const { return scale; }
    // A window coordinate in layout pixels, rounded toward minus infinity so that a captured
    // drag beyond the window's left or top edge keeps counting.
    std::int32_t ToLayout(std::int32_t windowPixels) const;
    // A layout length or coordinate in window pixels, rounded to the nearest.
    std::int32_t ToWindow(std::int32_t layoutPixels) const;
    // The offered factor nearest to `factor`, within 1..2; 0 when `factor` is not a finite
    // positive number.
    static float NearestScale(double factor);
    // A host's choice of drawing scale, which from then on stands over the system's. False,
    // and nothing changes, when `factor` is not a finite positive number. [UI thread]
    bool RequestScale(float factor);
    // What getRect answers: the layout's size in window pixels.
    const ERect& WindowRect() const { return windowRect; }
    Platform::WindowHandle Window() const { return window; }
    Platform::DeviceContextHandle DeviceContext() const { return deviceContext; }
    const std::map<std::wstring, TextureEntry>& Textures() const { return textures.Entries(); }

protected:
    // The first control in list order that is hit-testable and contains the point, edges
    // included; null if none.
    CWidget* HitTest(std::int32_t x, std::int32_t y) const;
    CWidget* FindControl(std::int32_t id) const;
    // Makes the editor's context current if the host switched contexts; false if it failed.
    bool MakeContextCurrent();
    // Draws every control into the back buffer as it stands. False when the window is closed,
    // or when drawing failed, which closes the window and shows the error.
    bool DrawFrame();
    // For a paint: whether the back buffer holds the whole current picture to present, either
    // the frame the last tick drew or, for a paint the window system asked for, one drawn now
    // (after a swap the back buffer's content is undefined).
    bool FrameToPresent();
    std::uintptr_t TimerId() const { return reinterpret_cast<std::uintptr_t>(this); }
    // The offered factor nearest to the system's for the screen of `near` (null: the main
    // screen); 1 when the system does not say.
    static float SystemScale(Platform::WindowHandle near);
    // Takes a drawing scale. While the window is open it takes the new size, the images are
    // acquired again for the new factor, the picture is redrawn, and a host that can follow
    // is asked to size its window to match. [UI thread]
    void ApplyScale(float factor);
    // The open window at the new size: viewport, images, edit box and picture. [UI thread]
    void ResizeEditorWindow();
    // Has the controls' images at the drawing scale decoded on a worker thread, while the
    // window and its context are being made. [UI thread]
    void DecodeImagesAhead();
    // glViewport over the whole window; throws Exceptions::OGL. [UI thread] (context current)
    void SetViewport();
    // audioMasterSizeWindow with the window's size, when the host says it can follow.
    void AskHostToFollow();

    std::uintptr_t gdiplusToken = 0;
    CTextureCache textures;
    ERect rect{0, 0, 0, 0};       // the layout, in layout pixels
    ERect windowRect{0, 0, 0, 0}; // the layout at the drawing scale, in window pixels
    Platform::WindowHandle window = nullptr;
    std::vector<CWidget*> widgets;
    std::unique_ptr<CWidget> faceplate;
    std::unique_ptr<CHint> hint;
    std::unique_ptr<CEdit> edit;
    CWidget* captured = nullptr;
    CWidget* hovered = nullptr;
    CWidget* wheeled = nullptr;    // the control of the open wheel gesture
    std::uint64_t lastNotchMs = 0; // when the wheel last moved it
    float scale = 1.0f;
    bool hostChoseScale = false;
    float systemScale = 0.0f; // 0: not asked since the last open
    const std::wstring emptyText;
    Platform::GLContextHandle glContext = nullptr;
    Platform::DeviceContextHandle deviceContext = nullptr;
    alignas(8) std::uint8_t chunkBuffer[kChunkBufferSize] = {};

private:
    // Deletes the faceplate, read-out and text entry, then stops the image library.
    void ReleaseOwnWidgets();

    bool imageLibraryStarted = false;
    // The next tick draws even if no control changed: a new window, a control added or gone.
    bool pictureStale = true;
    // The back buffer holds a frame drawn since the last swap.
    bool frameReady = false;
};

} // namespace VLM
