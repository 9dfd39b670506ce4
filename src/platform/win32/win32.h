// The Windows headers for the platform seam's Windows implementation, in the one order that
// works, and the casts between the seam's opaque handles and the system's types.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

// The seam has functions of these names; the Windows headers' macros would rename them.
#undef SetWindowText
#undef GetWindowText

#include "platform/platform.h"

namespace VLM {
namespace Platform {

inline HWND ToHwnd(WindowHandle window) {
    return static_cast<HWND>(window);
}
inline HDC ToHdc(DeviceContextHandle dc) {
    return static_cast<HDC>(dc);
}
inline HGLRC ToHglrc(GLContextHandle context) {
    return static_cast<HGLRC>(context);
}
inline HINSTANCE ToHinstance(ModuleHandle module) {
    return static_cast<HINSTANCE>(module);
}

} // namespace Platform
} // namespace VLM
