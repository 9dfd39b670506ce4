// The Linux editor's OpenGL: a GLX context on the editor window's connection, made current on
// the window only while the server still has it, and let go the moment the window is gone.
#include "platform/platform.h"
#include "platform/x11/xwindow.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

namespace VLM {
namespace Platform {
namespace X11 {

namespace {

struct XGLContext {
    Display* display = nullptr;
    GLXContext context = nullptr;
    XWindow* window = nullptr; // the window it was last made current on
};

// Per thread, as everything of the editor: the context current on this thread, if ours.
thread_local XGLContext* currentContext = nullptr;

} // namespace

void ReleaseContextOf(const XWindow* w) {
    if (currentContext != nullptr && currentContext->window == w) {
        glXMakeCurrent(w->display, None, nullptr);
        currentContext = nullptr;
    }
}

} // namespace X11

using namespace X11;

DeviceContextHandle GetDeviceContext(WindowHandle window) {
    return ToWindow(window) != nullptr ? window : nullptr;
}

void ReleaseDeviceContext(WindowHandle, DeviceContextHandle) {}

bool SetPixelFormat(DeviceContextHandle dc) {
    // X fixes a window's visual when it is created; here only the outcome is reported.
    return dc != nullptr && ToWindow(dc)->visual != nullptr;
}

GLContextHandle CreateGLContext(DeviceContextHandle dc) {
    XWindow* w = ToWindow(dc);
    if (w == nullptr || w->destroyed || w->visual == nullptr) {
        return nullptr;
    }
    ErrorTrap trap(w->display, w);
    GLXContext context = glXCreateContext(w->display, w->visual, nullptr, True);
    if (trap.End() != 0 || context == nullptr) {
        if (context != nullptr) {
            ErrorTrap destroying(w->display, w);
            glXDestroyContext(w->display, context);
        }
        return nullptr;
    }
    return new XGLContext{w->display, context, nullptr};
}

bool MakeGLContextCurrent(DeviceContextHandle dc, GLContextHandle context) {
    auto* c = static_cast<XGLContext*>(context);
    XWindow* w = ToWindow(dc);
    if (c == nullptr) {
        if (currentContext != nullptr) {
            ErrorTrap trap(currentContext->display);
            glXMakeCurrent(currentContext->display, None, nullptr);
            currentContext = nullptr;
        }
        return true;
    }
    if (w == nullptr || w->destroyed) {
        return false;
    }
    // No GL reaches a window the host has destroyed; the editor hears of it here instead, and
    // closes rather than reporting a failure.
    Serving serving(w);
    bool made = false;
    if (Alive(w)) {
        ErrorTrap trap(w->display, w);
        made = glXMakeCurrent(w->display, w->id, c->context) != False;
        trap.End();
        if (made) {
            currentContext = c;
            c->window = w;
        }
        if (w->goneByError) {
            Lose(w);
            made = false;
        }
    }
    TellGone(w);
    return made;
}

GLContextHandle CurrentGLContext() {
    if (currentContext != nullptr && glXGetCurrentContext() == currentContext->context &&
        Alive(currentContext->window)) {
        return currentContext;
    }
    return nullptr;
}

bool DeleteGLContext(GLContextHandle context) {
    auto* c = static_cast<XGLContext*>(context);
    if (c == nullptr) {
        return false;
    }
    ErrorTrap trap(c->display);
    if (currentContext == c) {
        glXMakeCurrent(c->display, None, nullptr);
        currentContext = nullptr;
    }
    glXDestroyContext(c->display, c->context);
    trap.End();
    delete c;
    return true;
}

} // namespace Platform
} // namespace VLM
