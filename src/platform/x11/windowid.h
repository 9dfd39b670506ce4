// What the error box needs to know of the editor's windows.
#pragma once

#include "platform/platform.h"

namespace VLM {
namespace Platform {

// The X window of an editor window or text entry handle; 0 for null.
unsigned long WindowIdOf(WindowHandle window);

} // namespace Platform
} // namespace VLM
