// OpenGL 1.1 for the portable editor code, on every platform, without <windows.h>.
// The editor uses only: glBegin, glEnd, glTexCoord2f, glVertex2d, glBindTexture,
// glGenTextures, glDeleteTextures, glTexParameteri, glTexImage2D, glGetError,
// glGetIntegerv, glGetString, glEnable, glDisable, glBlendFunc, glViewport, glMatrixMode,
// glOrtho, glClearColor, glFlush. The native unit tests link a recording fake of exactly these.
#pragma once

#if defined(_WIN32)
// The Windows GL header wants two macros from <windows.h>; supply them so that the window
// system's header stays inside platform/win32.
#if !defined(APIENTRY)
#define APIENTRY __stdcall
#define VLM_GL_DEFINED_APIENTRY
#endif
#if !defined(WINGDIAPI)
#define WINGDIAPI __declspec(dllimport)
#define VLM_GL_DEFINED_WINGDIAPI
#endif
#include <GL/gl.h>
#if defined(VLM_GL_DEFINED_APIENTRY)
#undef APIENTRY
#undef VLM_GL_DEFINED_APIENTRY
#endif
#if defined(VLM_GL_DEFINED_WINGDIAPI)
#undef WINGDIAPI
#undef VLM_GL_DEFINED_WINGDIAPI
#endif
#else
#include <GL/gl.h>
#endif

// OpenGL 1.2 names that the Windows 1.1 header lacks.
#if !defined(GL_BGRA)
#define GL_BGRA 0x80E1
#endif

namespace VLM {
namespace GL {
// gluOrtho2D(left, right, bottom, top) is by definition glOrtho with near -1 and far 1;
// calling glOrtho directly spares the plug-in the GLU library.
inline void Ortho2D(double left, double right, double bottom, double top) {
    glOrtho(left, right, bottom, top, -1.0, 1.0);
}
} // namespace GL
} // namespace VLM
