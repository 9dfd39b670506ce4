// The editor window: child window, OpenGL context, redraw timer, paint and mouse messages.
#include "gui/exceptions.h"
#include "gui/vstgui.h"
#include "platform/gl.h"
#include "widgets/edit.h"
#include "widgets/hint.h"
#include "widgets/widget.h"

#include <algorithm>
#include <cmath>

namespace VLM {

namespace {
void CheckGL(const wchar_t* function) {
    if (const GLenum error = glGetError()) {
        throw Exceptions::OGL(function, static_cast<std::int32_t>(error));
    }
}

// A mouse message carries x in bits 0-15 and y in bits 16-31 of lParam, each a signed 16-bit
// number, so that a captured drag left of or above the window arrives negative.
std::int32_t LowWord(std::intptr_t lParam) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lParam & 0xFFFF));
}
std::int32_t HighWord(std::intptr_t lParam) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((lParam >> 16) & 0xFFFF));
}
} // namespace

bool CVSTGUI::CreateEditorWindow(void* parent) {
    try {
        DecodeImagesAhead();
        const Platform::ModuleHandle module = Platform::ModuleInstance();
        Platform::RegisterEditorWindowClass(module, &CVSTGUI::WindowProc);
        window = Platform::CreateEditorWindow(module, parent, windowRect.right, windowRect.bottom);
        if (window == nullptr) {
            throw Exceptions::StdFunc(L"CreateWindow", Platform::LastError(), L"EDITOR");
        }
        Platform::SetWindowUserData(window, this);
        InitOpenGL();
        frameReady = false;
        pictureStale = true;
        GfxReDraw();
        if (window == nullptr) {
            // The first redraw failed; it has closed the window and shown the error.
            return false;
        }
        Platform::ShowWindow(window, true);
        Platform::UpdateWindow(window);
        if (edit != nullptr) {
            edit->CreateChild(window);
        }
        Platform::StartTimer(window, TimerId(), kRedrawPeriodMs, &CVSTGUI::TimerProc);
    } catch (const Exceptions::Std& error) {
        Exceptions::ShowError(error, kErrorCaption, nullptr);
        DestroyEditorWindow();
        return false;
    }
    return window != nullptr && deviceContext != nullptr && glContext != nullptr;
}

void CVSTGUI::DecodeImagesAhead() {
    std::vector<std::wstring> names;
    names.reserve(widgets.size());
    for (const CWidget* widget : widgets) {
        names.push_back(widget->image);
    }
    textures.DecodeAhead(names, scale);
}

void CVSTGUI::InitOpenGL() {
    deviceContext = Platform::GetDeviceContext(window);
    if (deviceContext == nullptr) {
        throw Exceptions::OGL(L"GetDC", 0);
    }
    if (!Platform::SetPixelFormat(deviceContext)) {
        throw Exceptions::OGL(L"SetPixelFormat", Platform::LastError());
    }
    glContext = Platform::CreateGLContext(deviceContext);
    if (glContext == nullptr) {
        throw Exceptions::OGL(L"wglCreateContext", Platform::LastError());
    }
    if (!Platform::MakeGLContextCurrent(deviceContext, glContext)) {
        throw Exceptions::OGL(L"wglMakeCurrent", Platform::LastError());
    }
    glDisable(GL_LIGHTING);
    CheckGL(L"glDisable(GL_LIGHTING)");
    glEnable(GL_BLEND);
    CheckGL(L"glEnable(GL_BLEND)");
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    CheckGL(L"glBlendFunc");
    // The viewport covers the window; the projection stays in layout pixels, so every quad
    // lands where the layout puts it, scaled.
    SetViewport();
    glMatrixMode(GL_PROJECTION);
    CheckGL(L"glMatrixMode");
    GL::Ortho2D(0.0, rect.right, rect.bottom, 0.0);
    CheckGL(L"gluOrtho2D");
    glMatrixMode(GL_MODELVIEW);
    CheckGL(L"glMatrixMode");
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    CheckGL(L"glClearColor");
    glEnable(GL_TEXTURE_2D);
    CheckGL(L"glEnable(GL_TEXTURE_2D)");
}

void CVSTGUI::SetViewport() {
    glViewport(0, 0, windowRect.right, windowRect.bottom);
    CheckGL(L"glViewport");
}

void CVSTGUI::ResizeEditorWindow() {
    if (edit != nullptr) {
        edit->Cancel();
        edit->ApplyScale();
    }
    try {
        if (!MakeContextCurrent()) {
            if (window == nullptr) {
                // The window system reported the window destroyed, and the editor has closed.
                return;
            }
            throw Exceptions::OGL(L"ResizeEditorWindow::wglMakeCurrent", Platform::LastError());
        }
        // The next redraw acquires every image again, at the new factor.
        for (CWidget* widget : widgets) {
            widget->ReleaseTexture();
        }
        textures.Clear(glContext);
        DecodeImagesAhead();
        Platform::MoveWindow(window, 0, 0, windowRect.right, windowRect.bottom, true);
        if (window == nullptr) {
            return;
        }
        SetViewport();
    } catch (const Exceptions::Std& error) {
        DestroyEditorWindow();
        Exceptions::ShowError(error, kErrorCaption, nullptr);
        return;
    }
    // Every texel is new although no control changed.
    RequestRedraw();
    GfxReDraw();
}

bool CVSTGUI::MakeContextCurrent() {
    if (glContext == nullptr) {
        return false;
    }
    if (Platform::CurrentGLContext() == glContext) {
        return true;
    }
    return Platform::MakeGLContextCurrent(deviceContext, glContext);
}

void CVSTGUI::GfxReDraw() {
    // Nothing to draw into while closed (a tick that was already queued, for instance).
    if (window == nullptr || glContext == nullptr) {
        return;
    }
    // The animations keep their pace whether or not anything is drawn.
    for (CWidget* widget : widgets) {
        widget->Advance();
    }
    const bool changed = pictureStale || std::any_of(widgets.begin(), widgets.end(),
                                                     [](CWidget* w) { return w->Changed(); });
    if (changed && DrawFrame()) {
        frameReady = true;
        Platform::InvalidateWindow(window);
    }
}

bool CVSTGUI::DrawFrame() {
    if (window == nullptr || glContext == nullptr) {
        return false;
    }
    try {
        if (!MakeContextCurrent()) {
            if (window == nullptr) {
                return false;
            }
            throw Exceptions::OGL(L"GfxReDraw::wglMakeCurrent", Platform::LastError());
        }
        for (CWidget* widget : widgets) {
            widget->Draw();
        }
        if (hint != nullptr) {
            hint->Draw();
        }
        glFlush();
        pictureStale = false;
        return true;
    } catch (const Exceptions::Std& error) {
        DestroyEditorWindow();
        Exceptions::ShowError(error, kErrorCaption, nullptr);
        return false;
    }
}

bool CVSTGUI::FrameToPresent() {
    if (!frameReady && !DrawFrame()) {
        return false;
    }
    frameReady = false;
    return true;
}

void CVSTGUI::DestroyEditorWindow() {
    if (window != nullptr) {
        Platform::StopTimer(window, TimerId());
    }
    systemWindow = nullptr;
    EndWheelGesture();
    // A drag cut short by the window's end still gives the cursor back and closes the
    // host's gesture.
    if (CWidget* dragged = captured) {
        captured = nullptr;
        Platform::ReleaseCapture();
        dragged->OnMouseUp(0, 0, 0);
    }
    hovered = nullptr;
    if (hint != nullptr) {
        hint->target = nullptr;
    }
    const bool current = MakeContextCurrent();
    for (CWidget* widget : widgets) {
        widget->ReleaseTexture();
    }
    // Every control has given its texture back; whatever is left belongs to no control.
    textures.Clear(glContext);
    if (current) {
        Platform::MakeGLContextCurrent(nullptr, nullptr);
    }
    if (deviceContext != nullptr) {
        Platform::ReleaseDeviceContext(window, deviceContext);
        deviceContext = nullptr;
    }
    if (glContext != nullptr) {
        Platform::DeleteGLContext(glContext);
        glContext = nullptr;
    }
    if (window != nullptr) {
        // Forgotten first: the window system's destroy message for it must not close it again.
        const Platform::WindowHandle closing = window;
        window = nullptr;
        Platform::DestroyWindow(closing);
        // The edit box was a child of the window and is gone with it.
        if (edit != nullptr) {
            edit->ForgetWindow();
        }
    }
}

bool CVSTGUI::WindowProc(Platform::WindowHandle hwnd, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    auto* editor = static_cast<CVSTGUI*>(Platform::GetWindowUserData(hwnd));
    const std::int32_t px = editor != nullptr ? editor->ToLayout(LowWord(lParam)) : 0;
    const std::int32_t py = editor != nullptr ? editor->ToLayout(HighWord(lParam)) : 0;
    const auto flags = static_cast<std::uint32_t>(wParam & 0xFFFFFFFFu);
    switch (message) {
    case Platform::kMsgDestroy:
        // The system destroyed the window with the host's (the host went first): the editor
        // closes as at the host's request and keeps its values for the next open.
        if (editor != nullptr && editor->window == hwnd) {
            editor->DestroyEditorWindow();
        }
        return false;
    case Platform::kMsgPaint:
        Platform::PaintWindow(hwnd, editor != nullptr && editor->FrameToPresent());
        return true;
    case Platform::kMsgMouseMove:
        if (editor != nullptr) {
            editor->OnMouseMove(px, py, flags);
        }
        return true;
    case Platform::kMsgLButtonDown:
        if (editor != nullptr) {
            editor->OnLButtonDown(px, py, flags);
        }
        return true;
    case Platform::kMsgLButtonUp:
        if (editor != nullptr) {
            editor->OnLButtonUp(px, py, flags);
        }
        return true;
    case Platform::kMsgLButtonDblClk:
        if (editor != nullptr) {
            editor->OnLButtonDblClk(px, py, flags);
        }
        return true;
    case Platform::kMsgMouseWheel: {
        // The pointer comes in screen coordinates, and the message may have come to this window
        // for having the focus while the pointer is elsewhere: unhandled, it goes to the parent.
        Platform::Point at{LowWord(lParam), HighWord(lParam)};
        if (editor == nullptr || !Platform::ScreenToClient(hwnd, at)) {
            return false;
        }
        const auto distance = static_cast<std::int16_t>((wParam >> 16) & 0xFFFF);
        return editor->OnMouseWheel(editor->ToLayout(at.x), editor->ToLayout(at.y), distance,
                                    flags & 0xFFFF);
    }
    default:
        return false;
    }
}

std::int32_t CVSTGUI::ToLayout(std::int32_t windowPixels) const {
    if (scale == 1.0f) {
        return windowPixels;
    }
    return static_cast<std::int32_t>(std::floor(static_cast<double>(windowPixels) / scale));
}

void CVSTGUI::TimerProc(Platform::WindowHandle, std::uintptr_t id) {
    if (id != 0) {
        reinterpret_cast<CVSTGUI*>(id)->EndRestingWheelGesture();
        reinterpret_cast<CVSTGUI*>(id)->GfxReDraw();
    }
}

} // namespace VLM
